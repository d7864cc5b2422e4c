#pragma once
#include <functional>

// The application's general error display: runs a command and shows any error it raises in a
// message box. A silent abort (a refusal that has already shown its own message) shows nothing.
// Returns whether the command ran to its end.
bool runCommand(const std::function<void()>& command);
// Runs a step and ignores every error it raises (the rule for saves before other work).
bool runQuietly(const std::function<void()>& step);

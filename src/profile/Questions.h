#pragma once
#include <QString>

// The 24 two-choice questions: 1 to 12 on assertiveness, 13 to 24 on responsiveness. In each,
// the second choice is the more assertive or the more responsive one.
struct Question {
    const char* first;
    const char* second;
    const char* hint;
};

namespace Questions {
const Question& at(int number); // 1 to 24
}

#pragma once
#include <QDialog>

#include <optional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

// Asked at start-up when the team database's server wants a password that neither the
// connection file (which never holds one) nor the user's password file gives. What is typed is
// kept in memory only, for this run of the program.
class PasswordPrompt : public QDialog {
    Q_OBJECT
public:
    explicit PasswordPrompt(const QString& why, QWidget* parent = nullptr);

    QLabel* PasswordLabel;
    QLineEdit* PasswordEdit;
    QDialogButtonBox* PasswordButtons;

    // why: the server's answer in plain words ("... asks for the password of the user anna.").
    // Nothing when the user cancels.
    static std::optional<QString> ask(const QString& why, QWidget* parent = nullptr);
};

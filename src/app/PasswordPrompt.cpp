#include "PasswordPrompt.h"

#include "platform/Platform.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

PasswordPrompt::PasswordPrompt(const QString& why, QWidget* parent) : QDialog(parent)
{
    setObjectName("PasswordPrompt");
    setWindowTitle("Team database");
    auto* layout = new QVBoxLayout(this);
    PasswordLabel = new QLabel(why + "\n\nType the password to connect. Vantrel keeps it only until it is closed.", this);
    PasswordLabel->setObjectName("PasswordLabel");
    PasswordLabel->setWordWrap(true);
    PasswordLabel->setMinimumWidth(360);
    layout->addWidget(PasswordLabel);
    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setObjectName("PasswordEdit");
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordEdit->setAccessibleName("Password");
    layout->addWidget(PasswordEdit);
    PasswordButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    PasswordButtons->setObjectName("PasswordButtons");
    PasswordButtons->button(QDialogButtonBox::Ok)->setDefault(true);
    layout->addWidget(PasswordButtons);
    connect(PasswordButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(PasswordButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    PasswordEdit->setFocus(Qt::OtherFocusReason);
    setFixedSize(sizeHint());
}

std::optional<QString> PasswordPrompt::ask(const QString& why, QWidget* parent)
{
    PasswordPrompt prompt(why, parent);
    if (Modal::exec(&prompt) != QDialog::Accepted)
        return std::nullopt;
    const QString typed = prompt.PasswordEdit->text();
    prompt.PasswordEdit->clear(); // the one copy left is the caller's
    return typed;
}

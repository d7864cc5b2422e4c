#include "TTeamDatabaseForm.h"

#include "platform/AppPaths.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "storage/pg/PgProbe.h"
#include "widgets/WaitCursor.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
// The settings the window has a field for, in the order it writes them.
const QStringList kFields = {"host", "port", "dbname", "user", "sslmode", "sslrootcert"};
constexpr int kFieldWidth = 260;

bool hasControl(const QString& text)
{
    for (QChar c : text)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}
} // namespace

TTeamDatabaseForm::TTeamDatabaseForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("TTeamDatabaseForm");
    setWindowTitle("Team database");
    setModal(true);

    UseFileButton = new QRadioButton("Use the &file on this computer", this);
    UseFileButton->setObjectName("UseFileButton");
    UseServerButton = new QRadioButton("Use a &team database on a server", this);
    UseServerButton->setObjectName("UseServerButton");
    auto* choice = new QButtonGroup(this);
    choice->addButton(UseFileButton);
    choice->addButton(UseServerButton);

    auto line = [this](const QString& name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMinimumWidth(kFieldWidth);
        e->setMaxLength(1000);
        return e;
    };
    ServerEdit = line("ServerEdit");
    ServerEdit->setPlaceholderText("server name or address");
    PortEdit = line("PortEdit");
    PortEdit->setPlaceholderText("5432");
    PortEdit->setMaxLength(5);
    DatabaseEdit = line("DatabaseEdit");
    UserEdit = line("UserEdit");
    UserEdit->setPlaceholderText("your login on the server");
    SslModeBox = new QComboBox(this);
    SslModeBox->setObjectName("SslModeBox");
    SslModeBox->addItems(ConnectionString::sslModes());
    CaFileEdit = line("CaFileEdit");
    CaFileEdit->setMinimumWidth(kFieldWidth - 30);
    CaFileButton = new QPushButton("...", this);
    CaFileButton->setObjectName("CaFileButton");
    CaFileButton->setFixedWidth(26);
    CaFileButton->setToolTip("Choose the certificate file of the authority that signed the server's certificate");
    PasswordEdit = line("PasswordEdit");
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordEdit->setMaxLength(200);
    TestButton = new QPushButton("Test &connection", this);
    TestButton->setObjectName("TestButton");
    TestButton->setAutoDefault(false);
    CaFileButton->setAutoDefault(false);
    TestResult = new QLabel(this);
    TestResult->setObjectName("TestResult");
    TestResult->setWordWrap(true);
    TestResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    TestResult->setMinimumWidth(kFieldWidth + 120);

    auto* form = new QFormLayout;
    form->setContentsMargins(22, 0, 0, 0);
    auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    form->addRow(label("&Server:", ServerEdit), ServerEdit);
    form->addRow(label("&Port:", PortEdit), PortEdit);
    form->addRow(label("&Database:", DatabaseEdit), DatabaseEdit);
    form->addRow(label("&User:", UserEdit), UserEdit);
    form->addRow(label("T&LS mode:", SslModeBox), SslModeBox);
    auto* ca = new QHBoxLayout;
    ca->addWidget(CaFileEdit, 1);
    ca->addWidget(CaFileButton);
    form->addRow(label("C&A file:", CaFileEdit), ca);
    PasswordLabel = label("Pass&word:", PasswordEdit);
    form->addRow(PasswordLabel, PasswordEdit);
    auto* test = new QHBoxLayout;
    test->addWidget(TestButton);
    test->addStretch(1);
    form->addRow(QString(), test);

    auto* note = new QLabel("The change takes effect at the next start of Vantrel.", this);
    note->setObjectName("NoteLabel");

    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);

    auto* all = new QVBoxLayout(this);
    all->addWidget(UseFileButton);
    all->addWidget(UseServerButton);
    all->addLayout(form);
    all->addWidget(TestResult);
    all->addSpacing(6);
    all->addWidget(note);
    all->addLayout(buttons);
    all->setSizeConstraint(QLayout::SetFixedSize);

    const QList<QWidget*> reading = {UseFileButton, UseServerButton, ServerEdit, PortEdit,     DatabaseEdit,
                                     UserEdit,      SslModeBox,      CaFileEdit, CaFileButton, PasswordEdit,
                                     TestButton,    OKButton,        CancelButton};
    for (qsizetype i = 1; i < reading.size(); ++i)
        setTabOrder(reading[i - 1], reading[i]);

    connect(UseServerButton, &QRadioButton::toggled, this, [this] { updateEnabled(); });
    connect(TestButton, &QPushButton::clicked, this, &TTeamDatabaseForm::TestButtonClick);
    // The password is typed to try it: Enter there tests again instead of keeping settings the
    // server has just refused.
    PasswordEdit->installEventFilter(this);
    connect(CaFileButton, &QPushButton::clicked, this, &TTeamDatabaseForm::CaFileButtonClick);
    connect(OKButton, &QPushButton::clicked, this, &TTeamDatabaseForm::accept);
    connect(CancelButton, &QPushButton::clicked, this, &TTeamDatabaseForm::reject);
    UseFileButton->setChecked(true);
    SslModeBox->setCurrentText("verify-full");
    PasswordLabel->hide();
    PasswordEdit->hide();
    TestResult->hide();
    updateEnabled();
}

void TTeamDatabaseForm::updateEnabled()
{
    const bool server = UseServerButton->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{ServerEdit, PortEdit, DatabaseEdit, UserEdit, SslModeBox,
                                                      CaFileEdit, CaFileButton, PasswordEdit, TestButton})
        w->setEnabled(server);
}

void TTeamDatabaseForm::forgetPassword()
{
    PasswordEdit->clear();
    PasswordLabel->hide();
    PasswordEdit->hide();
}

void TTeamDatabaseForm::load()
{
    forgetPassword();
    TestResult->clear();
    TestResult->hide();
    m_others.clear();
    m_sslModeGiven = true;
    for (QLineEdit* e : {ServerEdit, PortEdit, DatabaseEdit, UserEdit, CaFileEdit})
        e->clear();
    SslModeBox->setCurrentText("verify-full");
    const ConnectionString::File file = ConnectionString::read(AppPaths::connectionPath());
    m_hadFile = file.exists;
    m_loaded = file.text;
    (file.exists ? UseServerButton : UseFileButton)->setChecked(true);
    if (file.exists)
        setConnectionString(file.text);
    if (file.exists && !file.parsed.ok()) {
        TestResult->setText(file.parsed.error);
        TestResult->show();
    }
    updateEnabled();
}

void TTeamDatabaseForm::setConnectionString(const QString& text)
{
    const ConnectionString::Parsed parsed = ConnectionString::parse(text);
    m_others.clear();
    QLineEdit* edits[] = {ServerEdit, PortEdit, DatabaseEdit, UserEdit, nullptr, CaFileEdit};
    for (int i = 0; i < kFields.size(); ++i) {
        const QString value = parsed.value(kFields[i]);
        if (edits[i]) {
            edits[i]->setText(value);
        } else {
            // Without one the client takes "prefer"; it is written only when it is chosen.
            m_sslModeGiven = !value.isEmpty();
            SslModeBox->setCurrentText(value.isEmpty() ? QString("prefer") : value);
        }
    }
    for (const ConnectionString::Parameter& p : parsed.parameters)
        if (!kFields.contains(p.first))
            m_others << p;
    if (!parsed.ok()) {
        TestResult->setText(parsed.error);
        TestResult->show();
    }
}

QString TTeamDatabaseForm::connectionString() const
{
    QList<ConnectionString::Parameter> p;
    const QString values[] = {ServerEdit->text().trimmed(), PortEdit->text().trimmed(), DatabaseEdit->text().trimmed(),
                              UserEdit->text().trimmed(), SslModeBox->currentText(), CaFileEdit->text().trimmed()};
    for (int i = 0; i < kFields.size(); ++i)
        if (kFields[i] != "sslmode" || m_sslModeGiven || values[i] != "prefer")
            p << ConnectionString::Parameter{kFields[i], values[i]};
    return ConnectionString::compose(p + m_others);
}

QString TTeamDatabaseForm::problem() const
{
    if (ServerEdit->text().trimmed().isEmpty())
        return "Type the name or the address of the server.";
    for (QLineEdit* e : {ServerEdit, PortEdit, DatabaseEdit, UserEdit, CaFileEdit})
        if (hasControl(e->text()))
            return "The settings may not hold control characters such as tabs or line breaks.";
    const QString port = PortEdit->text().trimmed();
    bool number = false;
    const int p = port.toInt(&number);
    if (!port.isEmpty() && (!number || p < 1 || p > 65535))
        return QString("The port is a number from 1 to 65535; \"%1\" is none. Leave it empty for the usual 5432.").arg(port);
    if (DatabaseEdit->text().trimmed().isEmpty())
        return "Type the name of the database on the server.";
    const QString ca = CaFileEdit->text().trimmed();
    if (!ca.isEmpty() && !QFileInfo(ca).isFile())
        return QString("The CA file %1 does not exist.").arg(QDir::toNativeSeparators(ca));
    const ConnectionString::Parsed parsed = ConnectionString::parse(connectionString());
    return parsed.error;
}

void TTeamDatabaseForm::TestButtonClick()
{
    QString text = problem();
    if (text.isEmpty()) {
        WaitCursor wait;
        const PgProbe::Result r = PgProbe::probe(connectionString(), PasswordEdit->text());
        text = r.message;
        if (r.outcome == PgProbe::Outcome::PasswordNeeded || r.outcome == PgProbe::Outcome::WrongPassword) {
            PasswordLabel->show();
            PasswordEdit->show();
            PasswordEdit->setEnabled(true);
            PasswordEdit->selectAll();
            PasswordEdit->setFocus();
        }
    }
    TestResult->setText(text);
    TestResult->show();
}

void TTeamDatabaseForm::CaFileButtonClick()
{
    FileDialog::Request ask;
    ask.objectName = "OpenDialogCA";
    ask.caption = "CA file";
    ask.filter = "Certificates (*.crt *.pem *.cer);;All files (*)";
    const QString chosen = FileDialog::ask(this, ask);
    if (!chosen.isEmpty())
        CaFileEdit->setText(QDir::toNativeSeparators(chosen));
}

void TTeamDatabaseForm::accept()
{
    const QString path = AppPaths::connectionPath();
    QString error;
    if (UseServerButton->isChecked()) {
        if (const QString why = problem(); !why.isEmpty()) {
            MessageBox::show(MessageBox::Icon::Warning, why);
            return;
        }
        const QString text = connectionString();
        if (m_hadFile && text == ConnectionString::compose(ConnectionString::parse(m_loaded).parameters)) {
            forgetPassword();
            QDialog::accept();
            return;
        }
        if (!ConnectionString::write(path, text, &error)) {
            MessageBox::show(MessageBox::Icon::Error, error);
            return;
        }
        MessageBox::show(MessageBox::Icon::Information,
                         QString("From its next start, Vantrel opens the team database on %1 instead of Vantrel.vt on "
                                 "this computer. The setting is kept in %2.")
                             .arg(ServerEdit->text().trimmed(), QDir::toNativeSeparators(path)));
    } else if (m_hadFile) {
        if (!ConnectionString::remove(path, &error)) {
            MessageBox::show(MessageBox::Icon::Error, error);
            return;
        }
        MessageBox::show(MessageBox::Icon::Information,
                         QString("From its next start, Vantrel uses the file on this computer, %1, again.")
                             .arg(QDir::toNativeSeparators(AppPaths::databasePath())));
    }
    forgetPassword();
    QDialog::accept();
}

void TTeamDatabaseForm::reject()
{
    forgetPassword();
    QDialog::reject();
}

void TTeamDatabaseForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Reading order starts at the choice that holds now.
    (UseServerButton->isChecked() ? UseServerButton : UseFileButton)->setFocus();
}

bool TTeamDatabaseForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == PasswordEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            TestButton->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

#pragma once
#include "data/ConnectionString.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Tools, "Team database...": where the next start opens the people, the file on this computer
// or a team database on a PostgreSQL server, kept in Vantrel.connection. The password is never
// written there: one typed here to test the connection lives only as long as the window is open.
class TTeamDatabaseForm : public QDialog {
    Q_OBJECT
public:
    explicit TTeamDatabaseForm(QWidget* parent = nullptr);

    QRadioButton* UseFileButton;   // "Use the file on this computer"
    QRadioButton* UseServerButton; // "Use a team database on a server"
    QLineEdit* ServerEdit;
    QLineEdit* PortEdit;
    QLineEdit* DatabaseEdit;
    QLineEdit* UserEdit;
    QComboBox* SslModeBox;
    QLineEdit* CaFileEdit;
    QPushButton* CaFileButton; // "..."
    QLabel* PasswordLabel;
    QLineEdit* PasswordEdit;   // shown once the server asks for a password
    QPushButton* TestButton;   // "Test connection"
    QLabel* TestResult;
    QPushButton* OKButton;
    QPushButton* CancelButton;

    void load();                            // from Vantrel.connection, as it is now
    QString connectionString() const;       // the fields as libpq reads them
    void setConnectionString(const QString& text); // fills the fields; false parts are said in TestResult
    QString problem() const;                // what keeps the fields from being used; empty when nothing

public slots:
    void TestButtonClick();
    void CaFileButtonClick();
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateEnabled();
    void forgetPassword();
    QList<ConnectionString::Parameter> m_others; // settings of the file this window has no field for
    bool m_hadFile = false;
    bool m_sslModeGiven = true; // false: the file left the TLS mode to the client's default
    QString m_loaded; // the file's connection string when the window opened
};

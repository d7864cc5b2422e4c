#pragma once
#include "data/Backups.h"

#include <QDialog>
#include <QVector>

class DailyBackup;
class QLabel;
class QPushButton;
class ResultGrid;
class TMainDataModule;

// "Backups": the copies of the database in the backups folder, newest first, with their date,
// people and size. Restore puts the chosen one in place after a question, keeping the file as it
// is now as a copy of its own; the program then goes on with the restored people.
class TBackupsForm : public QDialog {
    Q_OBJECT
public:
    TBackupsForm(TMainDataModule* dataModule, DailyBackup* daily, QWidget* parent = nullptr);

    QLabel* InfoLabel;
    ResultGrid* BackupsGrid;
    QLabel* StatusLabel;
    QPushButton* RestoreBackupButton;
    QPushButton* CloseButton;

    void load();
    const QVector<Backups::Copy>& copies() const { return m_copies; }
    void selectCopy(int index); // for the keyboard and for tests
    // The text the window and the help give in team mode, where the server keeps the backups.
    static QString serverText();

signals:
    void dataReplaced(); // a backup was put in place: every person was read again

public slots:
    void RestoreBackupButtonClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    int selected() const;
    void updateButtons();

    TMainDataModule* m_data;
    DailyBackup* m_daily;
    QVector<Backups::Copy> m_copies;
};

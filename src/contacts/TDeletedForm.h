#pragma once
#include "data/Trash.h"

#include <QDialog>
#include <QVector>

class QLabel;
class QPushButton;
class ResultGrid;
class TMainDataModule;

// "Deleted People": the people in the trash, and the imports that added people, newest first.
// A person comes back with Restore or goes for ever; an import is taken back as a whole, and an
// import taken back can be restored or deleted for ever as a whole.
class TDeletedForm : public QDialog {
    Q_OBJECT
public:
    explicit TDeletedForm(TMainDataModule* dataModule, QWidget* parent = nullptr);

    QLabel* InfoLabel;
    ResultGrid* DeletedGrid;
    QLabel* StatusLabel; // what the last command did
    QPushButton* RestoreButton;
    QPushButton* PurgeButton;
    QPushButton* UndoImportButton;
    QPushButton* CloseButton;

    // Reads the trash again; the selection is lost.
    void load();
    const QVector<Trash::Entry>& entries() const { return m_entries; }
    // Selects the entries with these indexes into entries(); for the keyboard and for tests.
    void selectEntries(const QList<int>& indexes);

public slots:
    void RestoreButtonClick();
    void PurgeButtonClick();
    void UndoImportButtonClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QList<int> selected() const; // indexes into m_entries, in list order
    void updateButtons();
    void changed(const QString& status, qint64 current);

    TMainDataModule* m_data;
    QVector<Trash::Entry> m_entries;
};

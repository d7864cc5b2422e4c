#pragma once
#include "data/PersonHistory.h"

#include <QDialog>
#include <QVector>

class QLabel;
class QPushButton;
class ResultGrid;
class TMainDataModule;

// "History": the saved changes of the current person, newest first, each field on a line of its
// own. Put back gives the person the chosen line's old value as an edit, which the user saves
// (with the usual check for another user's change) or discards.
class THistoryForm : public QDialog {
    Q_OBJECT
public:
    explicit THistoryForm(TMainDataModule* dataModule, QWidget* parent = nullptr);

    QLabel* InfoLabel;
    ResultGrid* HistoryGrid;
    QLabel* StatusLabel;
    QPushButton* PutBackButton;
    QPushButton* CloseButton;

    void load(); // the current person's history, read again
    const QVector<PersonHistory::Entry>& entries() const { return m_entries; }
    void selectEntry(int index); // for the keyboard and for tests

public slots:
    void PutBackButtonClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    int selected() const; // index into m_entries, -1 for none
    void updateButtons();

    TMainDataModule* m_data;
    QVector<PersonHistory::Entry> m_entries;
};

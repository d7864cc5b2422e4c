#pragma once
#include "data/DuplicateMerge.h"
#include "data/Duplicates.h"

#include <QDialog>
#include <QStringList>
#include <QVector>

class QLabel;
class QPushButton;
class QTableWidget;
class ResultGrid;
class TMainDataModule;

// The duplicate window: the groups of people who are likely the same, strongest first, one group
// side by side with a choice per differing field, and the commands that merge a group, mark it
// as different people, and undo an earlier merge.
class TDuplicatesForm : public QDialog {
    Q_OBJECT
public:
    explicit TDuplicatesForm(TMainDataModule* dataModule, QWidget* parent = nullptr);

    QLabel* GroupsLabel;
    ResultGrid* GroupsGrid;   // "No.", "People", "Reason"
    QLabel* CompareLabel;
    QTableWidget* CompareGrid; // a row per field that differs, a column per person
    QPushButton* MergeButton;
    QPushButton* NotDuplicateButton;
    QLabel* StatusLabel;
    QLabel* MergesLabel;
    ResultGrid* MergesGrid;   // "No.", "Merged", "People"
    QPushButton* UndoMergeButton;
    QPushButton* CloseButton;

    int groupCount() const { return int(m_groups.size()); }
    // The People column of each row of CompareGrid, and the person of each of its columns after the first.
    QStringList comparedColumns() const { return m_rowColumns; }
    QVector<qint64> comparedPeople() const;
    void choose(int row, int column); // keeps that person's value of that row's field

public slots:
    void FormShow(); // looks for duplicates again
    void GroupsGridChange();
    void MergeButtonClick();
    void NotDuplicateButtonClick();
    void UndoMergeButtonClick();

signals:
    // People were merged or brought back: the person list is to be read again.
    void peopleChanged();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void findGroups(int keepRow = 0);
    void showGroup(int group);
    void loadMerges();
    void afterWrite(qint64 current);
    int currentGroup() const;
    void updateButtons();

    TMainDataModule* m_data;
    QVector<Duplicates::Group> m_groups;
    QVector<DuplicateMerge::Stored> m_shown; // the people of the group shown, the kept one first
    QStringList m_rowColumns;
    QVector<DuplicateMerge::Record> m_merges;
};

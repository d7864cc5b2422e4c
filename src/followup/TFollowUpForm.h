#pragma once
#include <QDialog>

class DataSource;
class Dataset;
class DBGrid;
class DBNavigator;
class QLabel;
class TMainDataModule;
class TPickDateForm;

// The follow-up window: every person in a read-only list, and below it the activities of the
// selected person, edited in place. It owns the activities dataset, which follows the current
// person.
class TFollowUpForm : public QDialog {
    Q_OBJECT
public:
    TFollowUpForm(TMainDataModule* dataModule, QWidget* parent = nullptr);
    Dataset* FollowUp;
    Dataset* FollowMethod; // declared as a lookup source, never opened
    DataSource* FollowUpDS;

    DBGrid* DBGridFollowUp;
    QLabel* Label1;
    DBGrid* DBGrid1;
    DBNavigator* DBNavigator1;

    // The one date picker is made after this window; start-up hands it over.
    void setDatePicker(TPickDateForm* picker) { m_picker = picker; }

public slots:
    void DBGrid1EditButtonClick();
    bool FormCloseQuery(); // saves a pending activity; false keeps the window open
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void pickInto(const QString& column);
    bool personUnsaved() const; // the current person is new and not stored yet
    // Drops, with a word, an activity that nothing would let be saved (its person is not
    // stored); false when there is none.
    bool dropUnkeepable();

    TMainDataModule* m_dataModule;
    TPickDateForm* m_picker = nullptr;
};

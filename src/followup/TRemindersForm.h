#pragma once
#include <QDate>
#include <QDialog>

class Dataset;
class QPushButton;
class ResultGrid;

// The reminders window: today's birthdays and anniversaries of the people whose reminder is
// switched on, each a click away from a greeting e-mail.
class TRemindersForm : public QDialog {
    Q_OBJECT
public:
    explicit TRemindersForm(QWidget* parent = nullptr);

    ResultGrid* StringGrid1;
    QPushButton* BitBtn1; // "OK"

    // Lists the reminders due on the given day, in the order of the people dataset, birthday
    // before anniversary; returns how many there are. The rows are read in place, so the
    // dataset's current row does not move.
    int computeReminders(const Dataset& people, QDate today);

public slots:
    void StringGrid1MouseUp(int row);

protected:
    void showEvent(QShowEvent* event) override;
};

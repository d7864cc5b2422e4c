#pragma once
#include <QDate>
#include <QDialog>

class QCalendarWidget;
class QPushButton;
class QSpinBox;

// The one modal calendar dialog. Its date is set to today once, at creation, and carries over
// from one use to the next, whichever caller opened it and however it was closed.
class TPickDateForm : public QDialog {
    Q_OBJECT
public:
    explicit TPickDateForm(QWidget* parent = nullptr);
    QCalendarWidget* MonthCalendar1;
    QPushButton* Button1; // OK
    QPushButton* Button2; // Cancel
    QDate date() const;

public slots:
    void FormCreate();
    void MonthCalendar1DblClick();
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSpinBox* openYearEdit() const; // the calendar's year box while the user types a year
};

#pragma once
#include <QDialog>

// The reminders window; the day's reminders are computed in their own step.
class TRemindersForm : public QDialog {
    Q_OBJECT
public:
    explicit TRemindersForm(QWidget* parent = nullptr);
};

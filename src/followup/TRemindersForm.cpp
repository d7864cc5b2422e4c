#include "TRemindersForm.h"

TRemindersForm::TRemindersForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("RemindersForm");
    setWindowTitle("Reminders Report");
}

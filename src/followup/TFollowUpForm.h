#pragma once
#include <QDialog>

class Dataset;
class TMainDataModule;

// The follow-up window. It owns the follow-up dataset, which follows the current person.
class TFollowUpForm : public QDialog {
    Q_OBJECT
public:
    TFollowUpForm(TMainDataModule* dataModule, QWidget* parent = nullptr);
    Dataset* FollowUp;
    Dataset* FollowMethod; // declared as a lookup source, never opened
};

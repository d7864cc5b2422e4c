#pragma once
#include <QDialog>

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

public slots:
    void SpeedButton2Click(); // OK
};

#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

// The about window: the product banner and OK, shown modally in the middle of the screen.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
    QLabel* Image1;            // the banner
    QPushButton* SpeedButton2; // OK

public slots:
    void SpeedButton2Click();

protected:
    void showEvent(QShowEvent* event) override;
};

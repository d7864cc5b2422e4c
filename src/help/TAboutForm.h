#pragma once
#include <QDialog>

class QLabel;
class QPushButton;
class QTextEdit;

// The about window: the product banner, where the data is, and OK, shown modally in the middle of
// the screen.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
    QLabel* Image1;            // the banner
    QTextEdit* DataFolder;     // where the user's data is
    QPushButton* SpeedButton2; // OK

public slots:
    void SpeedButton2Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void layOut();
};

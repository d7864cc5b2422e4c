#pragma once
#include <QWidget>

class QTextBrowser;

// The help window: the help pages beside the main window, without blocking it.
class THelpForm : public QWidget {
    Q_OBJECT
public:
    explicit THelpForm(QWidget* parent = nullptr);
    QTextBrowser* WebBrowser1;

public slots:
    void FormShow();
    void SpeedButton2Click();

protected:
    void showEvent(QShowEvent* event) override;
};

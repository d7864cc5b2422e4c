#pragma once
#include <QPointer>
#include <QWidget>

class HelpWebBrowser;
class QLabel;
class QPushButton;

// The help window: the help pages beside the main window, without blocking it.
class THelpForm : public QWidget {
    Q_OBJECT
public:
    // The window it opens beside: the main window, which the program names when it makes both.
    void setMainWindow(QWidget* main) { m_main = main; }
    explicit THelpForm(QWidget* parent = nullptr);
    QLabel* Image1;               // the banner
    QPushButton* SpeedButton2;    // OK
    HelpWebBrowser* WebBrowser1;

public slots:
    void FormShow();
    void SpeedButton2Click();

protected:
    void setVisible(bool visible) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_main;
    void placeBesideMainWindow();
};

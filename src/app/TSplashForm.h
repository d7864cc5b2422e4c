#pragma once
#include <QWidget>

class QLabel;

// The splash window: shown during start-up, it checks that the display suits the program.
class TSplashForm : public QWidget {
    Q_OBJECT
public:
    explicit TSplashForm(QWidget* parent = nullptr);
    QLabel* PCVTbmp;
    QLabel* NETVTbmp;
    bool quitRequested() const { return m_quitRequested; }

public slots:
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_quitRequested = false;
};

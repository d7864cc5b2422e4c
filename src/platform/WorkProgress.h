#pragma once
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// What long work is doing, while another thread does it and this one goes on serving events: a
// line of text, a bar for how far the work has come and, for work that can be stopped, a Cancel
// button. Escape and Space on Cancel stop the work; Enter stops nothing, so a key still held from
// starting the work cannot stop it. Work that cannot be stopped has no button and no close box.
class WorkProgress : public QDialog {
    Q_OBJECT
public:
    WorkProgress(const QString& caption, const QString& text, bool cancellable, QWidget* parent = nullptr);

    QLabel* Text;
    QProgressBar* ProgressBar;
    QPushButton* CancelButton = nullptr; // only for work that can be stopped

    void setPermille(int permille); // -1: how far is not known
    bool cancelRequested() const { return m_cancelRequested; }

    // How long work goes on before its window is shown: a short run shows none.
    static int showAfter();
    static void setShowAfter(int milliseconds);

signals:
    void cancelled();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    bool m_cancelRequested = false;
};

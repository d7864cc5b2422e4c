#pragma once
#include "AppPaths.h"

#include <QDate>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>

class QDialog;

// The small platform layer: the desktop's programs, screen metrics, the program's folders,
// modal windows, the local clock and the file dialogs. Each has a seam that tests can fill.
namespace Desktop {
// Hands an address to the desktop; false when no program could be started for it.
bool open(const QString& target);
void setHandler(std::function<bool(const QString&)> handler); // empty: the real desktop
}

struct ScreenMetrics {
    double logicalDpi = 96;
    int width = 1024;
    int height = 768;
    QRect available; // the part that panels leave free; empty: the whole screen
};

class QWidget;

namespace Screen {
ScreenMetrics metrics();
void centre(QWidget* window); // places a window in the middle of the screen
// The window's size with its frame. Before the window manager has framed a new window, its frame
// is taken to be that of the framed window `like`, which the same manager decorates alike.
QSize framedSize(const QWidget* window, const QWidget* like);
QRect available(const QPoint& near = {}); // the free part of the screen that shows that point
void setOverride(std::function<ScreenMetrics()> provider); // empty: the primary screen
}

namespace Modal {
int exec(QDialog* dialog);
void setRunner(std::function<int(QDialog*)> runner); // empty: QDialog::exec
}

namespace Clock {
QDate today();                                   // the local clock's date
void setOverride(std::function<QDate()> provider); // empty: the real clock
}

// The open and save file dialogs. A test answers with a file name, or an empty text for Cancel.
namespace FileDialog {
struct Request {
    QString objectName; // the dialog's component name, e.g. OpenDialogCSV
    QString caption;
    QString filter;     // e.g. "CSV files (*.csv)"
    QString defaultSuffix;
    bool save = false;
};
QString ask(QWidget* parent, const Request& request);
void setHandler(std::function<QString(const Request&)> handler); // empty: the real QFileDialog
}

#include "UpgradeProgress.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "storage/Store.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>
#include <mutex>

namespace {
std::function<void(UpgradeProgress&)>& observer()
{
    static std::function<void(UpgradeProgress&)> o;
    return o;
}
} // namespace

UpgradeProgress::UpgradeProgress(const QString& fileName, QWidget* parent) : QDialog(parent)
{
    setObjectName("UpgradeProgress");
    setWindowTitle("Vantrel");
    setWindowModality(Qt::ApplicationModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    UpgradeLabel = new QLabel(QString("Preparing %1 for this version...").arg(fileName), this);
    UpgradeLabel->setObjectName("UpgradeLabel");
    UpgradeStep = new QLabel(this);
    UpgradeStep->setObjectName("UpgradeStep");
    UpgradeBar = new QProgressBar(this);
    UpgradeBar->setObjectName("UpgradeBar");
    UpgradeBar->setFocusPolicy(Qt::NoFocus);
    UpgradeBar->setRange(0, 0); // moving until the first step is told
    UpgradeBar->setMinimumWidth(320);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(8);
    layout->addWidget(UpgradeLabel);
    layout->addWidget(UpgradeStep);
    layout->addWidget(UpgradeBar);
    setFixedSize(sizeHint());
}

void UpgradeProgress::showPart(int part, int parts, const QString& what)
{
    if (parts <= 0)
        return;
    UpgradeBar->setRange(0, parts);
    UpgradeBar->setValue(part);
    // The file names the steps in words joined by dashes: "followup-dates".
    QString words = what;
    words.replace('-', ' ');
    if (!words.isEmpty())
        words[0] = words[0].toUpper();
    UpgradeStep->setText(part < parts ? QString("Step %1 of %2: %3").arg(part + 1).arg(parts).arg(words) : QString("Done."));
}

void UpgradeProgress::reject()
{
    if (m_finished)
        QDialog::reject();
}

void UpgradeProgress::closeEvent(QCloseEvent* event)
{
    if (!m_finished)
        event->ignore();
}

void UpgradeProgress::setObserver(std::function<void(UpgradeProgress&)> o) { observer() = std::move(o); }

std::optional<SchemaUpgrade::Outcome> UpgradeProgress::run(Connection& connection)
{
    std::unique_ptr<storage::Store> store;
    try {
        store = connection.openAnother();
    } catch (const DataError&) {
        return std::nullopt;
    }
    UpgradeProgress window(connection.fileName());
    // What the worker last told, taken by the window's own timer.
    struct Told {
        std::mutex lock;
        int part = 0, parts = 0;
        QString what;
        bool fresh = false;
    } told;
    SchemaUpgrade::Outcome outcome;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        outcome = SchemaUpgrade::run(*store, [&](int part, int parts, const QString& what) {
            std::lock_guard<std::mutex> hold(told.lock);
            told.part = part;
            told.parts = parts;
            told.what = what;
            told.fresh = true;
        });
        // The steps' pages into the file itself here too, not in the window's thread afterwards.
        if (outcome.changed) {
            try {
                store->flush(true);
            } catch (const DataError&) {
                // The start's own checkpoint tries again.
            }
        }
        store->close();
    }));
    QTimer poll;
    poll.setInterval(25);
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
        std::lock_guard<std::mutex> hold(told.lock);
        if (told.fresh)
            window.showPart(told.part, told.parts, told.what);
        told.fresh = false;
    });
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    window.show();
    window.raise();
    window.activateWindow();
    if (observer())
        observer()(window);
    poll.start();
    worker->start();
    loop.exec();
    worker->wait();
    window.m_finished = true;
    window.hide();
    return outcome;
}

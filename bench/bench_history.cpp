// Fills a database with 100,000 people and measures the history and the daily backup: a save of
// one person with its history (anchor: the same save on a file without the history's table, and
// the 50 ms a save may take), and the backup of the whole file in steps on the event loop, whose
// longest wait between two turns of the loop is the longest the window stands still (anchor: the
// step's budget, and the half second after which the progress is shown). Run: bench_history [people]
#include "BenchFile.h"
#include "PeakMemory.h"
#include "data/Backups.h"
#include "data/Dataset.h"
#include "data/MainDataModule.h"
#include "data/Schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {
bool fill(const QString& path, int count)
{
    return BenchFile::make(path, [count](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.prepare(BenchFile::kPeopleInsert);
        for (int i = 0; i < count; ++i)
            if (!BenchFile::addPerson(q, i))
                return false;
        return true;
    });
}

// The mean of saves of two fields of people in the middle of the list, as the Save command posts.
double saves(TMainDataModule& data, int n, int round)
{
    Dataset* ds = data.PeopleCompanyDet;
    double total = 0;
    for (int i = 0; i < n; ++i) {
        ds->setRecNo(ds->recordCount() / 2 + i);
        ds->edit();
        ds->setValue("Mobile", QString("+33 %1%2").arg(round).arg(i));
        ds->setValue("HACity", QString("CITY %1").arg(round));
        QElapsedTimer t;
        t.start();
        ds->post();
        total += t.nsecsElapsed() / 1e6;
    }
    return total / n;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int people = argc > 1 ? QString(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    const QString path = dir.path() + "/Vantrel.vt";
    std::printf("filling %d people...\n", people);
    if (!fill(path, people))
        return 1;
    auto data = BenchFile::open(path);
    constexpr int kSaves = 20;
    saves(*data, 2, 0); // warm
    const double with = saves(*data, kSaves, 1);
    data->MainADOConnection.exec("ALTER TABLE \"PeopleHistory\" RENAME TO \"PeopleHistoryAway\"");
    const double without = saves(*data, kSaves, 2);
    data->MainADOConnection.exec("ALTER TABLE \"PeopleHistoryAway\" RENAME TO \"PeopleHistory\"");
    std::printf("save of one person with its history: %.2f ms, anchor %.2f ms without the history, limit 50 ms "
                "(mean of %d)\n",
                with, without, kSaves);

    // The daily backup in steps, while a timer of 0 ms stands for the window's turns of the loop.
    BackupJob job(data->MainADOConnection, Backups::folder(path) + "/" + Backups::dailyName(QDate::currentDate()));
    QEventLoop loop;
    QObject::connect(&job, &BackupJob::finished, &loop, &QEventLoop::quit);
    QElapsedTimer gap, all;
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, gap.nsecsElapsed());
        gap.restart();
    });
    all.start();
    gap.start();
    tick.start();
    job.start();
    loop.exec();
    const double total = all.nsecsElapsed() / 1e6;
    std::printf("daily backup of %.0f MB: %.0f ms in all, %s; the window's longest stall %.1f ms, anchor the step's "
                "budget of %d ms (progress is shown after 500 ms)\n",
                QFileInfo(path).size() / 1e6, total, job.isDone() ? "checked and in place" : qPrintable(job.error()),
                longest / 1e6, BackupJob::kStepMs);
    std::printf("peak memory: %ld MB\n", peakKiB() / 1024);
    return job.isDone() ? 0 : 1;
}

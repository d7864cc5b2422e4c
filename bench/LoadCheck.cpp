#include "LoadCheck.h"

#include "LoadLog.h"
#include "storage/Store.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QMap>

#include <algorithm>
#include <cstdio>

namespace LoadCheck {
namespace {

struct Save {
    int copy = 0;
    qint64 person = 0;
    QString column, read, wrote, outcome, answers, message;
    qint64 start = 0, end = 0, ms = 0, rounds = 0;
};
struct Search {
    bool right = false;
    qint64 ms = 0, rounds = 0;
};
struct Import {
    int copy = 0;
    QString prefix, message;
    int lines = 0, added = 0;
    qint64 ms = 0;
};
struct Seen {
    int copy = 0;
    QString token;
    qint64 when = 0;
};
struct Entry { // one row of the server's history of the people's changes
    qint64 id = 0, person = 0;
    QString column, oldValue, newValue, by;
    bool over = false;
    qint64 at = 0; // when it was written, just before its commit (wall clock ms)
};

struct Logs {
    std::vector<Save> saves;
    std::vector<Search> searches;
    std::vector<Import> imports;
    std::vector<Seen> seen;
    QMap<QPair<qint64, QString>, QString> watcherFinal;
    std::vector<int> done; // per copy: operations, -1 without a DONE line
};

Logs readLogs(const Run& run)
{
    Logs logs;
    logs.done.assign(size_t(run.logs.size()), -1);
    for (int copy = 0; copy < run.logs.size(); ++copy) {
        QFile f(run.logs[copy]);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& raw : f.readAll().split('\n')) {
            const QStringList l = QString::fromUtf8(raw).split('\t');
            if (l[0] == "SAVE" && l.size() >= 12) {
                logs.saves.push_back({copy, l[1].toLongLong(), l[2], l[3], l[4], l[5], l[6], l[11], l[7].toLongLong(),
                                      l[8].toLongLong(), l[9].toLongLong(), l[10].toLongLong()});
            } else if (l[0] == "SEARCH" && l.size() >= 5) {
                logs.searches.push_back({l[2] == "1", l[3].toLongLong(), l[4].toLongLong()});
            } else if (l[0] == "IMPORT" && l.size() >= 6) {
                logs.imports.push_back({copy, l[1], l[5], l[2].toInt(), l[3].toInt(), l[4].toLongLong()});
            } else if (l[0] == "SEEN" && l.size() >= 3) {
                logs.seen.push_back({copy, l[1], l[2].toLongLong()});
            } else if (l[0] == "FINAL" && l.size() >= 4) {
                logs.watcherFinal[{l[1].toLongLong(), l[2]}] = l[3];
            } else if (l[0] == "DONE" && l.size() >= 2) {
                logs.done[size_t(copy)] = l[1].toInt();
            }
        }
    }
    return logs;
}

QString text(storage::Statement& s, int column) { return s.isNull(column) ? QString() : s.text(column); }

double percentile(std::vector<qint64> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t at = std::min(v.size() - 1, size_t(p / 100.0 * double(v.size())));
    return double(v[at]);
}

QString delays(const std::vector<qint64>& v)
{
    if (v.empty())
        return "none seen";
    return QString("max %1, p99 %2, p50 %3 ms (%4)")
        .arg(*std::max_element(v.begin(), v.end()))
        .arg(percentile(v, 99), 0, 'f', 0)
        .arg(percentile(v, 50), 0, 'f', 0)
        .arg(v.size());
}

} // namespace

int report(const Run& run, storage::Store& server)
{
    const Logs logs = readLogs(run);
    QStringList faults = run.faults;
    auto fault = [&](const QString& what) { faults << what; };

    // What the server holds: the shared people's history and values, and the people imported.
    QStringList ids;
    for (qint64 id : run.shared)
        ids << QString::number(id);
    const QString in = "(" + ids.join(',') + ")";
    QMap<QPair<qint64, QString>, std::vector<Entry>> history;
    {
        storage::Prepared q(server, ("SELECT \"HistoryID\", \"PersonID\", \"Field\", \"OldValue\"::text, "
                                     "\"NewValue\"::text, \"ChangedBy\", \"OverOthers\", \"ChangedAt\" FROM \"PeopleHistory\" "
                                     "WHERE \"PersonID\" IN " + in + " ORDER BY \"HistoryID\"").toUtf8());
        while (q->step())
            history[{q->integer(1), text(*q, 2)}].push_back(
                {q->integer(0), q->integer(1), text(*q, 2), text(*q, 3), text(*q, 4), text(*q, 5), q->integer(6) != 0,
                 QDateTime::fromString(text(*q, 7), Qt::ISODateWithMs).toMSecsSinceEpoch()});
    }
    QMap<QPair<qint64, QString>, QString> stored;
    {
        storage::Prepared q(server, ("SELECT \"PersonID\", \"" + run.columns.join("\", \"") + "\" FROM \"People\" WHERE "
                                     "\"PersonID\" IN " + in).toUtf8());
        while (q->step())
            for (int c = 0; c < run.columns.size(); ++c)
                stored[{q->integer(0), run.columns[c]}] = text(*q, c + 1);
    }
    QHash<QString, int> imported; // name prefix -> people on file
    {
        storage::Prepared q(server, "SELECT \"Name\" FROM \"People\" WHERE \"Name\" LIKE 'Load c%'");
        while (q->step()) {
            const QString name = text(*q, 0);
            ++imported[name.left(name.lastIndexOf(" p") + 1)];
        }
    }

    QHash<QString, const Save*> byToken;
    for (const Save& s : logs.saves)
        if (!s.wrote.isEmpty())
            byToken.insert(s.wrote, &s);
    QHash<QString, const Entry*> inHistory;
    for (const auto& chain : history)
        for (const Entry& e : chain)
            inHistory.insert(e.newValue, &e);

    // Each column's history must run unbroken from what the fill put there to what is on file:
    // a write that left no history, or two that overlapped, shows as a break.
    int overwritesAsked = 0, falseQuestions = 0, lost = 0, silentOverwrites = 0;
    for (qint64 person : run.shared) {
        for (int c = 0; c < run.columns.size(); ++c) {
            const QString& column = run.columns[c];
            QString before = run.initial.value(c);
            for (const Entry& e : history.value({person, column})) {
                if (e.oldValue != before)
                    fault(QString("person %1, %2: the history goes from \"%3\" to \"%4\", but before it stood \"%5\"")
                              .arg(person).arg(column, e.oldValue, e.newValue, before));
                before = e.newValue;
                const Save* s = byToken.value(e.newValue);
                if (!s) {
                    fault(QString("person %1, %2: \"%3\" is in the history, written by no copy").arg(person).arg(column, e.newValue));
                    continue;
                }
                if (s->outcome != "stored")
                    fault(QString("person %1, %2: \"%3\" was stored, but copy %4 was told: %5 %6")
                              .arg(person).arg(column, e.newValue).arg(s->copy).arg(s->outcome, s->message));
                if (e.by != run.users.value(s->copy))
                    fault(QString("person %1, %2: \"%3\" is in the history as written by %4, not %5")
                              .arg(person).arg(column, e.newValue, e.by, run.users.value(s->copy)));
                if (e.oldValue != s->read) {
                    // Written over a value its copy had not read: only after the question.
                    if (s->answers.isEmpty()) {
                        ++silentOverwrites;
                        fault(QString("LOST UPDATE: person %1, %2: copy %3 read \"%4\" and wrote \"%5\" over \"%6\" "
                                      "without the question")
                                  .arg(person).arg(column).arg(s->copy).arg(s->read, s->wrote, e.oldValue));
                    } else {
                        ++overwritesAsked;
                        if (!e.over)
                            fault(QString("person %1, %2: \"%3\" went over another's change after the question, but "
                                          "the history does not say so")
                                      .arg(person).arg(column, e.newValue));
                    }
                } else if (s->answers.startsWith("yes")) {
                    ++falseQuestions; // asked although nobody had changed what it had read
                }
            }
            if (stored.value({person, column}) != before)
                fault(QString("person %1, %2: on file \"%3\", but the history ends at \"%4\"")
                          .arg(person).arg(column, stored.value({person, column}), before));
        }
    }
    int savesStored = 0, savesTheirs = 0, savesFailed = 0, questions = 0, yes = 0, noDiscard = 0, noAgain = 0;
    std::vector<qint64> saveMs, plainRounds, toCommit;
    for (const Save& s : logs.saves) {
        if (s.outcome == "stored") {
            ++savesStored;
            if (const Entry* e = inHistory.value(s.wrote))
                toCommit.push_back(std::max<qint64>(0, e->at - s.start));
            if (!inHistory.contains(s.wrote)) {
                ++lost;
                fault(QString("LOST UPDATE: person %1, %2: copy %3 was told \"%4\" was stored; it is not on file and "
                              "in no history")
                          .arg(s.person).arg(s.column).arg(s.copy).arg(s.wrote));
            }
        } else {
            if (s.outcome == "theirs")
                ++savesTheirs;
            else {
                ++savesFailed;
                fault(QString("save failed: person %1, %2, copy %3: %4").arg(s.person).arg(s.column).arg(s.copy).arg(s.message));
            }
            if (inHistory.contains(s.wrote))
                fault(QString("person %1, %2: \"%3\" is on file, though copy %4 was told %5")
                          .arg(s.person).arg(s.column, s.wrote).arg(s.copy).arg(s.outcome));
        }
        if (s.outcome != "failed" || s.ms > 0)
            saveMs.push_back(s.ms);
        if (s.answers.isEmpty() && s.outcome == "stored")
            plainRounds.push_back(s.rounds);
        for (const QString& a : s.answers.split(',', Qt::SkipEmptyParts)) {
            ++questions;
            yes += a == "yes";
            noDiscard += a == "no-discard";
            noAgain += a == "no-again";
        }
    }

    // Catch-up: each stored change, measured from the end of its save to when a list showed it.
    QHash<QString, qint64> watcherSaw;
    QHash<QPair<int, QString>, qint64> copySaw;
    std::vector<qint64> copyDelays;
    for (const Seen& s : logs.seen) {
        if (s.copy == 0)
            watcherSaw.insert(s.token, s.when);
        const Entry* e = inHistory.value(s.token);
        if (!e)
            fault(QString("copy %1 showed \"%2\", which was never stored").arg(s.copy).arg(s.token));
        else if (s.copy != 0)
            copyDelays.push_back(std::max<qint64>(0, s.when - e->at));
    }
    std::vector<qint64> watcherDelays;
    int overtaken = 0, missed = 0, late = 0;
    for (const auto& chain : history) {
        for (size_t i = 0; i < chain.size(); ++i) {
            const Save* s = byToken.value(chain[i].newValue);
            if (!s)
                continue;
            // On file from its commit, just after its history's time, until the next one's.
            const qint64 from = chain[i].at;
            const qint64 until = i + 1 < chain.size() ? chain[i + 1].at : run.watchedUntil;
            const auto seen = watcherSaw.constFind(s->wrote);
            if (seen != watcherSaw.cend()) {
                const qint64 d = std::max<qint64>(0, *seen - from);
                watcherDelays.push_back(d);
                late += d > 1000;
            } else if (until - from > 1000) {
                ++missed;
                fault(QString("the watcher's list never showed \"%1\" (person %2, %3), which stood %4 ms")
                          .arg(s->wrote).arg(s->person).arg(s->column).arg(until - from));
            } else {
                ++overtaken; // overwritten before it could show
            }
        }
    }
    int finalWrong = 0, finalLate = 0;
    for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
        // A save still waiting for the write lock at the end may commit after the watcher stopped.
        const std::vector<Entry> chain = history.value(it.key());
        if (!chain.empty() && chain.back().at > run.watchedUntil - 1000) {
            ++finalLate;
            continue;
        }
        if (logs.watcherFinal.value(it.key()) != it.value()) {
            ++finalWrong;
            fault(QString("at the end the watcher's list shows \"%1\" for person %2, %3; on file: \"%4\"")
                      .arg(logs.watcherFinal.value(it.key())).arg(it.key().first).arg(it.key().second, it.value()));
        }
    }

    int wrongSearches = 0;
    std::vector<qint64> searchMs, searchRounds;
    for (const Search& s : logs.searches) {
        wrongSearches += !s.right;
        searchMs.push_back(s.ms);
        searchRounds.push_back(s.rounds);
    }
    if (wrongSearches)
        fault(QString("%1 searches found nobody or the wrong person").arg(wrongSearches));
    int importedPeople = 0;
    std::vector<qint64> importMs;
    for (const Import& i : logs.imports) {
        importedPeople += i.added;
        importMs.push_back(i.ms);
        if (i.added != i.lines || imported.value(i.prefix) != i.lines)
            fault(QString("import %1 of copy %2: %3 lines, said %4 added, %5 on file: %6")
                      .arg(i.prefix).arg(i.copy).arg(i.lines).arg(i.added).arg(imported.value(i.prefix)).arg(i.message));
    }
    for (int copy = 0; copy < int(logs.done.size()); ++copy)
        if (logs.done[size_t(copy)] < 0)
            fault(QString("copy %1 did not end its work (see its stderr)").arg(copy));

    const double seconds = double(run.end - run.start) / 1000.0;
    auto mean = [](const std::vector<qint64>& v) {
        double sum = 0;
        for (qint64 x : v)
            sum += double(x);
        return v.empty() ? 0.0 : sum / double(v.size());
    };
    auto row = [](const QString& figure, const QString& measured, const QString& goal) {
        std::printf("%-58s %-34s %s\n", qPrintable(figure), qPrintable(measured), qPrintable(goal));
    };
    std::printf("\n%d copies and a watcher for %.1f s, round trip %d ms, on %s\n", run.copies, seconds, run.roundTripMs,
                qPrintable(run.load));
    row("figure", "measured", "goal");
    row("copies' start to the list shown (mean, max)",
        QString("%1, %2 ms").arg(mean(run.startups), 0, 'f', 0).arg(run.startups.empty() ? 0 : *std::max_element(run.startups.begin(), run.startups.end())),
        "-");
    row("CPU of the copies (of 2 cores)", QString("%1 cores").arg(run.cpuSeconds / seconds, 0, 'f', 2), "CPU-bound: expected");
    row("saves per second, all copies",
        QString("%1/s (%2: %3 stored, %4 theirs, %5 failed)").arg(double(logs.saves.size()) / seconds, 0, 'f', 1)
            .arg(logs.saves.size()).arg(savesStored).arg(savesTheirs).arg(savesFailed),
        "-");
    row("searches per second, all copies", QString("%1/s (%2)").arg(double(logs.searches.size()) / seconds, 0, 'f', 1).arg(logs.searches.size()), "-");
    row("imports per second, all copies",
        QString("%1/s (%2 of %3 people, mean %4 ms)").arg(double(logs.imports.size()) / seconds, 0, 'f', 2)
            .arg(logs.imports.size()).arg(logs.imports.empty() ? 0 : logs.imports[0].lines).arg(mean(importMs), 0, 'f', 0),
        "-");
    row("save time, 50th percentile", QString("%1 ms").arg(percentile(saveMs, 50), 0, 'f', 0), "-");
    row("save time, 99th percentile", QString("%1 ms").arg(percentile(saveMs, 99), 0, 'f', 0), "printed");
    row("save to its change written (history's time), p50 / p99",
        QString("%1 / %2 ms").arg(percentile(toCommit, 50), 0, 'f', 0).arg(percentile(toCommit, 99), 0, 'f', 0), "-");
    row("round trips of a save without the question (mean, max)",
        QString("%1, %2").arg(mean(plainRounds), 0, 'f', 2).arg(plainRounds.empty() ? 0 : *std::max_element(plainRounds.begin(), plainRounds.end())),
        "at most 2");
    row("search time, 99th percentile; round trips (mean)",
        QString("%1 ms; %2").arg(percentile(searchMs, 99), 0, 'f', 0).arg(mean(searchRounds), 0, 'f', 2), "at most 1 round trip");
    row("conflict questions (yes / no, discard / no, save again)",
        QString("%1 (%2 / %3 / %4)").arg(questions).arg(yes).arg(noDiscard).arg(noAgain), "asked both ways");
    row("saves over another's change, after the question", QString::number(overwritesAsked), "-");
    row("questions with no change of another's behind them", QString::number(falseQuestions), "none");
    row("lost updates: told stored, not on file nor in history", QString::number(lost), "none");
    row("lost updates: overwrote an unread value unasked", QString::number(silentOverwrites), "none");
    row("catch-up from the commit, watcher's list", delays(watcherDelays), "under 1000 ms");
    row("catch-up from the commit, working copies' lists", delays(copyDelays), "under 1000 ms");
    row("changes shown late / never shown though they stood 1 s",
        QString("%1 / %2 (%3 overwritten before they could show)").arg(late).arg(missed).arg(overtaken), "none");
    row("watcher's list at the end differs from the server",
        QString("%1 (%2 changed too late to tell)").arg(finalWrong).arg(finalLate), "none");
    row("searches that found the wrong person", QString::number(wrongSearches), "none");
    int onFile = 0;
    for (int n : imported)
        onFile += n;
    row("people imported (said, on file)", QString("%1, %2").arg(importedPeople).arg(onFile), "equal");
    row("faults found", QString::number(faults.size()), "none");
    for (int i = 0; i < faults.size() && i < 40; ++i)
        std::printf("  %s\n", qPrintable(faults[i]));
    if (faults.size() > 40)
        std::printf("  ... and %d more\n", int(faults.size()) - 40);
    return int(faults.size());
}

} // namespace LoadCheck

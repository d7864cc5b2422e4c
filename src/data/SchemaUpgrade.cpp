#include "SchemaUpgrade.h"

#include "data/DataError.h"
#include "Schema.h"
#include "storage/Store.h"

#include <QRegularExpression>

#include <algorithm>

namespace {
const QRegularExpression& namedObject()
{
    static const QRegularExpression named(R"re(^CREATE\s+(?:INDEX|TABLE|TRIGGER)\s+"([^"]+)")re",
                                          QRegularExpression::CaseInsensitiveOption);
    return named;
}

// The log's shape as the delivered schema makes it: a sequence number that is the row's key and
// the PersonID, nothing else.
bool changeLogIsOurs(storage::Store& store)
{
    QStringList shape;
    for (const storage::ColumnInfo& column : store.columns("PeopleChanges"))
        shape << column.name + ' ' + column.declaredType.toUpper() + ' ' + (column.primaryKey ? "1" : "0");
    return shape == QStringList{"Seq INTEGER 1", "PersonID INTEGER 0"};
}

QStringList presentObjects(storage::Store& store)
{
    QStringList present;
    for (const QString& name : store.schemaObjects())
        present << name.toLower();
    return present;
}

// What the base makes that the file lacks. What the base makes is looked for at every start,
// whatever the version says: a file another program took an index or the log from gets it back.
QStringList missingFromBase(const QStringList& present, bool foreignLog)
{
    QStringList missing;
    for (const QString& statement : Schema::addedStatements()) {
        const auto m = namedObject().match(statement);
        if (!m.hasMatch() || present.contains(m.captured(1).toLower()))
            continue;
        if (foreignLog && statement.contains("\"PeopleChanges\""))
            continue;
        missing << statement;
    }
    return missing;
}

// One write transaction: done whole or not at all.
template<typename Work>
void inTransaction(storage::Store& store, Work work)
{
    store.begin();
    try {
        work();
        store.commit();
    } catch (...) {
        store.rollback();
        throw;
    }
}
} // namespace

namespace SchemaUpgrade {

bool needed(storage::Store& store)
{
    const QStringList present = presentObjects(store);
    const bool foreignLog = present.contains("peoplechanges") && !changeLogIsOurs(store);
    return store.schemaVersion() < Schema::currentVersion() || !missingFromBase(present, foreignLog).isEmpty();
}

Outcome run(storage::Store& store, const Progress& progress)
{
    Outcome outcome;
    const QString file = store.displayName();
    try {
        const QStringList present = presentObjects(store);
        // A change log that another program made under our name is left as it is, and so is
        // People: triggers writing into it would make every save fail, for other programs too.
        outcome.foreignLog = present.contains("peoplechanges") && !changeLogIsOurs(store);
        if (outcome.foreignLog)
            outcome.notices << "The database holds a table \"PeopleChanges\" that is not the one this program keeps. "
                               "It and the people are left as they are; the list of people takes in other programs' "
                               "changes only when it is read again (Refresh).";
        const int known = Schema::currentVersion();
        int version = store.schemaVersion();
        if (version > known)
            outcome.notices << QString("%1 was last prepared by a newer version of Vantrel (schema %2; this one knows %3). "
                                       "It is used as it is; what the newer version added is left alone.")
                                   .arg(file)
                                   .arg(version)
                                   .arg(known);
        const QStringList missing = missingFromBase(present, outcome.foreignLog);
        const bool base = version < Schema::kBaseVersion || !missing.isEmpty();
        QVector<Schema::Step> steps;
        for (const Schema::Step& step : Schema::steps())
            if (step.version > version)
                steps << step;
        const int parts = int(base) + int(steps.size());
        int part = 0;
        if (base) {
            if (progress)
                progress(part, parts, "The indexes and the change log");
            inTransaction(store, [&] {
                for (const QString& statement : missing)
                    store.exec(statement.toUtf8());
                if (store.schemaVersion() < Schema::kBaseVersion)
                    store.setSchemaVersion(Schema::kBaseVersion);
            });
            version = std::max(version, int(Schema::kBaseVersion));
            outcome.changed = true;
            ++part;
        }
        for (const Schema::Step& step : std::as_const(steps)) {
            if (progress)
                progress(part, parts, step.name);
            inTransaction(store, [&] {
                version = store.schemaVersion();
                if (step.version > version) {
                    for (const QString& statement : Schema::statements(step.sql))
                        store.exec(statement.toUtf8());
                    store.setSchemaVersion(step.version);
                    version = step.version;
                }
            });
            outcome.changed = true;
            ++part;
        }
        if (progress && parts > 0)
            progress(parts, parts, QString());
    } catch (const DataError& e) {
        // Only a lock passes by itself; anything else stays until the file is put right.
        const bool locked = e.text().contains("locked");
        outcome.notices << QString("%1 could not be prepared for this version of Vantrel: %2\n"
                                   "It is used as it is, and what needs the newer tables will not work. %3")
                               .arg(file, e.text(),
                                    locked ? QString("Close the other programs that use the file and start Vantrel again.")
                                           : QString("Nothing in it was changed by the attempt."));
    }
    return outcome;
}

} // namespace SchemaUpgrade

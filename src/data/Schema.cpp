#include "Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "storage/pg/PgSql.h"
#include "storage/pg/PgStore.h"
#include "storage/sqlite/SqliteStore.h"

#include <algorithm>

namespace {
QString readResource(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}
} // namespace

QString Schema::script() { return readResource(":/schema.sql"); }

QVector<Schema::Step> Schema::steps()
{
    static const QRegularExpression named(R"(^(\d+)-(.+)\.sql$)");
    QVector<Step> steps;
    for (const QString& file : QDir(":/upgrades").entryList(QDir::Files)) {
        const auto m = named.match(file);
        if (m.hasMatch())
            steps.push_back({m.captured(1).toInt(), m.captured(2), readResource(":/upgrades/" + file)});
    }
    std::sort(steps.begin(), steps.end(), [](const Step& a, const Step& b) { return a.version < b.version; });
    return steps;
}

int Schema::currentVersion()
{
    const auto all = steps();
    return all.isEmpty() ? kBaseVersion : all.last().version;
}

QStringList Schema::statements(const QString& sql)
{
    QStringList statements;
    QString statement;
    bool trigger = false;
    for (const QString& line : sql.split('\n')) {
        const QString text = line.trimmed();
        if (text.startsWith("--") || (statement.isEmpty() && text.isEmpty()))
            continue;
        if (statement.isEmpty())
            trigger = text.startsWith("CREATE TRIGGER", Qt::CaseInsensitive);
        statement += line + '\n';
        const bool ends = trigger ? text.endsWith("END;", Qt::CaseInsensitive) : text.endsWith(';');
        if (ends) {
            statements << statement.trimmed();
            statement.clear();
        }
    }
    if (!statement.trimmed().isEmpty())
        statements << statement.trimmed();
    return statements;
}

QStringList Schema::addedStatements()
{
    QStringList added;
    for (const QString& statement : statements(script())) {
        if (statement.startsWith("CREATE INDEX", Qt::CaseInsensitive)
            || statement.startsWith("CREATE TRIGGER", Qt::CaseInsensitive)
            || statement.startsWith("CREATE TABLE \"PeopleChanges\"", Qt::CaseInsensitive))
            added << statement;
    }
    return added;
}

bool Schema::createDatabase(const QString& path, QString* error)
{
    if (QFileInfo::exists(path)) {
        if (error)
            *error = "a file is already there";
        return false;
    }
    QStringList all = statements(script());
    for (const Step& step : steps())
        all << statements(step.sql);

    bool ok = true;
    QString current;
    try {
        SqliteStore file;
        file.create(path);
        // One transaction: a file is made whole or not at all, and quickly. The pragmas that
        // open the script (the journal's mode) cannot be set inside one.
        for (const QString& statement : std::as_const(all)) {
            current = statement;
            if (!file.inTransaction() && !statement.startsWith("PRAGMA", Qt::CaseInsensitive))
                file.begin();
            file.exec(statement.toUtf8());
        }
        current.clear();
        file.setSchemaVersion(currentVersion());
        if (file.inTransaction())
            file.commit();
    } catch (const DataError& e) {
        if (error)
            *error = current.isEmpty() ? e.text() : e.text() + "\n" + current;
        ok = false;
    }
    if (!ok)
        QFile::remove(path);
    return ok;
}

bool Schema::makeServerDatabase(const QString& connection, QString* done, QString* error, const QString& group)
{
    QString current;
    try {
        PgStore server;
        server.open(connection);
        server.begin(); // the schema is made whole or not at all, and no copy writes meanwhile
        const int version = server.schemaVersion();
        const int known = currentVersion();
        if (version > known)
            throw DataError(QString("The database was made by a newer version of Vantrel (schema %1; this one knows %2).")
                                .arg(version)
                                .arg(known));
        if (version == 0 && !server.tables().isEmpty())
            throw DataError("The database holds tables already, but no Vantrel schema: name an empty database.");
        QStringList all;
        if (version == 0)
            all = statements(script());
        for (const Step& step : steps()) {
            if (step.version > std::max(version, kBaseVersion))
                all << statements(step.sql);
        }
        for (const QString& statement : std::as_const(all)) {
            current = statement;
            for (const QString& serverStatement : PgSql::schemaStatements(statement))
                server.execScript(serverStatement);
        }
        current.clear();
        server.setSchemaVersion(known);
        for (const QString& statement : PgSql::finish(group)) {
            current = statement;
            server.execScript(statement);
        }
        current.clear();
        server.commit();
        if (done) {
            QString name = server.displayName();
            name[0] = name[0].toUpper();
            *done = version == 0 ? QString("Made the Vantrel schema %1 on %2").arg(known).arg(server.displayName())
                    : version < known
                        ? QString("Brought %1 up from schema %2 to %3").arg(server.displayName()).arg(version).arg(known)
                        : QString("%1 is up to date (schema %2)").arg(name).arg(known);
        }
        return true;
    } catch (const DataError& e) {
        if (error)
            *error = current.isEmpty() ? e.text() : e.text() + "\n" + current;
        return false;
    }
}

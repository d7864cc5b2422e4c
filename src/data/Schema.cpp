#include "Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>

namespace {
QString baseScript()
{
    QFile f(":/schema.sql");
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}
} // namespace

QString Schema::script()
{
    QString text = baseScript();
    // The later steps, in order.
    for (const QFileInfo& step : QDir(":/upgrades").entryInfoList({"*.sql"}, QDir::Files, QDir::Name)) {
        QFile u(step.filePath());
        if (u.open(QIODevice::ReadOnly))
            text += '\n' + QString::fromUtf8(u.readAll());
    }
    return text;
}

QStringList Schema::addedStatements()
{
    auto added = [](const QString& text) {
        return text.startsWith("CREATE INDEX", Qt::CaseInsensitive)
               || text.startsWith("CREATE TRIGGER", Qt::CaseInsensitive)
               || text.startsWith("CREATE TABLE \"PeopleChanges\"", Qt::CaseInsensitive);
    };
    QStringList statements;
    QString statement;
    for (const QString& line : baseScript().split('\n')) {
        const QString text = line.trimmed();
        if (text.startsWith("--") || (statement.isEmpty() && !added(text)))
            continue;
        statement += line + '\n';
        if (text.endsWith(';')) {
            statements << statement.trimmed();
            statement.clear();
        }
    }
    return statements;
}

bool Schema::createDatabase(const QString& path, QString* error)
{
    if (QFileInfo::exists(path)) {
        if (error)
            *error = "a file is already there";
        return false;
    }
    const QString name = "schema-" + QUuid::createUuid().toString();
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        if (!db.open()) {
            if (error)
                *error = db.lastError().text();
            ok = false;
        } else {
            QString statement;
            for (const QString& line : script().split('\n')) {
                if (line.trimmed().startsWith("--"))
                    continue;
                statement += line + '\n';
                if (!line.trimmed().endsWith(';'))
                    continue;
                QSqlQuery q(db);
                if (!q.exec(statement)) {
                    if (error)
                        *error = q.lastError().text() + "\n" + statement;
                    ok = false;
                    break;
                }
                statement.clear();
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!ok)
        QFile::remove(path);
    return ok;
}

#pragma once
// The database files the benchmarks measure: made from the delivered schema and filled in one
// transaction, then opened as the program opens them.
#include "data/MainDataModule.h"
#include "data/Schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

#include <cstdio>
#include <functional>
#include <memory>

namespace BenchFile {

// A new file at path; fill writes its rows (false: it failed, and has said why).
inline bool make(const QString& path, const std::function<bool(QSqlDatabase&)>& fill)
{
    if (!Schema::createDatabase(path))
        return false;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(path);
        if (db.open()) {
            db.transaction();
            ok = fill(db) && db.commit();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase("fill");
    return ok;
}

// Runs a prepared statement, saying why it failed.
inline bool run(QSqlQuery& q)
{
    if (q.exec())
        return true;
    std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
    return false;
}

// The people of the safety-net benchmarks, person i of many: a profile of a few filled fields.
inline const char* const kPeopleInsert =
    "INSERT INTO People (CompanyID, Name, Company, Email1, Mobile, HACity, JobTitle, Hobbies, Info) "
    "VALUES (1, ?, ?, ?, ?, 'LYON', 'Buyer', 'Sailing', ?)";
inline bool addPerson(QSqlQuery& q, int i)
{
    q.addBindValue(QString("Person %1").arg(i));
    q.addBindValue(QString("Company %1").arg(i % 5000));
    q.addBindValue(QString("person%1@example.com").arg(i));
    q.addBindValue(QString("+47 %1").arg(40000000 + i));
    q.addBindValue(QString("Met at the fair of %1, follow up in spring").arg(2000 + i % 26));
    return run(q);
}

inline std::unique_ptr<TMainDataModule> open(const QString& path)
{
    auto data = std::make_unique<TMainDataModule>();
    data->MainADOConnection.setDatabasePath(path);
    data->MainADOConnection.open();
    data->SetDatasetsActive(true);
    return data;
}

} // namespace BenchFile

#include "DuplicateMerge.h"

#include "ChangeStamp.h"

#include "Connection.h"
#include "DataError.h"
#include "RowReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace DuplicateMerge {
namespace {
std::function<void(const char*)>& stepHook()
{
    static std::function<void(const char*)> h;
    return h;
}

void step(const char* name)
{
    if (stepHook())
        stepHook()(name);
}

QJsonValue toJson(const RowReader& r, int column)
{
    if (r.isNull(column))
        return QJsonValue::Null;
    if (r.isText(column))
        return r.value(column, ColumnType::Text).toString();
    return QJsonValue::fromVariant(r.value(column, ColumnType::Any));
}

// JSON keeps every number as a double: whole ones go back into the file as integers.
QVariant fromJson(const QJsonValue& v)
{
    if (v.isNull() || v.isUndefined())
        return QVariant(QMetaType::fromType<QString>());
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (std::floor(d) == d && std::abs(d) < 9e15)
            return QVariant(qlonglong(d));
        return d;
    }
    return v.toVariant();
}

QString idList(const QVector<qint64>& ids)
{
    QStringList l;
    for (qint64 id : ids)
        l << QString::number(id);
    return l.join(", ");
}

// A person's whole row, every column by its name; empty when nobody has the number.
QJsonObject personRow(Connection& c, qint64 id)
{
    RowReader r(c, "SELECT * FROM \"People\" WHERE \"PersonID\" = ?", {id});
    QJsonObject row;
    if (!r.next())
        return row;
    const QStringList names = r.columnNames();
    for (int i = 0; i < names.size(); ++i)
        row.insert(names[i], toJson(r, i));
    return row;
}

// The questionnaire rows of these people in the order they were made: row key, person, question,
// answer.
QJsonArray answerRows(Connection& c, const QVector<qint64>& people)
{
    QJsonArray rows;
    const QString key = c.store().rowKey("QuestionsMain");
    RowReader r(c,
                "SELECT " + key + ", \"PersonID\", \"QuestionID\", \"Answer\" FROM \"QuestionsMain\" WHERE \"PersonID\" IN ("
                    + idList(people) + ") ORDER BY " + key,
                {});
    while (r.next())
        rows.append(QJsonArray{toJson(r, 0), toJson(r, 1), toJson(r, 2), toJson(r, 3)});
    return rows;
}

// A person's own answers as the merge leaves them: question and answer, in order.
QJsonArray ownAnswers(Connection& c, qint64 person)
{
    QJsonArray rows;
    RowReader r(c, "SELECT \"QuestionID\", \"Answer\" FROM \"QuestionsMain\" WHERE \"PersonID\" = ? ORDER BY "
                       + c.store().rowKey("QuestionsMain"),
                {person});
    while (r.next())
        rows.append(QJsonArray{toJson(r, 0), toJson(r, 1)});
    return rows;
}

QJsonArray keyedRows(Connection& c, const QString& sql)
{
    QJsonArray rows;
    RowReader r(c, sql, {});
    while (r.next())
        rows.append(QJsonArray{toJson(r, 0), toJson(r, 1)});
    return rows;
}

QJsonObject afterState(Connection& c, qint64 kept)
{
    return QJsonObject{{"person", personRow(c, kept)}, {"answers", ownAnswers(c, kept)}};
}

void noteWrites(Connection& c)
{
    for (const char* table : {"People", "PeopleFollowUp", "QuestionsMain", "Business"})
        c.noteWrite(table);
}
} // namespace

void removePeople(Connection& connection, const QVector<qint64>& people)
{
    for (qint64 id : people)
        connection.exec("DELETE FROM \"People\" WHERE \"PersonID\" = ?", {id});
    connection.noteWrite("People");
}

qint64 merge(Connection& connection, qint64 kept, const QVector<qint64>& others, const QHash<QString, QVariant>& values)
{
    if (others.isEmpty() || others.contains(kept))
        throw DataError("A merge needs the person kept and at least one other.");
    if (values.contains("Name") && values.value("Name").toString().trimmed().isEmpty())
        throw DataError("Required field (Name) is empty. Nothing was merged.");
    QVector<qint64> group{kept};
    group += others;
    Connection::Transaction t(connection);
    QJsonArray people;
    QStringList names;
    for (qint64 id : group) {
        const QJsonObject row = personRow(connection, id);
        if (row.isEmpty())
            throw DataError(QString("The person with the number %1 is no longer on file: another user may have "
                                    "deleted them. Nothing was merged.")
                                .arg(id));
        people.append(row);
        names << row.value("Name").toString();
    }
    const QJsonArray answers = answerRows(connection, group);
    const QJsonArray activities = keyedRows(connection, "SELECT \"ID\", \"PersonID\" FROM \"PeopleFollowUp\" WHERE "
                                                        "\"PersonID\" IN (" + idList(others) + ") ORDER BY \"ID\"");
    const QString roleKey = connection.store().rowKey("Business");
    const QJsonArray roles = keyedRows(connection, "SELECT " + roleKey + ", \"PersonID\" FROM \"Business\" WHERE \"PersonID\" IN ("
                                                       + idList(others) + ") ORDER BY " + roleKey);
    step("read");

    const QJsonObject keptRow = people.at(0).toObject();
    QStringList sets;
    QVariantList bound;
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it.key() == "PersonID" || !keptRow.contains(it.key()))
            continue;
        sets << Connection::quote(it.key()) + " = ?";
        bound << (it.value().isValid() ? it.value() : QVariant(QMetaType::fromType<QString>()));
    }
    if (!sets.isEmpty()) {
        QStringList stampColumns;
        QVariantList stamp;
        ChangeStamp::add(connection, "People", stampColumns, stamp);
        for (int i = 0; i < stampColumns.size(); ++i) {
            const qsizetype at = sets.indexOf(stampColumns[i] + " = ?");
            if (at >= 0) {
                bound[at] = stamp[i];
            } else {
                sets << stampColumns[i] + " = ?";
                bound << stamp[i];
            }
        }
        bound << kept;
        connection.exec("UPDATE \"People\" SET " + sets.join(", ") + " WHERE \"PersonID\" = ?", bound);
    }
    step("kept");

    connection.exec("UPDATE \"PeopleFollowUp\" SET \"PersonID\" = ? WHERE \"PersonID\" IN (" + idList(others) + ")",
                    {kept});
    connection.exec("UPDATE \"Business\" SET \"PersonID\" = ? WHERE \"PersonID\" IN (" + idList(others) + ")", {kept});
    // One questionnaire survives: the one with most questions answered, the kept person's on a tie.
    qint64 winner = kept;
    int most = -1;
    for (qint64 id : group) {
        RowReader r(connection, "SELECT count(*) FROM \"QuestionsMain\" WHERE \"PersonID\" = ? AND \"Answer\" >= 0", {id});
        const int answered = r.next() ? int(r.integer(0)) : 0;
        if (answered > most) {
            most = answered;
            winner = id;
        }
    }
    if (winner != kept) {
        connection.exec("DELETE FROM \"QuestionsMain\" WHERE \"PersonID\" = ?", {kept});
        connection.exec("UPDATE \"QuestionsMain\" SET \"PersonID\" = ? WHERE \"PersonID\" = ?", {kept, winner});
    }
    connection.exec("DELETE FROM \"QuestionsMain\" WHERE \"PersonID\" IN (" + idList(others) + ")");
    step("moved");

    removePeople(connection, others);
    step("removed");

    const QJsonObject before{{"people", people}, {"answers", answers}, {"activities", activities}, {"roles", roles}};
    const qint64 id = connection.store().insert(
        "\"Merges\"", {"\"MergedAt\"", "\"KeptID\"", "\"Names\"", "\"Before\"", "\"After\""},
        {QDateTime::currentDateTime().toString(Qt::ISODate), kept, names.join(", "),
         QString::fromUtf8(QJsonDocument(before).toJson(QJsonDocument::Compact)),
         QString::fromUtf8(QJsonDocument(afterState(connection, kept)).toJson(QJsonDocument::Compact))});
    step("recorded");
    noteWrites(connection);
    t.commit();
    return id;
}

QVector<Record> merges(Connection& connection)
{
    QVector<Record> list;
    RowReader r(connection, "SELECT \"MergeID\", \"MergedAt\", \"KeptID\", \"Names\" FROM \"Merges\" WHERE \"UndoneAt\" "
                            "IS NULL ORDER BY \"MergeID\" DESC",
                {});
    while (r.next())
        list.append({r.integer(0), QDateTime::fromString(r.value(1, ColumnType::Text).toString(), Qt::ISODate),
                     r.integer(2), r.value(3, ColumnType::Text).toString()});
    return list;
}

Undo undo(Connection& connection, qint64 mergeId)
{
    Connection::Transaction t(connection);
    QJsonObject before, after;
    qint64 kept = 0;
    {
        RowReader r(connection,
                    "SELECT \"KeptID\", \"Before\", \"After\", \"UndoneAt\" FROM \"Merges\" WHERE \"MergeID\" = ?",
                    {mergeId});
        if (!r.next() || !r.isNull(3))
            return Undo::AlreadyUndone;
        kept = r.integer(0);
        before = QJsonDocument::fromJson(r.value(1, ColumnType::Text).toString().toUtf8()).object();
        after = QJsonDocument::fromJson(r.value(2, ColumnType::Text).toString().toUtf8()).object();
    }
    // Through its text, as the merge stored it, so numbers compare alike.
    const QJsonObject now =
        QJsonDocument::fromJson(QJsonDocument(afterState(connection, kept)).toJson(QJsonDocument::Compact)).object();
    if (now.value("person").toObject().isEmpty())
        return Undo::KeptGone;
    if (now != after)
        return Undo::KeptChanged;
    const QJsonArray people = before.value("people").toArray();
    for (int i = 1; i < people.size(); ++i)
        if (!personRow(connection, qint64(people.at(i).toObject().value("PersonID").toDouble())).isEmpty())
            return Undo::NumberTaken;

    for (int i = 0; i < people.size(); ++i) {
        const QJsonObject row = people.at(i).toObject();
        QStringList names, marks, sets;
        QVariantList bound;
        for (auto it = row.begin(); it != row.end(); ++it) {
            names << Connection::quote(it.key());
            marks << "?";
            if (it.key() != "PersonID")
                sets << Connection::quote(it.key()) + " = ?";
            bound << fromJson(it.value());
        }
        if (i == 0) {
            QVariantList values;
            for (auto it = row.begin(); it != row.end(); ++it)
                if (it.key() != "PersonID")
                    values << fromJson(it.value());
            values << kept;
            connection.exec("UPDATE \"People\" SET " + sets.join(", ") + " WHERE \"PersonID\" = ?", values);
        } else {
            connection.exec("INSERT INTO \"People\" (" + names.join(", ") + ") VALUES (" + marks.join(", ") + ")", bound);
        }
    }
    for (const QJsonValue& a : before.value("activities").toArray())
        connection.exec("UPDATE \"PeopleFollowUp\" SET \"PersonID\" = ? WHERE \"ID\" = ?",
                        {fromJson(a.toArray().at(1)), fromJson(a.toArray().at(0))});
    for (const QJsonValue& a : before.value("roles").toArray())
        connection.exec("UPDATE \"Business\" SET \"PersonID\" = ? WHERE " + connection.store().rowKey("Business") + " = ?",
                        {fromJson(a.toArray().at(1)), fromJson(a.toArray().at(0))});
    connection.exec("DELETE FROM \"QuestionsMain\" WHERE \"PersonID\" = ?", {kept});
    for (const QJsonValue& a : before.value("answers").toArray()) {
        const QJsonArray row = a.toArray();
        connection.exec("INSERT INTO \"QuestionsMain\" (\"PersonID\", \"QuestionID\", \"Answer\") VALUES (?, ?, ?)",
                        {fromJson(row.at(1)), fromJson(row.at(2)), fromJson(row.at(3))});
    }
    connection.exec("UPDATE \"Merges\" SET \"UndoneAt\" = ? WHERE \"MergeID\" = ?",
                    {QDateTime::currentDateTime().toString(Qt::ISODate), mergeId});
    noteWrites(connection);
    t.commit();
    return Undo::Done;
}

QString undoRefusal(Undo result)
{
    switch (result) {
    case Undo::Done: return {};
    case Undo::KeptChanged:
        return "The person kept by this merge has been changed since (their details or answers), so the merge "
               "cannot be undone without losing those changes. Nothing was changed.";
    case Undo::KeptGone:
        return "The person kept by this merge has been deleted since, so the merge cannot be undone. Nothing was "
               "changed.";
    case Undo::NumberTaken:
        return "A person merged away is on file again under the same number, so the merge cannot be undone. Nothing "
               "was changed.";
    case Undo::AlreadyUndone: return "This merge has already been undone.";
    }
    return {};
}

void markNotDuplicates(Connection& connection, const QVector<qint64>& people)
{
    Connection::Transaction t(connection);
    for (int i = 0; i < people.size(); ++i)
        for (int j = i + 1; j < people.size(); ++j)
            connection.exec(connection.store().insertSkippingDuplicates("\"NotDuplicates\"",
                                                                         "(\"PersonID1\", \"PersonID2\") VALUES (?, ?)"),
                            {std::min(people[i], people[j]), std::max(people[i], people[j])});
    t.commit();
}

QVector<Stored> read(Connection& connection, const QVector<qint64>& people)
{
    // The log of changes says who was written last; a person it no longer holds, or one an import
    // added without a word in it, counts by their number: the higher, the later they came.
    QHash<qint64, qint64> logged;
    try {
        RowReader r(connection, "SELECT \"PersonID\", max(\"Seq\") FROM \"PeopleChanges\" WHERE \"PersonID\" IN ("
                                    + idList(people) + ") GROUP BY \"PersonID\"",
                    {});
        while (r.next())
            logged.insert(r.integer(0), r.integer(1));
    } catch (const DataError&) {
        // Another program's table of that name, or none: the numbers decide.
    }
    // The times this program recorded: the last saved change, and the import that added them.
    QHash<qint64, QString> saved, imported;
    const auto readTimes = [&](const QString& sql, QHash<qint64, QString>& into) {
        try {
            RowReader r(connection, sql, {});
            while (r.next())
                into.insert(r.integer(0), r.value(1, ColumnType::Text).toString());
        } catch (const DataError&) {
            // A file an older start could not prepare has no such table: the log decides.
        }
    };
    readTimes("SELECT \"PersonID\", max(\"ChangedAt\") FROM \"PeopleHistory\" WHERE \"PersonID\" IN ("
                  + idList(people) + ") GROUP BY \"PersonID\"",
              saved);
    readTimes("SELECT p.\"PersonID\", max(i.\"ImportedAt\") FROM \"ImportedPeople\" p JOIN \"Imports\" i "
              "ON i.\"ImportID\" = p.\"ImportID\" WHERE i.\"UndoneAt\" IS NULL AND p.\"PersonID\" IN ("
                  + idList(people) + ") GROUP BY p.\"PersonID\"",
              imported);
    QVector<Stored> list;
    for (qint64 id : people) {
        RowReader r(connection, "SELECT * FROM \"People\" WHERE \"PersonID\" = ?", {id});
        if (!r.next())
            continue;
        Stored s;
        s.id = id;
        const QStringList names = r.columnNames();
        for (int i = 0; i < names.size(); ++i)
            s.values.insert(names[i], r.isText(i) ? r.value(i, ColumnType::Text) : r.value(i, ColumnType::Any));
        s.recency = (logged.value(id, 0) << 24) + id;
        const QString savedAt = saved.value(id), importedAt = imported.value(id);
        s.byImport = importedAt > savedAt;
        s.changedAt = s.byImport ? importedAt : savedAt;
        list.append(s);
    }
    return list;
}

bool changedLater(const Stored& a, const Stored& b)
{
    if (!a.changedAt.isEmpty() && !b.changedAt.isEmpty())
        return a.changedAt != b.changedAt ? a.changedAt > b.changedAt : a.recency > b.recency;
    // Numbers are given in the order people are added, so one without a recorded time who has a
    // higher number than an imported person came after that import.
    if (!a.changedAt.isEmpty())
        return !(a.byImport && b.id > a.id);
    if (!b.changedAt.isEmpty())
        return b.byImport && a.id > b.id;
    return a.recency > b.recency;
}

void setStepHook(std::function<void(const char*)> hook) { stepHook() = std::move(hook); }

} // namespace DuplicateMerge

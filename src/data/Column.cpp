#include "Column.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>

namespace ColumnValue {

QVariant fromDatabase(const QVariant& stored, ColumnType type)
{
    if (stored.isNull())
        return {};
    switch (type) {
    case ColumnType::Integer:
        return QVariant(stored.toInt());
    case ColumnType::Boolean:
        return QVariant(stored.toInt() != 0);
    case ColumnType::Real:
        return QVariant(stored.toDouble());
    case ColumnType::Text:
        return QVariant(stored.toString());
    case ColumnType::Date: {
        const QString text = stored.toString();
        if (text.size() <= 10) {
            const QDate d = QDate::fromString(text, Qt::ISODate);
            return d.isValid() ? QVariant(d) : QVariant(text);
        }
        const QDateTime dt = QDateTime::fromString(text, Qt::ISODate);
        if (!dt.isValid())
            return QVariant(text);
        if (dt.time() == QTime(0, 0))
            return QVariant(dt.date());
        return QVariant(dt);
    }
    case ColumnType::Any:
        break;
    }
    return stored;
}

QVariant toDatabase(const QVariant& value, ColumnType type)
{
    if (value.isNull() || !value.isValid())
        return QVariant(QMetaType::fromType<QString>());
    if (type == ColumnType::Date || value.metaType().id() == QMetaType::QDate
        || value.metaType().id() == QMetaType::QDateTime) {
        if (value.metaType().id() == QMetaType::QDate)
            return value.toDate().toString(Qt::ISODate);
        if (value.metaType().id() == QMetaType::QDateTime) {
            const QDateTime dt = value.toDateTime();
            if (dt.time() == QTime(0, 0))
                return dt.date().toString(Qt::ISODate);
            return dt.toString(Qt::ISODate);
        }
    }
    if (type == ColumnType::Boolean || value.metaType().id() == QMetaType::Bool)
        return QVariant(value.toBool() ? 1 : 0);
    return value;
}

ColumnType typeFromDeclaration(const QString& declared, int* size)
{
    *size = 0;
    const QString d = declared.trimmed().toUpper();
    if (d.isEmpty())
        return ColumnType::Any;
    if (d.startsWith("BOOL"))
        return ColumnType::Boolean;
    if (d.startsWith("DATE") || d.startsWith("TIME"))
        return ColumnType::Date;
    if (d.contains("INT"))
        return ColumnType::Integer;
    if (d.startsWith("REAL") || d.startsWith("DOUB") || d.startsWith("FLOA") || d.startsWith("NUM")
        || d.startsWith("DEC") || d.startsWith("CURR"))
        return ColumnType::Real;
    if (d.contains("CHAR") || d.contains("TEXT") || d.contains("CLOB")) {
        static const QRegularExpression width(R"(\((\d+)\))");
        const auto m = width.match(d);
        if (m.hasMatch())
            *size = m.captured(1).toInt();
        return ColumnType::Text;
    }
    return ColumnType::Any;
}

static bool isNumber(const QVariant& v)
{
    switch (v.metaType().id()) {
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

int compare(const QVariant& a, const QVariant& b)
{
    const int ta = a.metaType().id(), tb = b.metaType().id();
    if (ta == QMetaType::Int && tb == QMetaType::Int) {
        const int x = *static_cast<const int*>(a.constData()), y = *static_cast<const int*>(b.constData());
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (ta == QMetaType::QString && tb == QMetaType::QString)
        return QString::compare(*static_cast<const QString*>(a.constData()), *static_cast<const QString*>(b.constData()),
                                Qt::CaseInsensitive);
    const bool an = a.isNull(), bn = b.isNull();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    if (isNumber(a) && isNumber(b)) {
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (a.metaType().id() == QMetaType::QDate && b.metaType().id() == QMetaType::QDate)
        return a.toDate() < b.toDate() ? -1 : (a.toDate() > b.toDate() ? 1 : 0);
    return QString::compare(a.toString(), b.toString(), Qt::CaseInsensitive);
}

} // namespace ColumnValue

#include "PgSql.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace PgSql {
namespace {

bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80); }

// Copies a quoted stretch from its opening quote to its closing one; a doubled quote inside is a
// quote of the text, and falls out of the loop by itself (closed, opened again).
qsizetype copyQuoted(const QByteArray& in, qsizetype i, QByteArray& out)
{
    const char quote = in[i];
    out += in[i++];
    while (i < in.size()) {
        out += in[i];
        if (in[i++] == quote)
            break;
    }
    return i;
}

} // namespace

Translated translate(const QByteArray& in)
{
    Translated t;
    QByteArray& out = t.sql;
    out.reserve(in.size() + 16);
    qsizetype i = 0;
    while (i < in.size()) {
        const char c = in[i];
        if (c == '\'' || c == '"') {
            i = copyQuoted(in, i, out);
        } else if (c == '-' && i + 1 < in.size() && in[i + 1] == '-') {
            const qsizetype end = in.indexOf('\n', i);
            const qsizetype stop = end < 0 ? in.size() : end;
            out += in.mid(i, stop - i);
            i = stop;
        } else if (c == '/' && i + 1 < in.size() && in[i + 1] == '*') {
            const qsizetype end = in.indexOf("*/", i + 2);
            const qsizetype stop = end < 0 ? in.size() : end + 2;
            out += in.mid(i, stop - i);
            i = stop;
        } else if (c == '?') {
            qsizetype j = i + 1;
            while (j < in.size() && std::isdigit(static_cast<unsigned char>(in[j])))
                ++j;
            const int number = j > i + 1 ? in.mid(i + 1, j - i - 1).toInt() : t.parameterCount + 1;
            t.parameterCount = std::max(t.parameterCount, number);
            out += '$' + QByteArray::number(number);
            i = j;
        } else if (c == ':' && i + 1 < in.size() && in[i + 1] == ':') {
            out += "::"; // the server's cast, never a name
            i += 2;
        } else if (c == ':' && i + 1 < in.size() && (std::isalpha(static_cast<unsigned char>(in[i + 1])) || in[i + 1] == '_')) {
            qsizetype j = i + 1;
            while (j < in.size() && isNameChar(in[j]))
                ++j;
            const QByteArray name = in.mid(i, j - i);
            int number = t.names.value(name);
            if (number == 0) {
                number = ++t.parameterCount;
                t.names.insert(name, number);
            }
            out += '$' + QByteArray::number(number);
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return t;
}

QString insertTarget(const QByteArray& sql)
{
    static const QRegularExpression insert(R"re(^\s*INSERT\s+INTO\s+(?:"((?:[^"]|"")+)"|(\w+)))re",
                                           QRegularExpression::CaseInsensitiveOption);
    const auto m = insert.match(QString::fromUtf8(sql));
    if (!m.hasMatch())
        return {};
    return m.captured(1).isEmpty() ? m.captured(2) : m.captured(1).replace("\"\"", "\"");
}

QString constraintName(const QString& name)
{
    if (name.toUtf8().size() <= 63)
        return name;
    static const QRegularExpression width(R"re(^(\w+\.\w+) is longer than (\d+) characters$)re");
    const auto m = width.match(name);
    if (m.hasMatch()) {
        const QString shorter = m.captured(1) + " longer than " + m.captured(2);
        if (shorter.toUtf8().size() <= 63)
            return shorter;
    }
    const QByteArray mark = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    QByteArray start = name.toUtf8().left(54);
    while (!start.isEmpty() && (start.back() & 0xC0) == 0x80) // never half a character
        start.chop(1);
    if (!start.isEmpty() && (start.back() & 0x80))
        start.chop(1);
    return QString::fromUtf8(start) + ' ' + QString::fromLatin1(mark);
}

QString quoted(const QString& name) { return '"' + QString(name).replace('"', "\"\"") + '"'; }

QByteArray bareName(const QString& table)
{
    QString name = table.trimmed();
    if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
        name = name.mid(1, name.size() - 2).replace("\"\"", "\"");
    return name.toUtf8();
}

namespace {

// The parts of a list at its own level: commas inside brackets or quotes do not split.
QStringList topLevelParts(const QString& body)
{
    QStringList parts;
    QString part;
    int depth = 0;
    QChar quote;
    for (QChar c : body) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth == 0) {
            parts << part.trimmed();
            part.clear();
            continue;
        }
        part += c;
    }
    if (!part.trimmed().isEmpty())
        parts << part.trimmed();
    return parts;
}

// Every constraint name within the server's limit.
QString shortenConstraints(QString text)
{
    static const QRegularExpression named(R"re(CONSTRAINT\s+"((?:[^"]|"")+)")re", QRegularExpression::CaseInsensitiveOption);
    QString out;
    qsizetype at = 0;
    auto it = named.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        out += text.mid(at, m.capturedStart() - at);
        out += "CONSTRAINT " + quoted(constraintName(m.captured(1).replace("\"\"", "\"")));
        at = m.capturedEnd();
    }
    return out + text.mid(at);
}

struct ColumnDefinition {
    QString server;   // the column as the server makes it
    QString name;
    QString declared; // the file's type, for the column's comment
    bool integerKey = false;
    bool noCase = false; // the file compares its text by NOCASE
    // The file's declaration, which says what the program makes of the column's values (a date,
    // a yes/no, a width) and how it compares them; a single space for a column the file leaves
    // untyped, since an empty comment is none.
    QString comment(const QString& table) const
    {
        QString text = declared + (noCase ? QString(kNoCaseMark) : QString());
        return "COMMENT ON COLUMN " + quoted(table) + '.' + quoted(name) + " IS '"
               + (text.isEmpty() ? QString(" ") : text.replace('\'', "''")) + "'";
    }
};

// A column of the file's CREATE TABLE: "name" TYPE(n) COLLATE ... CONSTRAINT ... CHECK (...).
ColumnDefinition column(const QString& definition)
{
    static const QRegularExpression head(R"re(^"((?:[^"]|"")+)"\s*(.*)$)re", QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression type(
        R"re(^((?:(?!COLLATE\b|CONSTRAINT\b|CHECK\b|PRIMARY\b|NOT\b|NULL\b|DEFAULT\b|UNIQUE\b|REFERENCES\b)[A-Za-z]+\s*)*(?:\(\s*\d+(?:\s*,\s*\d+)?\s*\))?)\s*(.*)$)re",
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression nocase(R"re(\s*COLLATE\s+NOCASE\b)re", QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression key(R"re(\bPRIMARY\s+KEY(\s+AUTOINCREMENT)?\b)re", QRegularExpression::CaseInsensitiveOption);
    ColumnDefinition c;
    const auto h = head.match(definition);
    c.name = h.captured(1).replace("\"\"", "\"");
    const auto t = type.match(h.captured(2));
    c.declared = t.captured(1).simplified().replace(" (", "(");
    QString rest = t.captured(2);
    c.noCase = nocase.match(rest).hasMatch();
    rest.remove(nocase);
    const QString upper = c.declared.toUpper();
    // The file's values keep their kind whatever the declaration; the server's types are the ones
    // that hold every value the program stores in such a column: integers of 64 bits, dates and
    // names as text.
    QString serverType = "text";
    if (upper.contains("INT") || upper.startsWith("BOOL"))
        serverType = "bigint";
    else if (upper.contains("REAL") || upper.contains("FLOA") || upper.contains("DOUB"))
        serverType = "double precision";
    else if (upper.contains("BLOB"))
        serverType = "bytea";
    if (key.match(rest).hasMatch() && upper == "INTEGER") {
        // The file numbers such a key itself when a row comes without one.
        rest.replace(key, "PRIMARY KEY");
        serverType = "bigint GENERATED BY DEFAULT AS IDENTITY";
        c.integerKey = true;
    }
    c.server = quoted(c.name) + ' ' + serverType + (rest.trimmed().isEmpty() ? QString() : ' ' + shortenConstraints(rest.trimmed()));
    return c;
}

QStringList createTable(const QString& statement)
{
    static const QRegularExpression create(R"re(^CREATE\s+TABLE\s+"((?:[^"]|"")+)"\s*\((.*)\)\s*;?\s*$)re",
                                           QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto m = create.match(statement.trimmed());
    if (!m.hasMatch())
        return {shortenConstraints(statement)};
    const QString table = m.captured(1).replace("\"\"", "\"");
    QStringList definitions;
    QStringList comments;
    bool hasKey = false;
    for (const QString& part : topLevelParts(m.captured(2))) {
        if (!part.startsWith('"')) { // a constraint of the table
            definitions << shortenConstraints(part);
            hasKey = hasKey || part.contains(QRegularExpression(R"re(^PRIMARY\s+KEY)re", QRegularExpression::CaseInsensitiveOption));
            continue;
        }
        const ColumnDefinition c = column(part);
        definitions << c.server;
        hasKey = hasKey || c.integerKey;
        comments << c.comment(table);
    }
    if (!hasKey)
        definitions << QString("\"%1\" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY").arg(kAddedKey);
    return QStringList{"CREATE TABLE " + quoted(table) + " (\n  " + definitions.join(",\n  ") + "\n)"} + comments;
}

QStringList alterTable(const QString& statement)
{
    static const QRegularExpression add(R"re(^ALTER\s+TABLE\s+"((?:[^"]|"")+)"\s+ADD\s+(?:COLUMN\s+)?("(?:[^"]|"")+".*?)\s*;?\s*$)re",
                                        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto m = add.match(statement.trimmed());
    if (!m.hasMatch())
        return {shortenConstraints(statement)};
    const QString table = m.captured(1).replace("\"\"", "\"");
    const ColumnDefinition c = column(m.captured(2));
    return {"ALTER TABLE " + quoted(table) + " ADD COLUMN " + c.server, c.comment(table)};
}

} // namespace

QStringList schemaStatements(const QString& sqliteStatement)
{
    const QString s = sqliteStatement.trimmed();
    auto starts = [&](const char* words) {
        return s.startsWith(QLatin1String(words), Qt::CaseInsensitive);
    };
    if (starts("PRAGMA"))
        return {}; // the file's own settings
    if (starts("CREATE TRIGGER")) {
        // The file's triggers keep the change log of People, which the server keeps in its own way.
        if (s.contains("\"PeopleChanges\""))
            return {};
        return {s}; // no other kind is in the schema; the server says so if it cannot take it
    }
    if (starts("CREATE TABLE")) {
        QStringList out = createTable(s);
        if (s.contains("\"PeopleChanges\"", Qt::CaseSensitive) && starts("CREATE TABLE \"PeopleChanges\""))
            out << changeLog();
        return out;
    }
    if (starts("ALTER TABLE"))
        return alterTable(s);
    QString out = s;
    if (out.endsWith(';'))
        out.chop(1);
    return {out};
}

namespace {
QString logFunction()
{
    const QString lock = QString::number(kWriteLock);
    return
        // The lock is taken before the log's number: numbers are given in the order the writers
        // commit, so a reader that has seen number N will never later find a smaller one.
        "CREATE OR REPLACE FUNCTION \"vantrel_log_people\"() RETURNS trigger LANGUAGE plpgsql AS $$\n"
        "DECLARE last bigint;\n"
        "BEGIN\n"
        "  PERFORM pg_advisory_xact_lock(" + lock + ");\n"
        "  IF TG_OP = 'INSERT' THEN\n"
        "    INSERT INTO \"PeopleChanges\" (\"PersonID\") VALUES (NEW.\"PersonID\") RETURNING \"Seq\" INTO last;\n"
        "  ELSIF TG_OP = 'UPDATE' THEN\n"
        "    IF NEW.\"PersonID\" IS DISTINCT FROM OLD.\"PersonID\" THEN\n"
        "      INSERT INTO \"PeopleChanges\" (\"PersonID\") VALUES (NEW.\"PersonID\");\n"
        "    END IF;\n"
        "    INSERT INTO \"PeopleChanges\" (\"PersonID\") VALUES (OLD.\"PersonID\") RETURNING \"Seq\" INTO last;\n"
        "  ELSE\n"
        "    INSERT INTO \"PeopleChanges\" (\"PersonID\") VALUES (OLD.\"PersonID\") RETURNING \"Seq\" INTO last;\n"
        "  END IF;\n"
        // The oldest entries go a thousand at a time: a search of the log for each row written
        // would make a load of many rows slower with every row.
        "  IF last % 1000 = 0 THEN\n"
        "    DELETE FROM \"PeopleChanges\" WHERE \"Seq\" <= last - 20000;\n"
        "  END IF;\n"
        "  RETURN NULL;\n"
        "END $$";
}
} // namespace

QStringList changeLog()
{
    const QString lock = QString::number(kWriteLock);
    return {
        // The commits counter, moved by every write of every table. It is read, never trusted
        // from a sequence: a number a sequence gave out may belong to a commit still to come.
        "CREATE TABLE \"DataVersion\" (\"Version\" bigint NOT NULL)",
        "INSERT INTO \"DataVersion\" (\"Version\") VALUES (0)",
        "CREATE FUNCTION \"vantrel_note_write\"() RETURNS trigger LANGUAGE plpgsql AS $$\n"
        "BEGIN\n"
        "  PERFORM pg_advisory_xact_lock(" + lock + ");\n"
        // Once per transaction: a load of many rows does not write the counter for each.
        "  IF current_setting('vantrel.noted', true) IS DISTINCT FROM txid_current()::text THEN\n"
        "    UPDATE \"DataVersion\" SET \"Version\" = \"Version\" + 1;\n"
        "    PERFORM set_config('vantrel.noted', txid_current()::text, true);\n"
        "    PERFORM pg_notify('" + QString(kChangeChannel) + "', '');\n"
        "  END IF;\n"
        "  RETURN NULL;\n"
        "END $$",
        logFunction(),
        "CREATE TRIGGER \"PeopleInsertLog\" AFTER INSERT ON \"People\" FOR EACH ROW EXECUTE FUNCTION \"vantrel_log_people\"()",
        "CREATE TRIGGER \"PeopleUpdateLog\" AFTER UPDATE ON \"People\" FOR EACH ROW EXECUTE FUNCTION \"vantrel_log_people\"()",
        "CREATE TRIGGER \"PeopleDeleteLog\" AFTER DELETE ON \"People\" FOR EACH ROW EXECUTE FUNCTION \"vantrel_log_people\"()",
    };
}

QString foldedAZ(const QString& text)
{
    return QString("(translate(CAST(%1 AS text), '%2', '%3') COLLATE \"C\")").arg(text, kFoldFrom, kFoldTo);
}

QStringList finish(const QString& group)
{
    // Moves a table's numbering past the highest key a statement inserted, never back.
    const QString followKeys =
        // As its owner: the users' group may take numbers, not set them.
        "CREATE OR REPLACE FUNCTION \"vantrel_follow_keys\"() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
        "SET search_path FROM CURRENT AS $$\n"
        "DECLARE top bigint; seq text; last bigint; called boolean;\n"
        "BEGIN\n"
        "  EXECUTE format('SELECT max(%I) FROM added', TG_ARGV[0]) INTO top;\n"
        "  IF top IS NULL THEN RETURN NULL; END IF;\n"
        "  seq := pg_get_serial_sequence(quote_ident(TG_TABLE_NAME), TG_ARGV[0]);\n"
        "  EXECUTE format('SELECT last_value, is_called FROM %s', seq) INTO last, called;\n"
        "  IF top > last OR (top = last AND NOT called) THEN\n"
        "    PERFORM setval(seq, top, true);\n"
        "  END IF;\n"
        "  RETURN NULL;\n"
        "END $$";
    const QString role = quoted(group);
    const QString literal = '\'' + QString(group).replace('\'', "''") + '\'';
    // As foldedAZ() writes it, made by the server for a column's name.
    const QString folded = QString("format('(translate(CAST(%I AS text), %L, %L) COLLATE \"C\")', a.attname, '%1', '%2')")
                               .arg(kFoldFrom, kFoldTo);
    return {
        // A server made by an earlier version takes the log's present form.
        logFunction(),
        // A column the file leaves untyped keeps a value as it came, a copy of another table's
        // (the trash's): here it takes the type of the typed column of that name elsewhere, so
        // that its values compare with and go back into the original's.
        "DO $$\n"
        "DECLARE c record;\n"
        "BEGIN\n"
        "  FOR c IN SELECT DISTINCT ON (u.attrelid, u.attnum) ut.relname AS tname, u.attname AS name,\n"
        "      format_type(s.atttypid, s.atttypmod) AS type\n"
        "    FROM pg_attribute u JOIN pg_class ut ON ut.oid = u.attrelid\n"
        "    JOIN pg_attribute s ON s.attname = u.attname AND s.attrelid <> u.attrelid AND s.attnum > 0 AND NOT s.attisdropped\n"
        "    JOIN pg_class st ON st.oid = s.attrelid AND st.relkind = 'r' AND st.relnamespace = ut.relnamespace\n"
        "    WHERE ut.relnamespace = (SELECT oid FROM pg_namespace WHERE nspname = current_schema()) AND ut.relkind = 'r'\n"
        "      AND u.attnum > 0 AND NOT u.attisdropped AND u.atttypid = 'text'::regtype\n"
        "      AND btrim(coalesce(col_description(u.attrelid, u.attnum), '')) = ''\n"
        "      AND btrim(coalesce(col_description(s.attrelid, s.attnum), '')) <> '' AND s.atttypid <> 'text'::regtype\n"
        "    ORDER BY u.attrelid, u.attnum, s.attrelid LOOP\n"
        "    EXECUTE format('ALTER TABLE %I ALTER COLUMN %I TYPE %s USING %I::%s', c.tname, c.name, c.type, c.name, c.type);\n"
        "  END LOOP;\n"
        "END $$",
        // The indexes over columns the file compares by NOCASE are made again on the folded text,
        // which the statements compare and order by (the file's own indexes are NOCASE already).
        // Under the same names: the schema's description stays the file's.
        "DO $$\n"
        "DECLARE i record;\n"
        "BEGIN\n"
        "  FOR i IN SELECT ic.relname AS iname, tc.relname AS tname, max(pg_get_expr(x.indpred, x.indrelid)) AS pred,\n"
        "      string_agg(CASE WHEN col_description(a.attrelid, a.attnum) LIKE '%" + QString(kNoCaseMark) + "' THEN "
            + folded + " ELSE quote_ident(a.attname) END, ', ' ORDER BY k.n) AS cols,\n"
        "      bool_or(col_description(a.attrelid, a.attnum) LIKE '%" + QString(kNoCaseMark) + "') AS folds\n"
        "    FROM pg_index x JOIN pg_class ic ON ic.oid = x.indexrelid JOIN pg_class tc ON tc.oid = x.indrelid\n"
        "    CROSS JOIN LATERAL unnest(x.indkey) WITH ORDINALITY AS k(attnum, n)\n"
        "    JOIN pg_attribute a ON a.attrelid = x.indrelid AND a.attnum = k.attnum\n"
        "    WHERE tc.relnamespace = (SELECT oid FROM pg_namespace WHERE nspname = current_schema())\n"
        "      AND x.indexprs IS NULL AND NOT EXISTS (SELECT 1 FROM pg_constraint k WHERE k.conindid = x.indexrelid)\n"
        "    GROUP BY ic.relname, tc.relname LOOP\n"
        "    IF i.folds THEN\n"
        "      EXECUTE format('DROP INDEX %I', i.iname);\n"
        "      EXECUTE format('CREATE INDEX %I ON %I (%s)', i.iname, i.tname, i.cols) || coalesce(' WHERE ' || i.pred, '');\n"
        "    END IF;\n"
        "  END LOOP;\n"
        "END $$",
        followKeys,
        // Every table's writes move the commits counter, the tables an upgrade added included (the
        // change log's are People's).
        "DO $$\n"
        "DECLARE t record; seq text; top bigint; last bigint; called boolean;\n"
        "BEGIN\n"
        "  FOR t IN SELECT c.relname FROM pg_class c WHERE c.relnamespace = (SELECT oid FROM pg_namespace WHERE nspname = current_schema())\n"
        "      AND c.relkind = 'r' AND c.relname NOT IN ('DataVersion', 'SchemaVersion', 'PeopleChanges') LOOP\n"
        "    EXECUTE format('CREATE OR REPLACE TRIGGER %I AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON %I "
        "FOR EACH STATEMENT EXECUTE FUNCTION \"vantrel_note_write\"()', t.relname || 'Version', t.relname);\n"
        "  END LOOP;\n"
        // The rows the script wrote with their own keys: the numbering goes on after them. So it
        // does after rows another program writes with keys of its own, as the file's numbering
        // goes on after the highest key. Never back: a deleted person's number, still named by
        // her history and her trash entry, is never given to another when this is run again.
        "  FOR t IN SELECT c.relname, a.attname FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid\n"
        "      WHERE c.relnamespace = (SELECT oid FROM pg_namespace WHERE nspname = current_schema()) AND a.attidentity <> '' LOOP\n"
        "    seq := pg_get_serial_sequence(quote_ident(t.relname), t.attname);\n"
        "    EXECUTE format('SELECT last_value, is_called FROM %s', seq) INTO last, called;\n"
        "    EXECUTE format('SELECT coalesce(max(%I), 0) FROM %I', t.attname, t.relname) INTO top;\n"
        "    PERFORM setval(seq, greatest(top + 1, CASE WHEN called THEN last + 1 ELSE last END), false);\n"
        // Not the change log's: its numbers come from its numbering alone, and a check of its
        // numbering for each row a write logs would cost more than the write.
        "    IF t.relname = 'PeopleChanges' THEN\n"
        "      DROP TRIGGER IF EXISTS \"PeopleChangesKeys\" ON \"PeopleChanges\";\n"
        "    ELSE\n"
        "      EXECUTE format('CREATE OR REPLACE TRIGGER %I AFTER INSERT ON %I REFERENCING NEW TABLE AS added '\n"
        "        'FOR EACH STATEMENT EXECUTE FUNCTION \"vantrel_follow_keys\"(%L)', t.relname || 'Keys', t.relname, t.attname);\n"
        "    END IF;\n"
        "  END LOOP;\n"
        "END $$",
        // The users' group: they read and write the data, and nothing else. The schema and its
        // version stay the administrator's.
        "DO $$\n"
        "BEGIN\n"
        "  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = " + literal + ") THEN\n"
        "    CREATE ROLE " + role + " NOLOGIN;\n"
        "  END IF;\n"
        "END $$",
        "REVOKE CREATE ON SCHEMA public FROM PUBLIC",
        "GRANT USAGE ON SCHEMA public TO " + role,
        "GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO " + role,
        "REVOKE INSERT, UPDATE, DELETE ON \"SchemaVersion\" FROM " + role,
        "GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO " + role,
    };
}

} // namespace PgSql

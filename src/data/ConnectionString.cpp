#include "ConnectionString.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QRegularExpression>
#include <QStringList>

#include <cstring>

namespace ConnectionString {
namespace {
// The keywords libpq 15 and 16 take. A misspelt one would only be refused by the server's client
// at start-up; here it is refused when the file is written or read, with its name.
const QSet<QString>& keywords()
{
    static const QSet<QString> k = {
        "host", "hostaddr", "port", "dbname", "user", "passfile", "channel_binding", "connect_timeout",
        "client_encoding", "options", "application_name", "fallback_application_name", "keepalives",
        "keepalives_idle", "keepalives_interval", "keepalives_count", "tcp_user_timeout", "replication",
        "gssencmode", "sslmode", "requiressl", "sslcompression", "sslcert", "sslkey", "sslrootcert", "sslcrl",
        "sslcrldir", "sslsni", "requirepeer", "ssl_min_protocol_version", "ssl_max_protocol_version",
        "krbsrvname", "gsslib", "gssdelegation", "service", "target_session_attrs", "load_balance_hosts",
        "sslcertmode", "require_auth",
        // Refused below, by name: secrets never go into the file.
        "password", "sslpassword"};
    return k;
}

QString checked(const QList<Parameter>& parameters)
{
    for (const Parameter& p : parameters) {
        if (p.first == "password" || p.first == "sslpassword")
            return QString("It holds a password (%1). Vantrel.connection must hold none: put the password in the "
                           ".pgpass file of each user, or let Vantrel ask for it at start-up.")
                .arg(p.first);
        if (!keywords().contains(p.first))
            return QString("\"%1\" is not a setting of a PostgreSQL connection.").arg(p.first);
    }
    return {};
}

bool percentDecode(const QString& text, QString* out)
{
    QByteArray bytes;
    const QByteArray utf8 = text.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '%') {
            bytes += utf8[i];
            continue;
        }
        bool ok = false;
        const int v = i + 2 < utf8.size() ? utf8.mid(i + 1, 2).toInt(&ok, 16) : 0;
        if (!ok || v == 0)
            return false;
        bytes += char(v);
        i += 2;
    }
    *out = QString::fromUtf8(bytes);
    return true;
}

Parsed parseUri(const QString& text, qsizetype prefix)
{
    Parsed r;
    const QString rest = text.mid(prefix);
    qsizetype end = rest.indexOf(QRegularExpression("[/?]"));
    if (end < 0)
        end = rest.size();
    QString authority = rest.left(end);
    QString tail = rest.mid(end);
    auto decode = [&](const QString& part, QString* out) {
        if (percentDecode(part, out))
            return true;
        r.error = QString("\"%1\" holds a broken %-escape.").arg(part);
        return false;
    };
    if (const qsizetype at = authority.lastIndexOf('@'); at >= 0) {
        const QString userinfo = authority.left(at);
        authority = authority.mid(at + 1);
        if (userinfo.contains(':')) {
            r.error = checked({{"password", {}}});
            return r;
        }
        QString user;
        if (!decode(userinfo, &user))
            return r;
        if (!user.isEmpty())
            r.parameters << Parameter{"user", user};
    }
    QStringList hosts, ports;
    bool anyPort = false;
    for (const QString& address : authority.split(',')) {
        QString host = address, port;
        if (host.startsWith('[')) {
            const qsizetype close = host.indexOf(']');
            if (close < 0) {
                r.error = QString("The address \"%1\" lacks its closing \"]\".").arg(address);
                return r;
            }
            port = host.mid(close + 1);
            host = host.mid(1, close - 1);
            if (!port.isEmpty() && !port.startsWith(':')) {
                r.error = QString("Unexpected text after the address \"%1\".").arg(address);
                return r;
            }
            port = port.mid(1);
        } else if (const qsizetype colon = host.indexOf(':'); colon >= 0) {
            port = host.mid(colon + 1);
            host = host.left(colon);
        }
        QString decodedHost;
        if (!decode(host, &decodedHost))
            return r;
        hosts << decodedHost;
        ports << port;
        anyPort = anyPort || !port.isEmpty();
    }
    if (hosts.size() > 1 || !hosts.value(0).isEmpty())
        r.parameters << Parameter{"host", hosts.join(',')};
    if (anyPort)
        r.parameters << Parameter{"port", ports.join(',')};
    QString query;
    if (tail.startsWith('/')) {
        const qsizetype q = tail.indexOf('?');
        QString db;
        if (!decode(q < 0 ? tail.mid(1) : tail.mid(1, q - 1), &db))
            return r;
        if (!db.isEmpty())
            r.parameters << Parameter{"dbname", db};
        query = q < 0 ? QString() : tail.mid(q + 1);
    } else if (tail.startsWith('?')) {
        query = tail.mid(1);
    }
    for (const QString& pair : query.split('&', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf('=');
        if (eq <= 0) {
            r.error = QString("\"%1\" in the address is no setting=value.").arg(pair);
            return r;
        }
        QString key, value;
        if (!decode(pair.left(eq), &key) || !decode(pair.mid(eq + 1), &value))
            return r;
        r.parameters << Parameter{key, value};
    }
    r.error = checked(r.parameters);
    return r;
}

// As libpq reads keyword=value: spaces around "=" allowed, a value either quoted or up to the next
// space, a backslash taking the next character as it is.
Parsed parsePairs(const QString& text)
{
    Parsed r;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipSpace = [&] {
        while (i < n && text[i].isSpace())
            ++i;
    };
    for (;;) {
        skipSpace();
        if (i >= n)
            break;
        const qsizetype start = i;
        while (i < n && !text[i].isSpace() && text[i] != '=')
            ++i;
        const QString key = text.mid(start, i - start);
        skipSpace();
        if (i >= n || text[i] != '=') {
            r.error = QString("\"=\" is missing after \"%1\".").arg(key);
            return r;
        }
        ++i;
        skipSpace();
        QString value;
        if (i < n && text[i] == '\'') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (text[i] == '\\' && i + 1 < n) {
                    value += text[i + 1];
                    i += 2;
                } else if (text[i] == '\'') {
                    ++i;
                    closed = true;
                    break;
                } else {
                    value += text[i++];
                }
            }
            if (!closed) {
                r.error = QString("The value of \"%1\" lacks its closing quote.").arg(key);
                return r;
            }
        } else {
            while (i < n && !text[i].isSpace()) {
                if (text[i] == '\\' && i + 1 < n)
                    ++i;
                value += text[i++];
            }
        }
        r.parameters << Parameter{key, value};
    }
    r.error = checked(r.parameters);
    return r;
}
} // namespace

QString Parsed::value(const QString& keyword) const
{
    for (qsizetype i = parameters.size() - 1; i >= 0; --i)
        if (parameters[i].first == keyword)
            return parameters[i].second;
    return {};
}

Parsed parse(const QString& text)
{
    const QString t = text.trimmed();
    for (const char* prefix : {"postgresql://", "postgres://"})
        if (t.startsWith(QLatin1String(prefix)))
            return parseUri(t, qsizetype(strlen(prefix)));
    Parsed r = parsePairs(t);
    if (r.ok() && r.parameters.isEmpty())
        r.error = "It names no server.";
    return r;
}

QString quoted(const QString& value)
{
    bool plain = !value.isEmpty();
    for (QChar c : value)
        plain = plain && !c.isSpace() && c != '\'' && c != '\\';
    if (plain)
        return value;
    QString q = value;
    q.replace('\\', "\\\\").replace('\'', "\\'");
    return '\'' + q + '\'';
}

QString compose(const QList<Parameter>& parameters)
{
    QStringList pairs;
    for (const Parameter& p : parameters)
        if (!p.second.isEmpty())
            pairs << p.first + '=' + quoted(p.second);
    return pairs.join(' ');
}

const QStringList& sslModes()
{
    static const QStringList modes = {"disable", "allow", "prefer", "require", "verify-ca", "verify-full"};
    return modes;
}

File read(const QString& path)
{
    File f;
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.exists() && !QFileInfo(path).isSymLink())
        return f;
    f.exists = true;
    if (!file.open(QIODevice::ReadOnly)) {
        f.parsed.error = QString("%1 cannot be read: %2.").arg(shown, file.errorString());
        return f;
    }
    // A connection string is short; anything longer is no such file.
    const QByteArray bytes = file.read(64 * 1024);
    for (const QString& line : QString::fromUtf8(bytes).split('\n')) {
        const QString l = line.trimmed();
        if (!l.isEmpty() && !l.startsWith('#')) {
            f.text = l;
            break;
        }
    }
    if (f.text.isEmpty()) {
        f.parsed.error = QString("%1 holds no connection string.").arg(shown);
        return f;
    }
    f.parsed = parse(f.text);
    if (!f.parsed.ok())
        f.parsed.error = QString("%1 cannot be used. %2").arg(shown, f.parsed.error);
    return f;
}

bool write(const QString& path, const QString& connectionString, QString* error)
{
    const QString shown = QDir::toNativeSeparators(path);
    const Parsed parsed = parse(connectionString);
    if (!parsed.ok()) {
        *error = QString("%1 was not written. %2").arg(shown, parsed.error);
        return false;
    }
    QSaveFile file(path);
    const QByteArray text = "# The team database Vantrel opens instead of Vantrel.vt. No password here: each user's\n"
                            "# .pgpass gives it, or Vantrel asks for it at start-up.\n"
                            + connectionString.trimmed().toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        *error = QString("%1 could not be written: %2.").arg(shown, file.errorString());
        return false;
    }
    return true;
}

bool remove(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.exists() && !QFileInfo(path).isSymLink())
        return true;
    if (!file.remove()) {
        *error = QString("%1 could not be removed: %2.").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

} // namespace ConnectionString

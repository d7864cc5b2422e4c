#pragma once
#include <QString>

// One try of a team database's connection string, for the settings' "Test connection": connects,
// looks whether the database holds the people and whether this login may change them, and
// disconnects. What went wrong is told in the server's terms. The password, when one is given,
// is used for this try only, and no message ever shows it.
namespace PgProbe {

enum class Outcome {
    Connected,      // the message also says whether the tables are there and may be written
    Unreachable,    // no server answered at that address (with the host and the reason)
    PasswordNeeded, // the server asks for a password that .pgpass does not give
    WrongPassword,  // the server refused the password
    NoDatabase,     // the server has no database of that name
    NoRights,       // the login may not connect to that database, or is unknown there
    Refused,        // anything else the server or the TLS set-up refused, in its words
};

struct Result {
    Outcome outcome = Outcome::Refused;
    QString message; // for the user
    bool ok() const { return outcome == Outcome::Connected; }
};

// Blocks until the server answers, or connect_timeout (10 seconds unless the string sets one);
// a server that lets the login in and then stops answering is not waited for longer than the
// store would wait.
Result probe(const QString& connectionString, const QString& password = {});

} // namespace PgProbe

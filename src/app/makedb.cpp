// Build step: puts the delivered database beside the program when no file is there yet. With
// --server, makes or upgrades the schema of a team database on a database server instead.
#include "data/Schema.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArrayView(argv[1]) == "--server") {
        // The password, when the server asks for one, comes from libpq's own sources (the
        // password file, PGPASSWORD): never from the command line, where others could read it.
        QString done, error;
        if (!Schema::makeServerDatabase(QString::fromLocal8Bit(argv[2]), &done, &error)) {
            std::fprintf(stderr, "vantrel-makedb: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("%s. Members of the role %s may read and write its data.\n", qPrintable(done),
                    qPrintable(Schema::kServerGroup));
        return 0;
    }
    const QString path = argc == 2 ? QString::fromLocal8Bit(argv[1]) : QString();
    // An option is no file name: "--help" would otherwise become a database called --help.
    if (path.isEmpty() || path.startsWith('-')) {
        std::fprintf(stderr, "usage: vantrel-makedb PATH\n"
                             "       vantrel-makedb --server CONNECTION\n"
                             "Makes the delivered Vantrel database at PATH, unless a file is already there; or makes\n"
                             "or upgrades the schema of the team database on the server that CONNECTION names\n"
                             "(\"host=... dbname=... user=...\" or postgresql://...), with the group role\n"
                             "vantrel_users whose members may read and write its data.\n");
        return path == "--help" || path == "-h" ? 0 : 2;
    }
    if (QFileInfo::exists(path))
        return 0; // never replace a user's database
    QString error;
    if (!Schema::createDatabase(path, &error)) {
        std::fprintf(stderr, "vantrel-makedb: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("Created %s\n", qPrintable(path));
    return 0;
}

// Build step: puts the delivered database beside the program when no file is there yet.
#include "data/Schema.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString path = argc == 2 ? QString::fromLocal8Bit(argv[1]) : QString();
    // An option is no file name: "--help" would otherwise become a database called --help.
    if (path.isEmpty() || path.startsWith('-')) {
        std::fprintf(stderr, "usage: vantrel-makedb PATH\n"
                             "Makes the delivered Vantrel database at PATH, unless a file is already there.\n");
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

// Build step: puts the delivered database beside the program when no file is there yet.
#include "data/Schema.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantrel-makedb PATH\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
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

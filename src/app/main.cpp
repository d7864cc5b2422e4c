#include "app/Program.h"
#include "app/SingleInstance.h"
#include "app/VantrelApplication.h"
#include "platform/AppPaths.h"

#include <QCommandLineParser>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv)
{
    VantrelApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(VANTREL_VERSION);
    QCommandLineParser options;
    options.setApplicationDescription("Vantrel keeps the people you sell to, with a profile of each, reminders and "
                                      "follow-ups.");
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption secondCopy("second-copy", "Open a window of its own even when Vantrel already runs on "
                                                       "the same database.");
    options.addOption(secondCopy);
    options.process(app);

    Program::setUpApplication();
    SingleInstance instance(AppPaths::databasePath());
    if (instance.handOver(options.isSet(secondCopy))) {
        std::fprintf(stderr, "Vantrel already runs on %s: its window was brought to the front. Start it with "
                             "--second-copy for another window on the same file.\n",
                     qPrintable(QDir::toNativeSeparators(AppPaths::databasePath())));
        return 0;
    }
    Program program;
    QObject::connect(&instance, &SingleInstance::frontRequested,
                     [&program](const QByteArray& token) { program.bringToFront(token); });
    if (!program.start())
        return program.exitCode();
    return program.exec();
}

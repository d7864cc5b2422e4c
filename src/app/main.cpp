#include "app/Program.h"
#include "app/SingleInstance.h"
#include "app/StartupFeedback.h"
#include "app/VantrelApplication.h"
#include "platform/AppPaths.h"

#include <QCommandLineParser>
#include <QDir>

#include <cstdio>

namespace {
// --help and --version print and end; they need no display, so they are answered before the
// window system is asked for one.
bool asksForText(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "-h" || a == "--help" || a == "-?" || a == "-v" || a == "--version" || a == "--help-all")
            return true;
    }
    return false;
}

void describe(QCommandLineParser& options, const QCommandLineOption& secondCopy)
{
    options.setApplicationDescription("Vantrel keeps the people you sell to, with a profile of each, reminders and "
                                      "follow-ups.");
    options.addHelpOption();
    options.addVersionOption();
    options.addOption(secondCopy);
}
} // namespace

int main(int argc, char** argv)
{
    const QCommandLineOption secondCopy("second-copy", "Open a window of its own even when Vantrel already runs on "
                                                       "the same database.");
    if (asksForText(argc, argv)) {
        QCoreApplication text(argc, argv);
        QCoreApplication::setApplicationVersion(VANTREL_VERSION);
        QCommandLineParser options;
        describe(options, secondCopy);
        options.process(text); // prints and ends
        return 0;
    }
    const QByteArray startupId = StartupFeedback::takeId();
    VantrelApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(VANTREL_VERSION);
    QCommandLineParser options;
    describe(options, secondCopy);
    options.process(app);

    Program::setUpApplication();
    SingleInstance instance(AppPaths::databasePath());
    if (instance.handOver(options.isSet(secondCopy))) {
        StartupFeedback::complete(startupId);
        std::fprintf(stderr, "Vantrel already runs on %s: its window was brought to the front. Start it with "
                             "--second-copy for another window on the same data.\n",
                     qPrintable(AppPaths::dataDescription()));
        return 0;
    }
    Program program;
    QObject::connect(&instance, &SingleInstance::frontRequested,
                     [&program](const QByteArray& token) { program.bringToFront(token); });
    if (!program.start())
        return program.exitCode();
    return program.exec();
}

#include "app/Program.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Program::setUpApplication();
    Program program;
    if (!program.start())
        return program.exitCode();
    return program.exec();
}

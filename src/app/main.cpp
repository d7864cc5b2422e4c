#include "app/Program.h"
#include "app/VantrelApplication.h"

int main(int argc, char** argv)
{
    VantrelApplication app(argc, argv);
    Program::setUpApplication();
    Program program;
    if (!program.start())
        return program.exitCode();
    return program.exec();
}

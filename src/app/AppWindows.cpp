#include "AppWindows.h"

AppWindows& appWindows()
{
    static AppWindows w;
    return w;
}

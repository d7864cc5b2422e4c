#include "ErrorDisplay.h"

#include "MessageBox.h"
#include "data/DataError.h"

bool runCommand(const std::function<void()>& command)
{
    try {
        command();
        return true;
    } catch (const Abort&) {
    } catch (const DataError& e) {
        MessageBox::show(MessageBox::Icon::Error, e.text());
    } catch (const std::exception& e) {
        MessageBox::show(MessageBox::Icon::Error, QString::fromStdString(e.what()));
    }
    return false;
}

bool runQuietly(const std::function<void()>& step)
{
    try {
        step();
        return true;
    } catch (const Abort&) {
    } catch (const std::exception&) {
    }
    return false;
}

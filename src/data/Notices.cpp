#include "Notices.h"

#include <QDebug>

namespace Notices {
namespace {
Presenter& presenter()
{
    static Presenter p;
    return p;
}
} // namespace

void install(Presenter p) { presenter() = std::move(p); }

void warn(const QString& text)
{
    if (presenter().warn)
        presenter().warn(text);
    else
        qWarning().noquote() << text;
}

void refuse(const QString& text)
{
    if (presenter().refuse)
        presenter().refuse(text);
    else
        qWarning().noquote() << text;
}

bool ask(const Question& question)
{
    if (presenter().ask)
        return presenter().ask(question);
    qWarning().noquote() << question.text << "(answered No: nobody to ask)";
    return false;
}

} // namespace Notices

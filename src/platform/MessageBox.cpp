#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace MessageBox {
namespace {
Handler& handler()
{
    static Handler h;
    return h;
}

QString caption(Icon icon)
{
    switch (icon) {
    case Icon::Information: return QStringLiteral("Information");
    case Icon::Warning: return QStringLiteral("Warning");
    case Icon::Error: return QStringLiteral("Error");
    case Icon::Stop: return QStringLiteral("Vantrel (Belcarre)");
    }
    return {};
}

QPushButton* addButton(QMessageBox& box, Button b)
{
    switch (b) {
    case Button::Ok: return box.addButton(QMessageBox::Ok);
    case Button::Yes: return box.addButton(QMessageBox::Yes);
    case Button::No: return box.addButton(QMessageBox::No);
    case Button::YesToAll: return box.addButton(QMessageBox::YesToAll);
    case Button::Cancel: return box.addButton(QMessageBox::Cancel);
    case Button::None: break;
    }
    return nullptr;
}
} // namespace

void setHandler(Handler h) { handler() = std::move(h); }

Button show(Icon icon, const QString& text)
{
    Request r;
    r.icon = icon;
    r.text = text;
    return show(r);
}

Button show(const Request& request)
{
    if (handler())
        return handler()(request);
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption(request.icon));
    box.setText(request.text);
    box.setIcon(request.icon == Icon::Information ? QMessageBox::Information
                : request.icon == Icon::Warning   ? QMessageBox::Warning
                                                  : QMessageBox::Critical);
    QList<QPair<QPushButton*, Button>> made;
    for (Button b : request.buttons) {
        QPushButton* p = addButton(box, b);
        p->setAutoDefault(false);
        made << qMakePair(p, b);
        if (b == request.defaultButton)
            box.setDefaultButton(p);
        if (b == request.escapeButton)
            box.setEscapeButton(p);
    }
    box.exec();
    for (const auto& m : made)
        if (box.clickedButton() == m.first)
            return m.second;
    return request.escapeButton;
}

} // namespace MessageBox

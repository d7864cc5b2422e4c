#pragma once
#include <QList>
#include <QString>

#include <functional>

class QWidget;

// Every message to the user goes through here, so tests can read it and give the answer.
namespace MessageBox {

enum class Icon { Information, Warning, Error, Stop };
enum class Button { None, Ok, Yes, No, YesToAll, Cancel };

struct Request {
    Icon icon = Icon::Information;
    QString text;
    QList<Button> buttons{Button::Ok};
    Button defaultButton = Button::Ok; // Button::None: no default button
    Button escapeButton = Button::Ok;
};

using Handler = std::function<Button(const Request&)>;

Button show(const Request& request);
Button show(Icon icon, const QString& text);
void setHandler(Handler handler); // an empty handler restores the real message box

} // namespace MessageBox

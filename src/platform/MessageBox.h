#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// Every message to the user goes through here, so tests can read it and give the answer.
namespace MessageBox {

enum class Icon { Information, Warning, Error, Stop };
enum class Button { None, Ok, Yes, No, YesToAll, Cancel, UndoImport };

struct Request {
    Icon icon = Icon::Information;
    QString text;
    QList<Button> buttons{Button::Ok};  // shown left to right in this order
    Button defaultButton = Button::Ok; // Button::None: no default button
    Button escapeButton = Button::Ok;  // Escape and the close box; Button::None: neither answers
    QString caption;                    // empty: the caption that goes with the icon
    QStringList texts;                  // the buttons' own captions, in their order; none: the usual ones
};

using Handler = std::function<Button(const Request&)>;

Button show(const Request& request);
Button show(Icon icon, const QString& text);
void setHandler(Handler handler); // an empty handler restores the real message box

QString captionFor(const Request& request);
QString buttonText(Button button);

} // namespace MessageBox

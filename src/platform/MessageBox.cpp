#include "MessageBox.h"

#include "FocusFrame.h"
#include "data/Notices.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace MessageBox {
namespace {
// What a title bar takes besides its caption: the window's icon, its buttons and their spacing.
constexpr int kTitleBarRoom = 140;

Handler& handler()
{
    static Handler h;
    return h;
}

QString nameOf(Button b)
{
    switch (b) {
    case Button::Ok: return QStringLiteral("OK");
    case Button::Yes: return QStringLiteral("Yes");
    case Button::No: return QStringLiteral("No");
    case Button::YesToAll: return QStringLiteral("YesToAll");
    case Button::Cancel: return QStringLiteral("Cancel");
    case Button::UndoImport: return QStringLiteral("UndoImport");
    case Button::None: break;
    }
    return {};
}

// Our own box rather than the toolkit's: its button box reorders the buttons by role and, with
// no default button, makes the first one the default. Here the buttons stand in the order asked
// for, Enter and Space press the button that has the focus, and the focus starts on the
// default button or, without one, on the answer that changes nothing.
class Box : public QDialog {
public:
    Box(const Request& request, QWidget* parent) : QDialog(parent), m_escape(request.escapeButton)
    {
        setObjectName("MessageBox");
        setWindowTitle(captionFor(request));
        setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                       | Qt::MSWindowsFixedSizeDialogHint);
        auto* icon = new QLabel(this);
        icon->setObjectName("Icon");
        const QStyle::StandardPixmap pixmap = request.icon == Icon::Information ? QStyle::SP_MessageBoxInformation
                                              : request.icon == Icon::Warning   ? QStyle::SP_MessageBoxWarning
                                                                                : QStyle::SP_MessageBoxCritical;
        const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        icon->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(size, size));
        icon->setAlignment(Qt::AlignTop);
        auto* text = new QLabel(request.text, this);
        text->setObjectName("Text");
        text->setTextFormat(Qt::PlainText);
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // One line where it fits; longer texts wrap at a width that reads well.
        text->setMinimumWidth(qMin(text->fontMetrics().horizontalAdvance(request.text) + 4, 380));
        text->setMaximumWidth(420);

        auto* top = new QHBoxLayout;
        top->setSpacing(14);
        top->addWidget(icon);
        top->addWidget(text, 1);
        auto* row = new QHBoxLayout;
        row->addStretch();
        QPushButton* focus = nullptr;
        for (int i = 0; i < request.buttons.size(); ++i) {
            const Button b = request.buttons[i];
            auto* p = new QPushButton(request.texts.value(i, buttonText(b)), this);
            p->setObjectName(nameOf(b));
            p->setAutoDefault(false); // an auto-default button would become the default as a side effect
            p->setMinimumWidth(75);
            connect(p, &QPushButton::clicked, this, [this, b] { answer(b); });
            row->addWidget(p);
            m_buttons << qMakePair(p, b);
            if (b == request.defaultButton) {
                p->setDefault(true);
                focus = p;
            }
        }
        row->addStretch();
        if (!focus)
            focus = button(request.escapeButton);
        if (!focus && !m_buttons.isEmpty())
            focus = m_buttons.first().first;
        auto* layout = new QVBoxLayout(this);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        // The window manager draws the caption beside its own icon and buttons: a short text
        // gets the width the caption needs, so that it is never cut short.
        const QMargins margins = layout->contentsMargins();
        layout->addStrut(fontMetrics().horizontalAdvance(windowTitle()) + kTitleBarRoom - margins.left()
                         - margins.right());
        layout->setSpacing(16);
        layout->addLayout(top);
        layout->addLayout(row);
        if (focus)
            focus->setFocus();
        // Which button Space and Enter would press shows before any key is pressed.
        FocusFrame::showFromStart(this);
    }

    Button result() const { return m_answer; }

    QPushButton* button(Button b) const
    {
        for (const auto& m : m_buttons)
            if (m.second == b)
                return m.first;
        return nullptr;
    }

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            // Enter presses the button that has the focus, as Space does.
            for (const auto& m : m_buttons) {
                if (m.first->hasFocus()) {
                    m.first->click();
                    return;
                }
            }
            for (const auto& m : m_buttons) {
                if (m.first->isDefault()) {
                    m.first->click();
                    return;
                }
            }
            return;
        }
        if (e->key() == Qt::Key_Escape) {
            reject();
            return;
        }
        // The underlined letter of a button answers with it, with Alt or without, as in the
        // message boxes of other desktop programs.
        if (!(e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) && !e->text().isEmpty()
            && e->text().at(0).isLetterOrNumber()) {
            const QChar typed = e->text().at(0).toLower();
            for (const auto& m : m_buttons) {
                const QString t = m.first->text();
                const qsizetype mark = t.indexOf('&');
                if (mark >= 0 && mark + 1 < t.size() && t.at(mark + 1).toLower() == typed) {
                    m.first->click();
                    return;
                }
            }
        }
        QDialog::keyPressEvent(e);
    }

    void closeEvent(QCloseEvent* e) override
    {
        if (m_escape == Button::None && m_answer == Button::None)
            e->ignore(); // a question without an escape answer must be answered
        else
            QDialog::closeEvent(e);
    }

    void reject() override
    {
        if (m_escape != Button::None)
            answer(m_escape);
    }

private:
    void answer(Button b)
    {
        m_answer = b;
        done(b == m_escape ? QDialog::Rejected : QDialog::Accepted);
    }

    Button m_escape;
    Button m_answer = Button::None;
    QList<QPair<QPushButton*, Button>> m_buttons;
};
} // namespace

QString captionFor(const Request& request)
{
    if (!request.caption.isEmpty())
        return request.caption;
    switch (request.icon) {
    case Icon::Information: return QStringLiteral("Information");
    case Icon::Warning: return QStringLiteral("Warning");
    case Icon::Error: return QStringLiteral("Error");
    case Icon::Stop: return QStringLiteral("Vantrel (Belcarre)");
    }
    return {};
}

QString buttonText(Button button)
{
    switch (button) {
    case Button::Ok: return QStringLiteral("OK");
    case Button::Yes: return QStringLiteral("&Yes");
    case Button::No: return QStringLiteral("&No");
    case Button::YesToAll: return QStringLiteral("Yes to &All");
    case Button::Cancel: return QStringLiteral("Cancel");
    case Button::UndoImport: return QStringLiteral("&Undo this import");
    case Button::None: break;
    }
    return {};
}

void setHandler(Handler h) { handler() = std::move(h); }

namespace {
// The data layer's warnings and questions are message boxes in every program that has them,
// tests included: installed as soon as this file is part of the program.
[[maybe_unused]] const bool kNoticesShown = [] {
    Notices::install({[](const QString& text) { show(Icon::Warning, text); },
                      [](const QString& text) { show(Icon::Error, text); },
                      [](const Notices::Question& q) {
                          Request ask;
                          ask.icon = Icon::Warning;
                          ask.text = q.text;
                          ask.buttons = {Button::Yes, Button::No};
                          ask.defaultButton = q.yesIsDefault ? Button::Yes : Button::No;
                          ask.escapeButton = Button::No;
                          return show(ask) == Button::Yes;
                      }});
    return true;
}();
} // namespace

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
    Box box(request, QApplication::activeWindow());
    box.exec();
    return box.result() == Button::None ? request.escapeButton : box.result();
}

} // namespace MessageBox

#include "StartupFeedback.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstring>

namespace {
xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

// A value of the message, quoted, with its quotes and backslashes escaped.
QByteArray quoted(const QByteArray& value)
{
    QByteArray q = "\"";
    for (char ch : value) {
        if (ch == '"' || ch == '\\')
            q += '\\';
        q += ch;
    }
    return q + '"';
}
} // namespace

namespace StartupFeedback {

QByteArray takeId() { return qgetenv("DESKTOP_STARTUP_ID"); }

void complete(const QByteArray& id)
{
    if (id.isEmpty())
        return;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen)
        return;
    // The messages come from a window of the sender's own, as the desktops expect.
    const xcb_window_t from = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, from, screen->root, -100, -100, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t begin = atom(c, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom(c, "_NET_STARTUP_INFO");
    QByteArray message = "remove: ID=" + quoted(id);
    message.append('\0');
    for (qsizetype at = 0; at < message.size(); at += 20) {
        xcb_client_message_event_t event;
        std::memset(&event, 0, sizeof event);
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = from;
        event.type = at == 0 ? begin : more;
        std::memcpy(event.data.data8, message.constData() + at, size_t(qMin<qsizetype>(20, message.size() - at)));
        xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
    }
    xcb_destroy_window(c, from);
    xcb_flush(c);
}

} // namespace StartupFeedback

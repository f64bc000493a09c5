#include <shell/x11_drops.h>

#include <xcb/xcb.h>

#include <QByteArray>
#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

namespace tabrivo {
namespace {

// The action a position message asks for is its fifth 32-bit value.
constexpr int kActionField = 4;

std::uint32_t internAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (reply == nullptr) {
        return XCB_ATOM_NONE;
    }
    const std::uint32_t atom = reply->atom;
    std::free(reply);  // xcb hands replies over to be freed with free()
    return atom;
}

}  // namespace

bool X11DropsAsCopy::nativeEventFilter(const QByteArray& eventType, void* message,
                                       qintptr* /*result*/) {
    if (eventType != QByteArrayLiteral("xcb_generic_event_t") || message == nullptr) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) {
        return false;
    }
    auto* client = static_cast<xcb_client_message_event_t*>(message);
    std::uint32_t& action = client->data.data32[kActionField];
    if (client->format == 32 && client->type == m_atoms.position && action != XCB_ATOM_NONE) {
        action = m_atoms.copy;
    }
    return false;
}

std::unique_ptr<X11DropsAsCopy> X11DropsAsCopy::installOnX11Display(QGuiApplication& application) {
    auto* x11 = application.nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return nullptr;
    }
    const Atoms atoms{internAtom(x11->connection(), "XdndPosition"),
                      internAtom(x11->connection(), "XdndActionCopy")};
    if (atoms.position == XCB_ATOM_NONE || atoms.copy == XCB_ATOM_NONE) {
        return nullptr;
    }
    auto filter = std::make_unique<X11DropsAsCopy>(atoms);
    application.installNativeEventFilter(filter.get());
    return filter;
}

}  // namespace tabrivo

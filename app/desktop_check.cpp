#include "app/desktop_check.h"

#include <xcb/xcb.h>

#include <QByteArray>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/services.h"
#include "force/ond_library.h"

namespace kinetra::app {

namespace {

WindowFinder& FinderOverride() {
    static WindowFinder finder;
    return finder;
}

template <typename T>
struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

// WM_CLASS holds "instance\0class\0"; true when the class part equals windowClass.
bool HasClass(xcb_connection_t* connection, xcb_window_t window, const char* windowClass) {
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookie, nullptr));
    if (!reply || reply->format != 8) return false;
    const int length = xcb_get_property_value_length(reply.get());
    if (length <= 0) return false;
    const auto* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const void* firstEnd = std::memchr(value, '\0', static_cast<std::size_t>(length));
    if (firstEnd == nullptr) return false;
    const char* cls = static_cast<const char*>(firstEnd) + 1;
    const std::size_t rest = static_cast<std::size_t>(value + length - cls);
    const std::size_t wanted = std::strlen(windowClass);
    // The class may or may not carry its own terminating NUL inside the property.
    return (rest == wanted || (rest == wanted + 1 && cls[wanted] == '\0')) &&
           std::memcmp(cls, windowClass, wanted) == 0;
}

// Children of window, or an empty reply.
XcbReply<xcb_query_tree_reply_t> ChildrenOf(xcb_connection_t* connection, xcb_window_t window) {
    return XcbReply<xcb_query_tree_reply_t>(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
}

bool FindOnX11(const char* windowClass) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return false;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (connection == nullptr) return false;
    bool found = false;
    if (xcb_connection_has_error(connection) == 0) {
        for (xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(connection));
             screen.rem > 0 && !found; xcb_screen_next(&screen)) {
            XcbReply<xcb_query_tree_reply_t> top = ChildrenOf(connection, screen.data->root);
            if (!top) continue;
            const xcb_window_t* windows = xcb_query_tree_children(top.get());
            const int count = xcb_query_tree_children_length(top.get());
            for (int i = 0; i < count && !found; ++i) {
                if (HasClass(connection, windows[i], windowClass)) {
                    found = true;
                    break;
                }
                XcbReply<xcb_query_tree_reply_t> inner = ChildrenOf(connection, windows[i]);
                if (!inner) continue;
                const xcb_window_t* clients = xcb_query_tree_children(inner.get());
                const int clientCount = xcb_query_tree_children_length(inner.get());
                for (int j = 0; j < clientCount && !found; ++j) {
                    found = HasClass(connection, clients[j], windowClass);
                }
            }
        }
    }
    xcb_disconnect(connection);
    return found;
}

}  // namespace

bool FindTopLevelWindowOfClass(const char* windowClass) {
    if (FinderOverride()) return FinderOverride()(windowClass);
    return FindOnX11(windowClass);
}

void SetWindowFinder(WindowFinder finder) {
    FinderOverride() = std::move(finder);
}

void CheckDesktopProgram(void* instance, QWidget* owner) {
    if (!FindTopLevelWindowOfClass(kDesktopWindowClass)) return;
    COndMouse probe;
    if (probe.Initialize(instance, owner, OND_INIT_QUERY, true) == 0) return;
    char name[256] = {};
    probe.GetProductName(name, sizeof name);
    name[sizeof name - 1] = '\0';
    if (std::strstr(name, "iFeel") == nullptr) {
        ShowMessageBox(owner, QString::fromLatin1(kDesktopWarning),
                       QString::fromLatin1(kErrorCaption), MessageIcon::Exclamation);
    }
}

}  // namespace kinetra::app

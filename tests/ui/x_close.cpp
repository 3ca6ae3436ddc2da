#include "ui/x_close.h"

#include <X11/Xlib.h>

namespace spirelle::testing {
namespace {

Window find_window(Display* display, Window parent, const std::string& title) {
    char* name = nullptr;
    if (XFetchName(display, parent, &name) && name != nullptr) {
        bool match = title == name;
        XFree(name);
        if (match) return parent;
    }
    Window root = 0;
    Window up = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, parent, &root, &up, &children, &count)) {
        for (unsigned int i = 0; i < count && found == 0; ++i) {
            found = find_window(display, children[i], title);
        }
        if (children != nullptr) XFree(children);
    }
    return found;
}

}  // namespace

bool request_window_close(const std::string& display_name, const std::string& title) {
    Display* display = XOpenDisplay(display_name.c_str());
    if (display == nullptr) return false;
    Window window = find_window(display, DefaultRootWindow(display), title);
    if (window != 0) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] =
            static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
    }
    XCloseDisplay(display);
    return window != 0;
}

}  // namespace spirelle::testing

// Closing a window the way a window manager's close button does. Kept apart
// from the tests because Xlib's macros (None, Bool, Status) clash with
// GoogleTest's names.
#pragma once

#include <string>

namespace spirelle::testing {

// Sends WM_DELETE_WINDOW to the first window titled `title` on the X display
// `display`; false when there is no such window.
bool request_window_close(const std::string& display, const std::string& title);

}  // namespace spirelle::testing

#pragma once
// Closing a window as a window manager would (Xvfb runs none): WM_DELETE_WINDOW.

namespace velmora::test_support {

// Sends the close request to the X window `window` on $DISPLAY; false when there is no
// display to talk to.
bool close_window(unsigned long window);

}  // namespace velmora::test_support

#pragma once
// Finding, capturing and closing a top-level X11 window from outside its process, the way a window
// manager would. Used by end-to-end tests and the demo script, which run under Xvfb without one.
//
// Xlib's own header is kept out so that its macros (None, Status, True, ...) do not leak into users.
#include <opencv2/core.hpp>
#include <string>

typedef struct _XDisplay Display;

namespace kelmo::xwin {

using WindowId = unsigned long;  // an X11 Window; 0 means none

// Owns one connection to an X server. Empty when the display could not be opened.
class Connection {
public:
    // nullptr opens $DISPLAY.
    explicit Connection(const char* displayName = nullptr);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    explicit operator bool() const { return display_ != nullptr; }
    Display* display() const { return display_; }
    // The name that was (or would have been) opened, for messages.
    const std::string& name() const { return name_; }

private:
    Display* display_ = nullptr;
    std::string name_;
};

// The top-most viewable window whose WM_NAME equals title, searched through the whole tree below the
// root (a window manager would have reparented it into a frame). 0 when there is none.
WindowId findWindow(Display* display, const std::string& title);

// Polls findWindow until the window shows up or timeoutSeconds pass (0 checks once).
WindowId waitForWindow(Display* display, const std::string& title, double timeoutSeconds);

// The root window of the default screen.
WindowId rootWindow(Display* display);

// Copies the window's contents into out as 8-bit BGR. The window must be viewable and lie fully on
// the screen. On failure out is left empty and error says why.
bool captureWindow(Display* display, WindowId window, cv::Mat& out, std::string& error);

// Sends the WM_PROTOCOLS / WM_DELETE_WINDOW client message a window manager sends when a person
// closes the window. Fails (and sends nothing) when the window does not take part in that protocol,
// since a window manager would then have to kill the client instead.
bool requestClose(Display* display, WindowId window, std::string& error);

}  // namespace kelmo::xwin

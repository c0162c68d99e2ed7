#include "tests/support/xwindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <opencv2/imgproc.hpp>
#include <thread>
#include <vector>

namespace kelmo::xwin {
namespace {

// Windows of other clients can vanish between two requests; Xlib's default handler would then end
// this process. While a trap lives, errors are recorded instead. Xlib's handler is process-wide, so
// traps must not be used from two threads at once.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display_(display) {
        XSync(display_, False);
        firstError_ = 0;
        previous_ = XSetErrorHandler(&record);
    }
    ~ErrorTrap() {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits for the server to handle every request so far; the first error code since the trap was
    // set, 0 when none.
    int sync() {
        XSync(display_, False);
        return firstError_;
    }

private:
    static int record(Display*, XErrorEvent* event) {
        if (firstError_ == 0) firstError_ = event->error_code;
        return 0;
    }

    static int firstError_;
    Display* display_;
    XErrorHandler previous_;
};

int ErrorTrap::firstError_ = 0;

std::string hexId(WindowId window) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", window);
    return text;
}

bool isViewable(Display* display, Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

// WM_NAME as raw bytes. ASCII titles read the same in STRING, UTF8_STRING and COMPOUND_TEXT.
std::string windowName(Display* display, Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(display, window, XA_WM_NAME, 0, 1024, False, AnyPropertyType, &type, &format,
                           &count, &remaining, &data) == Success &&
        data != nullptr && format == 8) {
        name.assign(reinterpret_cast<const char*>(data), count);
    }
    if (data != nullptr) XFree(data);
    return name;
}

WindowId searchBelow(Display* display, Window parent, const std::string& title) {
    Window root = 0, parentOfParent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &parentOfParent, &children, &count)) return 0;
    const std::vector<Window> below(children, children + count);
    if (children != nullptr) XFree(children);

    // XQueryTree lists children bottom to top; the top-most match wins.
    for (auto it = below.rbegin(); it != below.rend(); ++it) {
        if (!isViewable(display, *it)) continue;
        if (windowName(display, *it) == title) return *it;
        if (WindowId found = searchBelow(display, *it, title)) return found;
    }
    return 0;
}

struct Channel {
    unsigned long mask = 0;
    int shift = 0;
    int bits = 0;
};

Channel channelOf(unsigned long mask) {
    Channel c;
    c.mask = mask;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++c.shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++c.bits;
    }
    return c;
}

uint8_t channelValue(unsigned long pixel, const Channel& c) {
    const unsigned long v = (pixel & c.mask) >> c.shift;
    if (c.bits >= 8) return static_cast<uint8_t>(v >> (c.bits - 8));
    const unsigned long max = (1ul << c.bits) - 1;
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

// Any TrueColor layout, one pixel at a time.
void convertGeneric(XImage* image, const Visual* visual, cv::Mat& out) {
    const Channel red = channelOf(visual->red_mask);
    const Channel green = channelOf(visual->green_mask);
    const Channel blue = channelOf(visual->blue_mask);
    for (int y = 0; y < out.rows; ++y) {
        auto* row = out.ptr<cv::Vec3b>(y);
        for (int x = 0; x < out.cols; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            row[x] =
                cv::Vec3b(channelValue(pixel, blue), channelValue(pixel, green), channelValue(pixel, red));
        }
    }
}

}  // namespace

Connection::Connection(const char* displayName)
    : display_(XOpenDisplay(displayName)), name_(XDisplayName(displayName)) {}

Connection::~Connection() {
    if (display_ != nullptr) XCloseDisplay(display_);
}

WindowId rootWindow(Display* display) { return DefaultRootWindow(display); }

WindowId findWindow(Display* display, const std::string& title) {
    ErrorTrap trap(display);
    return searchBelow(display, DefaultRootWindow(display), title);
}

WindowId waitForWindow(Display* display, const std::string& title, double timeoutSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::duration<double>(timeoutSeconds > 0 ? timeoutSeconds : 0);
    for (;;) {
        if (WindowId found = findWindow(display, title)) return found;
        if (Clock::now() >= deadline) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool captureWindow(Display* display, WindowId window, cv::Mat& out, std::string& error) {
    out.release();
    ErrorTrap trap(display);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) {
        error = "window " + hexId(window) + " does not exist";
        return false;
    }
    if (attributes.map_state != IsViewable) {
        error = "window " + hexId(window) + " is not viewable";
        return false;
    }
    const Visual* visual = attributes.visual;
    if (visual->c_class != TrueColor && visual->c_class != DirectColor) {
        error = "window " + hexId(window) + " has no TrueColor visual";
        return false;
    }

    XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (image == nullptr || trap.sync() != 0) {
        if (image != nullptr) XDestroyImage(image);
        error = "cannot read window " + hexId(window) + " (is it partly off the screen?)";
        return false;
    }

    out.create(attributes.height, attributes.width, CV_8UC3);
    const bool bgrx = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                      visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 &&
                      visual->blue_mask == 0xff;
    if (bgrx) {
        // The usual 24-bit layout: bytes B, G, R, unused in memory.
        const cv::Mat bgra(attributes.height, attributes.width, CV_8UC4, image->data,
                           static_cast<size_t>(image->bytes_per_line));
        cv::cvtColor(bgra, out, cv::COLOR_BGRA2BGR);
    } else {
        convertGeneric(image, visual, out);
    }
    XDestroyImage(image);
    return true;
}

bool requestClose(Display* display, WindowId window, std::string& error) {
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    ErrorTrap trap(display);

    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) {
        error = "window " + hexId(window) + " does not exist";
        return false;
    }
    Atom* listed = nullptr;
    int count = 0;
    bool takesPart = false;
    if (XGetWMProtocols(display, window, &listed, &count)) {
        for (int i = 0; i < count; ++i) takesPart = takesPart || listed[i] == deleteWindow;
        XFree(listed);
    }
    if (!takesPart) {
        error = "window " + hexId(window) + " does not accept WM_DELETE_WINDOW";
        return false;
    }

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    // No event mask: the event goes to the client that created the window, as ICCCM prescribes.
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    if (sent == 0 || trap.sync() != 0) {
        error = "cannot send the close request to window " + hexId(window);
        return false;
    }
    return true;
}

}  // namespace kelmo::xwin

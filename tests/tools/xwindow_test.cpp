// The X11 window helper against real X servers. Each test starts its own Xvfb: other suites open
// windows on the shared one at the same time, and on a server without backing store an overlapping
// window would change the captured pixels.
#include "tests/support/xwindow.h"

#include <gtest/gtest.h>
// After GoogleTest: Xlib's None and Bool macros break its headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_command.h"

namespace kelmo::xwin {
namespace {

using Clock = std::chrono::steady_clock;

bool haveDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0';
}

struct Rgb {
    int r, g, b;
};

// Saturated and empty channels show whether narrow channels are scaled to the full 0..255.
constexpr Rgb kLeft{255, 30, 0};
constexpr Rgb kRight{0, 180, 255};

cv::Vec3b bgr(Rgb c) { return cv::Vec3b(c.b, c.g, c.r); }

// How many pixels of the region differ from the colour by more than tolerance in any channel.
int countOff(const cv::Mat& image, cv::Rect region, Rgb colour, int tolerance = 0) {
    int off = 0;
    const cv::Vec3b want = bgr(colour);
    for (int y = region.y; y < region.br().y; ++y) {
        for (int x = region.x; x < region.br().x; ++x) {
            const cv::Vec3b got = image.at<cv::Vec3b>(y, x);
            for (int c = 0; c < 3; ++c) {
                if (std::abs(got[c] - want[c]) > tolerance) {
                    ++off;
                    break;
                }
            }
        }
    }
    return off;
}

// Starts Xvfb on a free display number it picks itself; ended by its process id.
class PrivateXvfb {
public:
    explicit PrivateXvfb(const char* screen) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            // Dies with the test, and never holds the test's output open for the runner to wait on.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Xvfb writes the display number once it accepts connections.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (pid_ > 0 && poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    ~PrivateXvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

// Windows made by the test on its own connection, destroyed with it.
class TestWindows {
public:
    explicit TestWindows(Display* display) : display_(display) {}
    ~TestWindows() {
        // Children first: destroying a parent destroys them too, and a second destroy is an X error.
        for (auto w = windows_.rbegin(); w != windows_.rend(); ++w) XDestroyWindow(display_, *w);
        XSync(display_, False);
    }

    unsigned long pixel(Rgb c) {
        XColor colour{};
        colour.red = static_cast<unsigned short>(c.r * 257);
        colour.green = static_cast<unsigned short>(c.g * 257);
        colour.blue = static_cast<unsigned short>(c.b * 257);
        XAllocColor(display_, DefaultColormap(display_, DefaultScreen(display_)), &colour);
        return colour.pixel;
    }

    // A window whose background the server paints itself, so its pixels need no redraw handling.
    Window make(Window parent, const char* title, cv::Rect where, Rgb colour) {
        const Window w =
            XCreateSimpleWindow(display_, parent, where.x, where.y, static_cast<unsigned>(where.width),
                                static_cast<unsigned>(where.height), 0, 0, pixel(colour));
        if (title != nullptr) XStoreName(display_, w, title);
        windows_.push_back(w);
        return w;
    }

    // A top-level window with the left colour and a right half of the right colour, in the bottom
    // right corner of the screen so that its place on the root is not the origin.
    Window makeTwoTone(const std::string& title, cv::Size size) {
        const int screen = DefaultScreen(display_);
        const cv::Rect where(DisplayWidth(display_, screen) - size.width - 16,
                             DisplayHeight(display_, screen) - size.height - 16, size.width, size.height);
        const Window w = make(DefaultRootWindow(display_), title.c_str(), where, kLeft);
        make(w, nullptr, cv::Rect(size.width / 2, 0, size.width - size.width / 2, size.height), kRight);
        XMapSubwindows(display_, w);
        return w;
    }

    void map(Window w) {
        XMapWindow(display_, w);
        XSync(display_, False);
    }

    cv::Rect placeOnRoot(Window w) {
        XWindowAttributes a;
        XGetWindowAttributes(display_, w, &a);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
        return cv::Rect(x, y, a.width, a.height);
    }

private:
    Display* display_;
    std::vector<Window> windows_;
};

// Standard output and error together.
using RunResult = testing_support::CommandResult;

RunResult run(const std::string& arguments, const std::string& environment = "") {
    return testing_support::runCommand(environment + " " KELMO_BINARY_DIR "/kelmo-xwin " + arguments +
                                       " 2>&1");
}

class XWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveDisplay()) GTEST_SKIP() << "DISPLAY is not set";
        server_ = std::make_unique<PrivateXvfb>("320x240x24");
        ASSERT_FALSE(server_->name().empty()) << "could not start Xvfb";
        display_ = XOpenDisplay(server_->name().c_str());
        ASSERT_NE(display_, nullptr) << "cannot open display " << server_->name();
        windows_ = std::make_unique<TestWindows>(display_);
    }

    void TearDown() override {
        windows_.reset();
        if (display_ != nullptr) XCloseDisplay(display_);
        server_.reset();
    }

    static std::string title(const std::string& what) { return "kelmo-xwindow-test-" + what; }

    // The next ClientMessage for w, polled for up to timeoutMs.
    bool nextClientMessage(Window w, XClientMessageEvent& out, int timeoutMs = 5000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        XEvent event;
        do {
            XSync(display_, False);
            if (XCheckTypedWindowEvent(display_, w, ClientMessage, &event)) {
                out = event.xclient;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (Clock::now() < deadline);
        return false;
    }

    Atom deleteWindowAtom() { return XInternAtom(display_, "WM_DELETE_WINDOW", False); }

    // A mapped two-tone window that takes part in the close protocol, as Kelmo's window does.
    Window makeClosable(const std::string& name, cv::Size size) {
        const Window w = windows_->makeTwoTone(name, size);
        Atom deleteWindow = deleteWindowAtom();
        XSetWMProtocols(display_, w, &deleteWindow, 1);
        windows_->map(w);
        return w;
    }

    // Runs kelmo-xwin against this test's server.
    RunResult runTool(const std::string& arguments) { return run(arguments, "DISPLAY=" + server_->name()); }

    std::unique_ptr<PrivateXvfb> server_;
    Display* display_ = nullptr;
    std::unique_ptr<TestWindows> windows_;
};

TEST_F(XWindowTest, FindsOnlyViewableWindowsWithTheExactTitle) {
    const std::string name = title("find");
    const Window w = windows_->makeTwoTone(name, cv::Size(40, 30));
    EXPECT_EQ(findWindow(display_, name), 0u) << "an unmapped window was found";

    windows_->map(w);
    EXPECT_EQ(findWindow(display_, name), w);
    EXPECT_EQ(findWindow(display_, name.substr(0, name.size() - 1)), 0u);
    EXPECT_EQ(findWindow(display_, name + "x"), 0u);

    XUnmapWindow(display_, w);
    XSync(display_, False);
    EXPECT_EQ(findWindow(display_, name), 0u) << "an unmapped window was found";
}

TEST_F(XWindowTest, FindsAWindowReparentedIntoAFrame) {
    // What a window manager does: the titled client sits inside an untitled frame.
    const std::string name = title("framed");
    const Window frame =
        windows_->make(DefaultRootWindow(display_), nullptr, cv::Rect(30, 30, 60, 60), kLeft);
    const Window client = windows_->make(frame, name.c_str(), cv::Rect(5, 20, 50, 35), kRight);
    XMapWindow(display_, client);
    windows_->map(frame);
    EXPECT_EQ(findWindow(display_, name), client);
}

TEST_F(XWindowTest, WaitReturnsOnceTheWindowIsMappedAndGivesUpAfterTheTimeout) {
    const std::string name = title("wait");
    const Window w = windows_->makeTwoTone(name, cv::Size(40, 30));
    XSync(display_, False);

    // The waiter has its own connection, as the tool would.
    auto waited = std::async(std::launch::async, [this, &name] {
        Connection connection(server_->name().c_str());
        return connection ? waitForWindow(connection.display(), name, 20.0) : WindowId{0};
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    windows_->map(w);
    EXPECT_EQ(waited.get(), w);

    const auto start = Clock::now();
    EXPECT_EQ(waitForWindow(display_, title("never"), 0.3), 0u);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
}

TEST_F(XWindowTest, CaptureGivesTheWindowsPixelsInBgrOrder) {
    const std::string name = title("capture");
    const cv::Size size(96, 64);
    const Window w = windows_->makeTwoTone(name, size);
    windows_->map(w);

    cv::Mat shot;
    std::string error;
    ASSERT_TRUE(captureWindow(display_, w, shot, error)) << error;
    ASSERT_EQ(shot.type(), CV_8UC3);
    ASSERT_EQ(shot.size(), size);
    EXPECT_EQ(countOff(shot, cv::Rect(0, 0, 48, 64), kLeft), 0);
    EXPECT_EQ(countOff(shot, cv::Rect(48, 0, 48, 64), kRight), 0);

    // The root's capture shows the same pixels where the window sits.
    cv::Mat root;
    ASSERT_TRUE(captureWindow(display_, rootWindow(display_), root, error)) << error;
    const int screen = DefaultScreen(display_);
    ASSERT_EQ(root.size(), cv::Size(DisplayWidth(display_, screen), DisplayHeight(display_, screen)));
    const cv::Rect place = windows_->placeOnRoot(w);
    EXPECT_EQ(countOff(root, cv::Rect(place.x, place.y, 48, 64), kLeft), 0);
    EXPECT_EQ(countOff(root, cv::Rect(place.x + 48, place.y, 48, 64), kRight), 0);
}

TEST_F(XWindowTest, CaptureFailsCleanlyForHiddenOrVanishedWindows) {
    const Window w = windows_->makeTwoTone(title("hidden"), cv::Size(20, 20));
    XSync(display_, False);
    cv::Mat shot(4, 4, CV_8UC3);
    std::string error;
    EXPECT_FALSE(captureWindow(display_, w, shot, error));
    EXPECT_TRUE(shot.empty());
    EXPECT_NE(error.find("not viewable"), std::string::npos) << error;

    // A window id that no longer exists must be reported, not end the process through Xlib's handler.
    const Window gone = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 8, 8, 0, 0, 0);
    XDestroyWindow(display_, gone);
    XSync(display_, False);
    error.clear();
    EXPECT_FALSE(captureWindow(display_, gone, shot, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(findWindow(display_, title("hidden")), 0u);
}

TEST_F(XWindowTest, CloseRequestArrivesAsWmDeleteWindowAndLeavesTheWindowAlive) {
    const Window w = makeClosable(title("close"), cv::Size(40, 30));

    Connection other(server_->name().c_str());
    ASSERT_TRUE(other);
    std::string error;
    ASSERT_TRUE(requestClose(other.display(), w, error)) << error;

    XClientMessageEvent message{};
    ASSERT_TRUE(nextClientMessage(w, message)) << "no client message arrived";
    EXPECT_EQ(message.message_type, XInternAtom(display_, "WM_PROTOCOLS", False));
    EXPECT_EQ(message.format, 32);
    EXPECT_EQ(static_cast<Atom>(message.data.l[0]), deleteWindowAtom());
    // Closing is the client's decision; the window must not have been destroyed for it.
    XWindowAttributes attributes;
    EXPECT_NE(XGetWindowAttributes(display_, w, &attributes), 0);
}

TEST_F(XWindowTest, CloseIsRefusedForWindowsOutsideTheProtocol) {
    const Window w = windows_->makeTwoTone(title("noclose"), cv::Size(40, 30));
    windows_->map(w);
    std::string error;
    EXPECT_FALSE(requestClose(display_, w, error));
    EXPECT_NE(error.find("WM_DELETE_WINDOW"), std::string::npos) << error;
    XClientMessageEvent message{};
    EXPECT_FALSE(nextClientMessage(w, message, 100));

    const Window gone = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 8, 8, 0, 0, 0);
    XDestroyWindow(display_, gone);
    XSync(display_, False);
    error.clear();
    EXPECT_FALSE(requestClose(display_, gone, error));
    EXPECT_FALSE(error.empty());
}

TEST(XWindowCapture, ConvertsSixteenBitPixels) {
    if (!haveDisplay()) GTEST_SKIP() << "DISPLAY is not set";
    PrivateXvfb server("160x120x16");
    ASSERT_FALSE(server.name().empty()) << "could not start Xvfb with a 16-bit screen";
    Connection connection(server.name().c_str());
    ASSERT_TRUE(connection) << server.name();
    Display* display = connection.display();
    ASSERT_EQ(DefaultDepth(display, DefaultScreen(display)), 16);

    TestWindows windows(display);
    const Window w = windows.makeTwoTone("sixteen", cv::Size(40, 30));
    windows.map(w);
    cv::Mat shot;
    std::string error;
    ASSERT_TRUE(captureWindow(display, w, shot, error)) << error;
    ASSERT_EQ(shot.size(), cv::Size(40, 30));
    // Five or six bits per channel: each value lands within one step of the original, and the ends
    // of the range stay exact.
    EXPECT_EQ(countOff(shot, cv::Rect(0, 0, 20, 30), kLeft, 8), 0);
    EXPECT_EQ(countOff(shot, cv::Rect(20, 0, 20, 30), kRight, 8), 0);
    EXPECT_EQ(shot.at<cv::Vec3b>(0, 0), cv::Vec3b(0, shot.at<cv::Vec3b>(0, 0)[1], 255));
    EXPECT_EQ(shot.at<cv::Vec3b>(0, 39), cv::Vec3b(255, shot.at<cv::Vec3b>(0, 39)[1], 0));
}

// ---- the kelmo-xwin tool ----

TEST_F(XWindowTest, ToolWaitsCapturesAndClosesByTitle) {
    const std::string name = title("tool");
    const Window w = makeClosable(name, cv::Size(64, 48));

    RunResult r = runTool("wait --name '" + name + "' --timeout 5");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(std::strtoul(r.output.c_str(), nullptr, 16), w) << r.output;

    const std::string png = ::testing::TempDir() + "kelmo-xwin-" + std::to_string(getpid()) + ".png";
    r = runTool("shot '" + png + "' --name '" + name + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    const cv::Mat shot = cv::imread(png);
    std::remove(png.c_str());
    ASSERT_EQ(shot.size(), cv::Size(64, 48));
    EXPECT_EQ(countOff(shot, cv::Rect(0, 0, 32, 48), kLeft), 0);
    EXPECT_EQ(countOff(shot, cv::Rect(32, 0, 32, 48), kRight), 0);

    r = runTool("close --name '" + name + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    XClientMessageEvent message{};
    ASSERT_TRUE(nextClientMessage(w, message));
    EXPECT_EQ(static_cast<Atom>(message.data.l[0]), deleteWindowAtom());
}

TEST_F(XWindowTest, ToolFailsLoudlyWithoutWindowDisplayOrValidArguments) {
    const std::string missing = title("missing");
    RunResult r = runTool("wait --name '" + missing + "' --timeout 0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(missing), std::string::npos) << r.output;

    r = runTool("close --name '" + missing + "'");
    EXPECT_EQ(r.status, 1) << r.output;

    r = runTool("shot /dev/null/x.png --root");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("/dev/null/x.png"), std::string::npos) << r.output;

    r = run("wait --timeout 0", "env -u DISPLAY");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("display"), std::string::npos) << r.output;

    for (const char* bad : {"", "frobnicate", "shot", "wait --timeout soon", "close --root"}) {
        r = runTool(bad);
        EXPECT_EQ(r.status, 2) << "'" << bad << "': " << r.output;
    }
}

}  // namespace
}  // namespace kelmo::xwin

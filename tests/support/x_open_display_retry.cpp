// Test processes only: XOpenDisplay tries again when the server drops the connection during set-up.
//
// The virtual X server of these machines now and then closes a new connection before its set-up
// reply when another client has just disconnected; a second attempt succeeds. freeglut ends the
// process when its one attempt fails, so GL suites that start many short processes would fail at
// random. Defined in the test executable, this XOpenDisplay takes precedence over Xlib's for every
// library the executable loads.
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <unistd.h>

namespace {

using OpenDisplayFunction = Display* (*)(const char*);

OpenDisplayFunction xlibOpenDisplay() {
    static const OpenDisplayFunction next =
        reinterpret_cast<OpenDisplayFunction>(dlsym(RTLD_NEXT, "XOpenDisplay"));
    return next;
}

}  // namespace

extern "C" Display* XOpenDisplay(const char* name) {
    const OpenDisplayFunction next = xlibOpenDisplay();
    if (next == nullptr) return nullptr;
    Display* display = next(name);
    for (int attempt = 0; display == nullptr && attempt < 20; ++attempt) {
        usleep(20 * 1000);
        display = next(name);
    }
    return display;
}

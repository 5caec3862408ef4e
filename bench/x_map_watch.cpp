// Starts a program and times when its window appears on the X display, for
// the latency and footprint benchmarks:
//   x_map_watch [--name NAME] [--hwm-after MS] [--timeout S] -- PROGRAM ARGS...
// It listens for MapNotify on the root window (SubstructureNotifyMask) before
// the program starts, so no map can be missed. Without a window manager the
// program's top-level window is a direct child of the root; under a
// reparenting one the root sees the frame being mapped, so every mapped
// window and its descendants are searched for the name (WM_NAME, or
// _NET_WM_NAME where WM_NAME is missing). With --hwm-after it waits MS while
// the window is shown and reads the peak RSS (VmHWM) of the program and the
// processes it started. Then it asks
// the window to close as a window manager does (WM_DELETE_WINDOW) and waits
// for the program to end. Prints one line of key=value figures:
//   start_ns=... map_ns=... window=0x... [hwm_kib=...] close_ms=... exit=<status|killed>
// Times are CLOCK_REALTIME in ns, comparable with stamp_exit's stamp;
// close_ms is from the close request to the program's end (10 ms steps).
// Exits 0 when the window appeared and the program ended by itself with 0.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

extern char** environ;

namespace {

// CLOCK_REALTIME in nanoseconds, as the system clock reads it.
std::int64_t Now()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

// The window's title property as raw bytes; the type (STRING, UTF8_STRING)
// does not matter for an ASCII name.
std::string Property(Display* display, Window window, Atom name)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(display, window, name, 0, 1024, False, AnyPropertyType, &type, &format,
                           &count, &after, &data) == Success && data) {
        if (format == 8)
            value.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return value;
}

// The window itself or a descendant (a frame's client) that bears the name.
Window FindNamed(Display* display, Window window, const std::string& name, int depth = 0)
{
    static const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    std::string title = Property(display, window, XA_WM_NAME);
    if (title.empty())
        title = Property(display, window, netWmName);
    if (title == name)
        return window;
    if (depth >= 3)
        return None;
    Window root = None, parent = None, *children = nullptr;
    unsigned int count = 0;
    Window found = None;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && found == None; ++i)
            found = FindNamed(display, children[i], name, depth + 1);
        if (children)
            XFree(children);
    }
    return found;
}

// Peak resident set size in KiB, as the kernel keeps it for each process,
// of the process and every process it started that still runs: Vantrel's
// window is a program of its own.
long PeakRssKib(pid_t pid)
{
    const std::string process = "/proc/" + std::to_string(pid);
    long total = -1;
    std::ifstream status(process + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            total = std::strtol(line.c_str() + 6, nullptr, 10);
    }
    std::ifstream children(process + "/task/" + std::to_string(pid) + "/children");
    for (pid_t child; children >> child;)
        total += std::max(0L, PeakRssKib(child));
    return total;
}

void SendDeleteWindow(Display* display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

// Waits up to the time for the program to end; its wait status, or -1.
int WaitForEnd(pid_t pid, int milliseconds)
{
    for (int waited = 0;; waited += 10) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return status;
        if (waited >= milliseconds)
            return -1;
        usleep(10000);
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string name = "Vantrel";
    int hwmAfterMs = -1;
    int timeoutS = 30;
    int first = 1;
    for (; first < argc && std::strcmp(argv[first], "--") != 0; ++first) {
        if (first + 1 >= argc)
            break;
        if (std::strcmp(argv[first], "--name") == 0)
            name = argv[++first];
        else if (std::strcmp(argv[first], "--hwm-after") == 0)
            hwmAfterMs = std::atoi(argv[++first]);
        else if (std::strcmp(argv[first], "--timeout") == 0)
            timeoutS = std::atoi(argv[++first]);
    }
    if (first + 1 >= argc) {
        std::fprintf(stderr, "usage: x_map_watch [--name NAME] [--hwm-after MS] [--timeout S] -- PROGRAM ARGS...\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "x_map_watch: cannot open the display\n");
        return 2;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);  // the selection is in force before the program starts

    const std::int64_t startNs = Now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[first + 1], nullptr, nullptr, argv + first + 1, environ) != 0) {
        std::fprintf(stderr, "x_map_watch: cannot start %s\n", argv[first + 1]);
        return 2;
    }

    std::int64_t mapNs = 0;
    Window window = None;
    int status = -1;
    bool ended = false;
    const std::int64_t deadline = startNs + static_cast<std::int64_t>(timeoutS) * 1000000000LL;
    while (window == None && Now() < deadline) {
        if (!XPending(display)) {
            pollfd x{ConnectionNumber(display), POLLIN, 0};
            poll(&x, 1, 20);
            if (waitpid(pid, &status, WNOHANG) == pid) {
                ended = true;  // ended without showing the window
                break;
            }
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        // Stamped on arrival, before the name look-ups and their round trips.
        const std::int64_t arrived = Now();
        if (event.type == MapNotify && (window = FindNamed(display, event.xmap.window, name)) != None)
            mapNs = arrived;
    }

    long hwmKib = -1;
    double closeMs = -1;
    if (window != None) {
        if (hwmAfterMs >= 0) {
            usleep(static_cast<useconds_t>(hwmAfterMs) * 1000);
            hwmKib = PeakRssKib(pid);
        }
        const std::int64_t closing = Now();
        SendDeleteWindow(display, window);
        status = WaitForEnd(pid, 10000);
        ended = status != -1;
        closeMs = static_cast<double>(Now() - closing) / 1e6;
    }
    bool killed = false;
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        killed = true;
    }

    std::printf("start_ns=%lld map_ns=%lld window=0x%lx", static_cast<long long>(startNs),
                static_cast<long long>(mapNs), static_cast<unsigned long>(window));
    if (hwmAfterMs >= 0)
        std::printf(" hwm_kib=%ld", hwmKib);
    std::printf(" close_ms=%.0f", closeMs);
    if (killed)
        std::printf(" exit=killed\n");
    else
        std::printf(" exit=%d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    XCloseDisplay(display);
    return window != None && !killed && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

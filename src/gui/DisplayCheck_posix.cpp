// The display check before start-up (DisplayCheck_posix.h). An X11
// connection attempt costs well under a millisecond, a Wayland one less.
#include "DisplayCheck_posix.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace vantrel {

namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The platform names the toolkit will try, in its order, options removed.
std::vector<std::string> PlatformsToTry(const EnvironmentLookup& environment)
{
    const char* chosen = environment("QT_QPA_PLATFORM");
    if (!chosen || !*chosen) {
        const char* waylandDisplay = environment("WAYLAND_DISPLAY");
        const char* sessionType = environment("XDG_SESSION_TYPE");
        if (waylandDisplay || (sessionType && std::string_view(sessionType) == "wayland"))
            return {"wayland", "xcb"};
        return {"xcb"};
    }
    std::vector<std::string> names;
    std::string_view rest = chosen;
    while (!rest.empty()) {
        const std::string_view entry = rest.substr(0, rest.find(';'));
        rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
        const std::string_view name = entry.substr(0, entry.find(':'));
        if (!name.empty())
            names.emplace_back(name);
    }
    return names;
}

// Each check returns why the display cannot be had, or "" and leaves the
// open connection in its last parameter.
std::string WhyNoX11Display(const EnvironmentLookup& environment, xcb_connection_t*& opened)
{
    const char* display = environment("DISPLAY");
    if (!display || !*display)
        return "DISPLAY is not set";
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return "the X display " + Quoted(display) + " cannot be opened";
    }
    opened = connection;
    return "";
}

std::string WhyNoWaylandDisplay(const EnvironmentLookup& environment, int& opened)
{
    // A socket handed over by the compositor that started us.
    if (const char* handed = environment("WAYLAND_SOCKET")) {
        struct stat status {};
        const int fd = std::atoi(handed);
        if (fd >= 0 && fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode))
            return "";
        return "WAYLAND_SOCKET " + Quoted(handed) + " is no socket";
    }
    const char* name = environment("WAYLAND_DISPLAY");
    std::string path = name && *name ? name : "wayland-0";
    if (path.front() != '/') {
        const char* runtimeDirectory = environment("XDG_RUNTIME_DIR");
        if (!runtimeDirectory || !*runtimeDirectory)
            return "XDG_RUNTIME_DIR is not set for the Wayland display " + Quoted(path);
        path = std::string(runtimeDirectory) + "/" + path;
    }
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return "the Wayland display " + Quoted(path) + " has too long a name";
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int result;
    do {
        result = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        if (fd >= 0)
            close(fd);
        return "the Wayland display " + Quoted(path) + " cannot be reached";
    }
    opened = fd;
    return "";
}

} // namespace

DisplayCheck::DisplayCheck(const EnvironmentLookup& environment)
{
    for (const std::string& platform : PlatformsToTry(environment)) {
        std::string why;
        if (platform == "xcb")
            why = WhyNoX11Display(environment, x11_);
        else if (platform.rfind("wayland", 0) == 0)
            why = WhyNoWaylandDisplay(environment, wayland_);
        if (why.empty()) {
            why_.clear();
            return;
        }
        if (why_.find(why) == std::string::npos)
            why_ += (why_.empty() ? "" : "; ") + why;
    }
    if (why_.empty())
        why_ = "QT_QPA_PLATFORM names no platform";
}

DisplayCheck::~DisplayCheck()
{
    if (x11_)
        xcb_disconnect(x11_);
    if (wayland_ >= 0)
        close(wayland_);
}

} // namespace vantrel

// The display check before start-up (DisplayCheck_posix.h). An X11
// connection attempt with its round trip costs well under a millisecond, a
// Wayland one less. The Wayland round trip is the system's libwayland-client,
// which links no toolkit.
#include "DisplayCheck_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace vantrel {

namespace {

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// A platform the toolkit will try: its name, and its options after the ':'.
struct Platform {
    std::string name;
    std::string options;
};

// The platforms the toolkit will try, in its order, their names in lower
// case: Qt compares them without regard to case.
std::vector<Platform> PlatformsToTry(const EnvironmentLookup& environment)
{
    const char* chosen = environment("QT_QPA_PLATFORM");
    if (!chosen || !*chosen) {
        const char* waylandDisplay = environment("WAYLAND_DISPLAY");
        const char* sessionType = environment("XDG_SESSION_TYPE");
        if (waylandDisplay || (sessionType && std::string_view(sessionType) == "wayland"))
            return {{"wayland", ""}, {"xcb", ""}};
        return {{"xcb", ""}};
    }
    std::vector<Platform> platforms;
    std::string_view rest = chosen;
    while (!rest.empty()) {
        const std::string_view entry = rest.substr(0, rest.find(';'));
        rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
        const std::size_t colon = entry.find(':');
        if (colon == 0 || entry.empty())
            continue;
        Platform platform{std::string(entry.substr(0, colon)),
                          colon == std::string_view::npos ? "" : std::string(entry.substr(colon + 1))};
        for (char& c : platform.name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        platforms.push_back(std::move(platform));
    }
    return platforms;
}

// Whether the platform's plugin is installed where the toolkit looks. Qt's
// plugins are named after their platform, Wayland's generic one aside.
bool PluginInstalled(const std::string& name, const EnvironmentLookup& environment, const std::string& ownDirectory)
{
    const std::string file = "/libq" + (name == "wayland" ? "wayland-generic" : name) + ".so";
    std::vector<std::string> directories;
    if (const char* path = environment("QT_QPA_PLATFORM_PLUGIN_PATH"))
        directories.emplace_back(path);
    if (const char* paths = environment("QT_PLUGIN_PATH")) {
        for (std::string_view rest = paths; !rest.empty();) {
            const std::string_view entry = rest.substr(0, rest.find(':'));
            rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
            directories.push_back(std::string(entry) + "/platforms");
        }
    }
    directories.push_back(ownDirectory);
    for (const std::string& directory : directories) {
        if (name.find('/') == std::string::npos && access((directory + file).c_str(), R_OK) == 0)
            return true;
    }
    return false;
}

// Whether a device can be opened for reading and writing, as the platform opens it.
bool Opens(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

std::string WhyNoFramebuffer(const Platform& platform, const std::string& devices)
{
    std::string device = devices + "/fb0";
    for (std::string_view rest = platform.options; !rest.empty();) {
        const std::string_view option = rest.substr(0, rest.find(':'));
        rest.remove_prefix(std::min(rest.size(), option.size() + 1));
        if (option.rfind("fb=", 0) == 0)
            device = option.substr(3);
    }
    return Opens(device) ? "" : "the framebuffer " + Quoted(device) + " cannot be opened";
}

std::string WhyNoGraphicsCard(const std::string& devices)
{
    const std::string directory = devices + "/dri";
    bool found = false;
    if (DIR* listing = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(listing)) {
            if (std::string_view(entry->d_name).rfind("card", 0) == 0 && Opens(directory + "/" + entry->d_name))
                found = true;
        }
        closedir(listing);
    }
    return found ? "" : "no graphics card in " + Quoted(directory) + " can be opened";
}

std::string DidNotAnswer(const std::string& what)
{
    return what + " did not answer within " + std::to_string(DisplayAnswerLimit.count()) + " s";
}

// An X connection attempt, made on a thread of its own: xcb waits for the
// server's answers without a limit.
struct X11Attempt {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    xcb_connection_t* connection = nullptr;  // null: it failed
};

// Connects, and makes one round trip beyond the connection's set-up.
xcb_connection_t* ConnectToX11(const std::string& display)
{
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection) == 0) {
        if (xcb_get_input_focus_reply_t* reply =
                xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr)) {
            std::free(reply);
            return connection;
        }
    }
    xcb_disconnect(connection);
    return nullptr;
}

// Each check returns why the display cannot be had, or "" and leaves the
// open connection in its last parameter.
std::string WhyNoX11Display(const EnvironmentLookup& environment, xcb_connection_t*& opened)
{
    const char* display = environment("DISPLAY");
    if (!display || !*display)
        return "DISPLAY is not set";
    // A server that never answers keeps the thread for good; the attempt
    // outlives us then, and the program ends without it. One that answers
    // lets the thread end before anything is started, so that it takes no
    // process of the user's from the window (ulimit -u).
    const auto attempt = std::make_shared<X11Attempt>();
    std::thread connecting;
    try {
        connecting = std::thread([attempt, name = std::string(display)] {
            xcb_connection_t* connection = ConnectToX11(name);
            const std::lock_guard lock(attempt->mutex);
            attempt->connection = connection;
            attempt->done = true;
            attempt->answered.notify_one();
        });
    } catch (const std::system_error& error) {
        return "the X display " + Quoted(display) + " cannot be tried: " + error.code().message();
    }
    std::unique_lock lock(attempt->mutex);
    const bool answered = attempt->answered.wait_for(lock, DisplayAnswerLimit, [&] { return attempt->done; });
    lock.unlock();
    if (!answered) {
        connecting.detach();
        return DidNotAnswer("the X display " + Quoted(display));
    }
    connecting.join();
    if (!attempt->connection)
        return "the X display " + Quoted(display) + " cannot be opened";
    opened = attempt->connection;
    return "";
}

// One round trip to the compositor within the time limit: true once it has
// answered.
bool WaylandAnswers(wl_display* display)
{
    bool answered = false;
    static constexpr wl_callback_listener listener = {
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    const std::unique_ptr<wl_callback, void (*)(wl_callback*)> callback(wl_display_sync(display), wl_callback_destroy);
    if (!callback || wl_callback_add_listener(callback.get(), &listener, &answered) != 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + DisplayAnswerLimit;
    while (!answered) {
        if (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0)
                return false;
            continue;
        }
        wl_display_flush(display);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{wl_display_get_fd(display), POLLIN, 0};
        const int n = left.count() > 0 ? poll(&ready, 1, static_cast<int>(left.count())) : 0;
        if (n <= 0) {
            wl_display_cancel_read(display);
            if (n < 0 && errno == EINTR)
                continue;
            return false;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0)
            return false;
    }
    return true;
}

std::string WhyNoWaylandDisplay(const EnvironmentLookup& environment, wl_display*& opened)
{
    // A socket handed over by the compositor that started us, for the window.
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
    wl_display* display = result == 0 ? wl_display_connect_to_fd(fd) : nullptr;
    if (!display) {
        if (fd >= 0)
            close(fd);
        return "the Wayland display " + Quoted(path) + " cannot be reached";
    }
    if (!WaylandAnswers(display)) {
        wl_display_disconnect(display);
        return DidNotAnswer("the Wayland display " + Quoted(path));
    }
    opened = display;
    return "";
}

} // namespace

DisplayCheck::DisplayCheck(const EnvironmentLookup& environment, const PlatformPlaces& places)
{
    const std::string plugins = places.plugins.empty() ? VANTREL_QT_PLATFORM_PLUGINS : places.plugins;
    const std::string devices = places.devices.empty() ? "/dev" : places.devices;
    for (const Platform& platform : PlatformsToTry(environment)) {
        const std::string& name = platform.name;
        const char* integration = environment("QT_QPA_EGLFS_INTEGRATION");
        std::string why;
        if (!PluginInstalled(name, environment, plugins))
            why = name == "wayland" ? "Qt's Wayland plugin is not installed (package qt6-wayland)"
                                    : "Qt has no platform plugin " + Quoted(name);
        else if (name == "xcb" || (name == "eglfs" && integration && std::string_view(integration) == "eglfs_x11"))
            why = WhyNoX11Display(environment, x11_);
        else if (name.rfind("wayland", 0) == 0)
            why = WhyNoWaylandDisplay(environment, wayland_);
        else if (name == "linuxfb")
            why = WhyNoFramebuffer(platform, devices);
        else if (name == "eglfs" || name == "minimalegl")
            why = WhyNoGraphicsCard(devices);
        else if (name == "vkkhrdisplay")
            why = "the platform " + Quoted(name) + " shows no widget windows";
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
    if (wayland_)
        wl_display_disconnect(wayland_);
}

} // namespace vantrel

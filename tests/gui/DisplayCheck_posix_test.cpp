// The display check against made-up environments: which display systems it
// tries, in which cases it lets the program go on, and what it tells the
// user otherwise. The system's libwayland-server plays a Wayland compositor,
// Unix sockets that never answer play silent servers, empty files the
// toolkit's plugins and devices; a real X display is the end-to-end test's
// part.
#include "DisplayCheck_posix.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <wayland-server-core.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <utility>

namespace fs = std::filesystem;

namespace {

// A listening Unix socket that takes connections and never answers, removed
// at the end; a name that begins with '@' is in the abstract namespace.
class ListeningSocket {
public:
    explicit ListeningSocket(const std::string& path) : path_(path)
    {
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        // An abstract name is its bytes alone, with no final NUL.
        const bool abstract = path.front() == '@';
        if (abstract)
            address.sun_path[0] = '\0';
        const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + (abstract ? 0 : 1));
        EXPECT_EQ(bind(fd_, reinterpret_cast<const sockaddr*>(&address), size), 0);
        EXPECT_EQ(listen(fd_, 8), 0);
    }
    ~ListeningSocket()
    {
        close(fd_);
        if (path_.front() != '@')
            fs::remove(path_);
    }
    int Release() { return std::exchange(fd_, -1); }

private:
    std::string path_;
    int fd_;
};

// A Wayland compositor that answers a round trip and does nothing else: the
// system's libwayland-server, served on a thread of its own.
class AnsweringCompositor {
public:
    explicit AnsweringCompositor(const fs::path& path) : socket_(path.string())
    {
        EXPECT_EQ(wl_display_add_socket_fd(display_, socket_.Release()), 0);
        serving_ = std::thread([this] {
            while (!stop_) {
                wl_event_loop_dispatch(wl_display_get_event_loop(display_), 50);
                wl_display_flush_clients(display_);
            }
        });
    }
    ~AnsweringCompositor()
    {
        stop_ = true;
        serving_.join();
        wl_display_destroy(display_);
    }

private:
    ListeningSocket socket_;
    wl_display* display_ = wl_display_create();
    std::atomic<bool> stop_{false};
    std::thread serving_;
};

} // namespace

TEST(DisplayCheck, TriesTheDisplaysTheToolkitWouldTry)
{
    const fs::path runtime = fs::temp_directory_path() / ("vantrel-runtime-" + std::to_string(getpid()));
    fs::create_directories(runtime);
    const AnsweringCompositor compositor(runtime / "wayland-7");
    const std::string absolute = (runtime / "wayland-7").string();
    const ListeningSocket silentCompositor((runtime / "wayland-silent").string());
    // An X display number that nothing serves, and one whose server takes
    // connections and never answers (a stopped server, a stalled forward),
    // its number this run's own: abstract names are shared by every run.
    const std::string noX = ":64999", silentX = ":" + std::to_string(60000 + getpid() % 4000);
    const ListeningSocket silentXServer("@/tmp/.X11-unix/X" + silentX.substr(1));
    // Qt's plugins without the generic Wayland one, which lies in a
    // directory of its own; no devices but a framebuffer named by option.
    const fs::path plugins = runtime / "plugins", extra = runtime / "extra", devices = runtime / "dev";
    fs::create_directories(plugins);
    fs::create_directories(extra / "platforms");
    fs::create_directories(devices);
    for (const char* name : {"xcb", "offscreen", "vnc", "linuxfb", "eglfs", "vkkhrdisplay", "wayland-egl"})
        std::ofstream(plugins / ("libq" + std::string(name) + ".so"));
    std::ofstream(extra / "platforms" / "libqwayland-generic.so");
    const std::string fb = runtime / "fb", wayland = extra / "platforms";
    std::ofstream{fb};

    const struct {
        std::map<std::string, std::string> environment;
        std::string why;  // empty: a display can be had
    } rows[] = {
        {{}, "DISPLAY is not set"},
        {{{"DISPLAY", ""}}, "DISPLAY is not set"},
        {{{"DISPLAY", noX}}, "the X display \":64999\" cannot be opened"},
        {{{"DISPLAY", silentX}}, "the X display \"" + silentX + "\" did not answer within 5 s"},
        // Wayland is tried first where the session says so, then X11.
        {{{"WAYLAND_DISPLAY", "wayland-7"}, {"XDG_RUNTIME_DIR", runtime}, {"QT_QPA_PLATFORM_PLUGIN_PATH", wayland}}, ""},
        {{{"WAYLAND_DISPLAY", absolute}, {"QT_PLUGIN_PATH", "/nowhere:" + extra.string()}}, ""},
        {{{"WAYLAND_DISPLAY", "wayland-silent"}, {"XDG_RUNTIME_DIR", runtime}, {"QT_QPA_PLATFORM_PLUGIN_PATH", wayland}},
         "the Wayland display \"" + (runtime / "wayland-silent").string() + "\" did not answer within 5 s; DISPLAY is not set"},
        {{{"XDG_SESSION_TYPE", "wayland"}, {"XDG_RUNTIME_DIR", runtime}, {"QT_QPA_PLATFORM_PLUGIN_PATH", wayland}},
         "the Wayland display \"" + (runtime / "wayland-0").string() + "\" cannot be reached; DISPLAY is not set"},
        {{{"WAYLAND_DISPLAY", "wayland-7"}, {"QT_QPA_PLATFORM_PLUGIN_PATH", wayland}},
         "XDG_RUNTIME_DIR is not set for the Wayland display \"wayland-7\"; DISPLAY is not set"},
        {{{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_SOCKET", "999"}, {"QT_QPA_PLATFORM_PLUGIN_PATH", wayland}},
         "WAYLAND_SOCKET \"999\" is no socket"},
        // A compositor is no use without Qt's plugin for it.
        {{{"WAYLAND_DISPLAY", absolute}}, "Qt's Wayland plugin is not installed (package qt6-wayland); DISPLAY is not set"},
        // QT_QPA_PLATFORM decides alone, options and all.
        {{{"QT_QPA_PLATFORM", "offscreen"}}, ""},
        {{{"QT_QPA_PLATFORM", "vnc:size=800x600"}}, ""},
        {{{"QT_QPA_PLATFORM", ""}, {"WAYLAND_DISPLAY", absolute}, {"QT_QPA_PLATFORM_PLUGIN_PATH", wayland}}, ""},
        {{{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", absolute}}, "DISPLAY is not set"},
        {{{"QT_QPA_PLATFORM", "xcb:nograbs"}, {"DISPLAY", noX}}, "the X display \":64999\" cannot be opened"},
        {{{"QT_QPA_PLATFORM", "wayland-egl;xcb"}, {"WAYLAND_DISPLAY", absolute}}, ""},
        {{{"QT_QPA_PLATFORM", "xcb;offscreen"}}, ""},
        {{{"QT_QPA_PLATFORM", ";"}}, "QT_QPA_PLATFORM names no platform"},
        // Names Qt does not know, in any case, and platforms that draw on devices.
        {{{"QT_QPA_PLATFORM", "foo"}}, "Qt has no platform plugin \"foo\""},
        {{{"QT_QPA_PLATFORM", " "}}, "Qt has no platform plugin \" \""},
        {{{"QT_QPA_PLATFORM", "OffScreen"}}, ""},
        {{{"QT_QPA_PLATFORM", "linuxfb"}}, "the framebuffer \"" + (devices / "fb0").string() + "\" cannot be opened"},
        {{{"QT_QPA_PLATFORM", "linuxfb:fb=" + fb}}, ""},
        {{{"QT_QPA_PLATFORM", "eglfs"}}, "no graphics card in \"" + (devices / "dri").string() + "\" can be opened"},
        {{{"QT_QPA_PLATFORM", "eglfs"}, {"QT_QPA_EGLFS_INTEGRATION", "eglfs_x11"}}, "DISPLAY is not set"},
        {{{"QT_QPA_PLATFORM", "vkkhrdisplay"}}, "the platform \"vkkhrdisplay\" shows no widget windows"},
    };
    for (const auto& row : rows) {
        const auto lookup = [&](const char* name) -> const char* {
            const auto found = row.environment.find(name);
            return found == row.environment.end() ? nullptr : found->second.c_str();
        };
        std::string described;
        for (const auto& [name, value] : row.environment)
            described += name + "=" + value + " ";
        EXPECT_EQ(vantrel::DisplayCheck(lookup, {plugins, devices}).Why(), row.why) << described;
    }
    fs::remove_all(runtime);
}

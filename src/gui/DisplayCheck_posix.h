// Whether the window will have a display to appear on, found out before any
// child is started and far more cheaply than the toolkit's own start-up: the
// environment says which display systems the toolkit will try, and each one
// is given a connection attempt.
#pragma once

#include <chrono>
#include <functional>
#include <string>

struct wl_display;
struct xcb_connection_t;

namespace vantrel {

// Reads one environment variable; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// Where the toolkit's platform plugins and the system's devices are; empty
// strings stand for this system's own (the plugin directory Qt was built
// with, and /dev).
struct PlatformPlaces {
    std::string plugins;
    std::string devices;
};

// How long a display server has to answer the check.
inline constexpr std::chrono::seconds DisplayAnswerLimit{5};

// Finds out on construction whether a display can be had; Why is empty
// when one can, and otherwise says why not, in words for the user ("DISPLAY
// is not set", "the X display \":5\" cannot be opened", ...). A server that
// takes the connection and then does not answer within DisplayAnswerLimit
// (a stopped server, a stalled forwarded connection) counts as none.
//
// The toolkit tries the platforms named in QT_QPA_PLATFORM (separated by
// ';', each perhaps with ':options'), or by default Wayland first when
// WAYLAND_DISPLAY is set or XDG_SESSION_TYPE is "wayland", then X11. The
// first one that starts is used, so one reachable display is enough:
// - X11 ("xcb"): a connection to DISPLAY, authorisation included, and one
//   round trip.
// - Wayland ("wayland..."): a connection to the compositor's socket
//   (WAYLAND_DISPLAY, "wayland-0" by default, under XDG_RUNTIME_DIR unless it
//   is a full path) and one round trip; or a socket that the compositor
//   handed over (WAYLAND_SOCKET), which only the window may speak on: it is
//   looked at, not spoken to, and the window's own time limit covers it.
// - A platform that draws on a device: "linuxfb" its framebuffer (the
//   "fb=" option, or fb0), "eglfs" and "minimalegl" a graphics card's DRM
//   device (eglfs on its X11 integration: X11 as above). Each must open.
// - "vkkhrdisplay" shows no widget window and is never available.
// - Any other platform ("offscreen", "vnc", ...) needs no display server
//   that could be checked here and counts as available.
// Every platform also needs its plugin installed where Qt looks for it
// (QT_QPA_PLATFORM_PLUGIN_PATH, QT_PLUGIN_PATH's "platforms", Qt's own
// directory); a name with no plugin is one Qt does not know.
//
// The connection that succeeded stays open until the object goes: keep it
// until the toolkit has opened its own. An X server that has just seen a
// client leave makes the next one wait some 25 ms for its connection, and
// now and then refuses it.
class DisplayCheck {
public:
    explicit DisplayCheck(const EnvironmentLookup& environment, const PlatformPlaces& places = {});
    ~DisplayCheck();
    DisplayCheck(const DisplayCheck&) = delete;
    DisplayCheck& operator=(const DisplayCheck&) = delete;

    const std::string& Why() const { return why_; }

private:
    std::string why_;
    xcb_connection_t* x11_ = nullptr;
    wl_display* wayland_ = nullptr;
};

} // namespace vantrel

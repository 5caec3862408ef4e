// Whether the window will have a display to appear on, found out before any
// child is started and far more cheaply than the toolkit's own start-up: the
// environment says which display systems the toolkit will try, and each one
// is given a connection attempt.
#pragma once

#include <functional>
#include <string>

namespace vantrel {

// Reads one environment variable; null when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// Empty when a display can be had; otherwise why not, in words for the user
// ("DISPLAY is not set", "the X display \":5\" cannot be opened", ...).
//
// The toolkit tries the platforms named in QT_QPA_PLATFORM (separated by
// ';', each perhaps with ':options'), or by default Wayland first when
// WAYLAND_DISPLAY is set or XDG_SESSION_TYPE is "wayland", then X11. The
// first one that starts is used, so one reachable display is enough:
// - X11 ("xcb"): a connection to DISPLAY, authorisation included.
// - Wayland ("wayland..."): a connection to the compositor's socket
//   (WAYLAND_SOCKET, or WAYLAND_DISPLAY, "wayland-0" by default, under
//   XDG_RUNTIME_DIR unless it is a full path).
// - Any other platform ("offscreen", "vnc", "eglfs", ...) needs no display
//   server that could be checked here and counts as available.
std::string WhyNoDisplay(const EnvironmentLookup& environment);

} // namespace vantrel

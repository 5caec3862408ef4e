// How the supervisor and the window's program speak (on Linux the window is
// a program of its own, gui_qt.cpp). The supervisor starts it, by an
// absolute path and before the command, as
//   vantrel-window NAME           the output window
//   vantrel-window --usage NAME   the usage message
// NAME being Vantrel's own program name, for its messages and the usage.
// Its standard input is a socket. While the command runs the window's
// program builds the window; the command's output then comes on the socket
// until the supervisor shuts its side (end of file: all of it is there), and
// the window shows it. Once it has shown the window, or the usage message,
// the window's program writes Shown back on the socket. SIGTERM asks it to
// close as the window's close button does, so that the clipboard is handed
// over to a clipboard manager. Its exit status is 0 once the window is
// closed. The test children that play the window speak the same.
#pragma once

#include <csignal>

namespace vantrel::window {

// The first parameter when the window's program is to show the usage
// message instead of the output.
inline constexpr const char* ShowsUsage = "--usage";

// What the window's program writes back once it has shown the window.
inline constexpr char Shown = 'S';

// The signal that asks the window's program to close.
inline constexpr int EndRequest = SIGTERM;

// The exit status of the window's program when the toolkit has no screen to
// show the window on.
inline constexpr int FoundNoScreen = 3;

} // namespace vantrel::window

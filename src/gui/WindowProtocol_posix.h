// How the supervisor and the window's program speak (on Linux the window is
// a program of its own, gui_qt.cpp). The supervisor starts it as
//   vantrel-window NAME           the output window
//   vantrel-window --usage NAME   the usage message
// NAME being Vantrel's own program name, for its messages and the usage.
// Started while the command runs, it builds the window; the command's output
// then comes on its standard input, which the supervisor closes once it has
// handed all of it over, and the window shows it. Its exit status is 0 once
// the window is closed. The test children that play the window speak the
// same.
#pragma once

namespace vantrel::window {

// The first parameter when the window's program is to show the usage
// message instead of the output.
inline constexpr const char* ShowsUsage = "--usage";

// The exit status of the window's program when the toolkit has no screen to
// show the window on.
inline constexpr int FoundNoScreen = 3;

} // namespace vantrel::window

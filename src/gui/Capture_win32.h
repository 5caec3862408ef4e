// What the Windows capture offers beyond Capture.h. The command is started
// by Process_win32.h; while the capture waits for it, the calling thread's
// sent and posted messages are dispatched, so that its windows, hidden or
// not, answer every message the system or another program sends them (a
// broadcast, the question whether the session may end, a request to close).
// A WM_QUIT taken from the queue meanwhile is posted again once the capture
// is done: it belongs to the caller's own message loop.
#pragma once

#include "Capture.h"

#include <string>
#include <string_view>

namespace vantrel {

// 8-bit text as the system's ANSI code page reads it.
std::u16string FromAnsi(std::string_view bytes);

} // namespace vantrel

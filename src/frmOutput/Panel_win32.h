// The bottom panel on the Win32 API: a plain container in the window's
// colour with a lowered outer bevel, on which labels are drawn in the
// window's text colour. The notices of the controls on it go on to the
// window it lies on, which handles them as its own; the dialog manager walks
// into it for the tab order and the accelerators.
#pragma once

#include <windows.h>

namespace vantrel {

HWND CreatePanel(HWND parent, HINSTANCE instance);

} // namespace vantrel

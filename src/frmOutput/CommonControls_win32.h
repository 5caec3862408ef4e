// The common controls on the Win32 API, loaded from the system directory at
// run time (SystemLibrary_win32.h): made ready for the window, a tooltip,
// and the Copy All button's picture made into the image list a button draws.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace vantrel {

// Registers the classes the window uses: the standard controls, tooltips.
void InitializeCommonControls();

// Gives the control a tooltip, shown when the pointer rests on it; the
// tooltip belongs to the window `owner` and goes with it.
void AddTooltip(HWND owner, HWND control, const wchar_t* text);

// The button's picture (the strip IDB_COPY: normal image left, disabled one
// right) at that many pixels square, as a button's image list; null where
// the common controls could not be loaded.
HIMAGELIST LoadButtonPicture(HINSTANCE instance, int size);
void DestroyButtonPicture(HIMAGELIST picture);

} // namespace vantrel

// The program's entry point on Windows: either the usage message, or one run
// that captures the command's output and shows it in the output window.
// The command line is taken, split, joined and handed on in UTF-16, as
// Windows keeps it, so that every character reaches the child as the user
// typed it; the 8-bit forms would turn characters outside the ANSI code
// page into look-alikes.
#include "Capture_win32.h"
#include "CommandLine.h"
#include "Process_win32.h"
#include "SystemLibrary_win32.h"
#include "frmOutput_win32.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

const wchar_t* Wide(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string ModulePath()
{
    std::u16string path(MAX_PATH, u'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path.data()), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// How the starter asked the window to be shown, as far as Vantrel follows
// it: minimised (as it asked, with or without activating it), or normally;
// hidden would leave it unseen, and the tool window cannot be maximised.
int StartingShowState()
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    if (startup.dwFlags & STARTF_USESHOWWINDOW) {
        switch (startup.wShowWindow) {
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE:
            return startup.wShowWindow;
        case SW_FORCEMINIMIZE:
            return SW_SHOWMINNOACTIVE;
        }
    }
    return SW_SHOWNORMAL;
}

// The event loop, until the window has gone: only that ends it. A WM_QUIT
// that another program posts to the thread, before the window is shown
// (the capture leaves it in the queue) or after, is passed over, and the
// exit status is 0 whatever it said.
void RunEventLoop(Tfrm_Output& form)
{
    MSG message;
    while (form.IsOpen()) {
        if (GetMessageW(&message, nullptr, 0, 0) > 0)
            form.Dispatch(message);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    vantrel::SearchSystemDirectoryOnly();

    // Parameters 1..N by the parameter splitter's rules; the first word of the
    // raw command line is the program itself. The C runtime's own argv treats
    // backslashes and quotes differently and is not used.
    std::vector<std::u16string> parameters =
        vantrel::SplitParameters(reinterpret_cast<const char16_t*>(GetCommandLineW()));
    if (!parameters.empty())
        parameters.erase(parameters.begin());

    if (parameters.empty()) {
        const std::u16string text = vantrel::UsageText(vantrel::FileNamePart(ModulePath(), u"\\/:"));
        MessageBoxW(nullptr, Wide(text), L"Error", MB_ICONINFORMATION | MB_TOPMOST | MB_OK);
        return 0;
    }
    const std::u16string ChildCommandLine = vantrel::JoinChildCommandLine(parameters);

    // The child starts at once and runs while the window is being built, so
    // that building it costs the user no time of its own. What the child
    // writes meanwhile waits in the pipe; a full pipe only pauses the child
    // until the drain below. The window still appears only once it has ended;
    // until then the capture answers the window's messages.
    vantrel::BasicChildCapture<char16_t> capture(ChildCommandLine);
    Tfrm_Output frm_Output(instance);
    const std::u16string output = capture.Finish();
    // Closed while the command ran (the hidden window got WM_CLOSE): the
    // command has ended on its own, and nothing is shown.
    if (!frm_Output.IsOpen())
        return 0;
    vantrel::ShowOutput(frm_Output.View(), output, [&] { frm_Output.Show(StartingShowState()); });
    RunEventLoop(frm_Output);
    return 0;
}

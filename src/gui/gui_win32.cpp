// The program's entry point on Windows: either the usage message, or one run
// that captures the command's output and shows it in the output window.
#include "Capture.h"
#include "CommandLine.h"
#include "SystemLibrary_win32.h"
#include "frmOutput_win32.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

// The view shows the captured bytes as the system's ANSI code page reads them.
std::u16string FromAnsi(const std::string& bytes)
{
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, text.data(), length);
    return std::u16string(text.begin(), text.end());
}

std::string ModulePath()
{
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    vantrel::SearchSystemDirectoryOnly();

    // Parameters 1..N by the parameter splitter's rules; the first word of the
    // raw command line is the program itself. The C runtime's own argv treats
    // backslashes and quotes differently and is not used.
    std::vector<std::string> parameters = vantrel::SplitParameters(GetCommandLineA());
    if (!parameters.empty())
        parameters.erase(parameters.begin());

    if (parameters.empty()) {
        const std::string text = vantrel::UsageText(vantrel::FileNamePart(ModulePath(), "\\/:"));
        MessageBoxA(nullptr, text.c_str(), "Error", MB_ICONINFORMATION | MB_TOPMOST | MB_OK);
        return 0;
    }
    const std::string ChildCommandLine = vantrel::JoinParameters(parameters);

    // The child starts at once and runs while the window is being built, so
    // that building it costs the user no time of its own. What the child
    // writes meanwhile waits in the pipe; a full pipe only pauses the child
    // until the drain below. The window still appears only once it has ended.
    vantrel::ChildCapture capture(ChildCommandLine);
    Tfrm_Output frm_Output(instance);
    const std::string output = capture.Finish();
    frm_Output.View().AddLine(FromAnsi(output));
    frm_Output.Show();
    frm_Output.View().SetSelStart(0);
    frm_Output.View().SetSelLength(0);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (frm_Output.PreTranslateMessage(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

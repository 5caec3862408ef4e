// End-to-end test of the real vantrel.exe under Windows (run here under
// wine64 on Xvfb), for what only the real program and display can show: it
// starts Vantrel with a command line, finds its window and controls, types
// into the view, presses keys as a user does, reads the view, the clipboard
// (also after Vantrel has ended) and the exit status, and sends the messages
// other programs send. What the window does with each key is the window
// test's, what a command line gives the capture test's. Each case starts
// Vantrel as few times as it can: a start of the 32-bit exe under emulation
// costs a minute.
//   vantrel_e2e_win32.exe [GoogleTest options] <path of vantrel.exe>
// A /unix/path to the exe works too. The children Vantrel runs are this
// binary again (Children_win32.h); started under another file name (a
// planted cmd.exe), it only says so.
#include "ChildOutput.h"
#include "Children_win32.h"
#include "Driver_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace {

// The text of the usage message box: its one static control with text.
std::wstring MessageText(HWND box)
{
    std::wstring text;
    for (HWND child = nullptr; (child = FindWindowExW(box, child, L"Static", nullptr)) != nullptr;)
        text = TextOf(child).empty() ? text : TextOf(child);
    return text;
}

} // namespace

TEST(EndToEnd, Usage)
{
    Program vantrel(L"");
    HWND box = vantrel.FindWindowTitled(L"Error");
    ASSERT_TRUE(box) << "no parameters: the usage message box opens";
    EXPECT_EQ(vantrel.FindWindowTitled(L"Vantrel", 0), nullptr) << "and no other window";
    // Wine's message box does not apply MB_TOPMOST, so staying on top cannot
    // be seen here; the flag is passed (gui_win32.cpp).
    EXPECT_EQ(MessageText(box), L"CommandLine-Output Display Applet\r\rSyntax:\r     vantrel.exe app.exe appparams");
    SetForegroundWindow(box);
    Key(VK_RETURN);
    EXPECT_EQ(vantrel.WaitForExit(), 0u) << "OK ends the program with status 0";
}

// The error text shows the command line as the user gave it, characters
// outside the ANSI code page included.
TEST(EndToEnd, AProgramThatIsNotFound)
{
    EXPECT_EQ(ViewAfterRun(L"vantrel-no-such-\u03a9.exe -x"), L"Error: \"2\" -> vantrel-no-such-\u03a9.exe -x\n");
}

// One run that covers what a capture shows and what the program does with
// it, at the density the test names (the 32-bit exe runs it at 144 dpi on
// the test's 1366 by 768 screen, where the scaled window does not fit). The
// child writes "Error, error, ERROR", reads its input, writes 12 KB of CRLF
// lines with a NUL after 6000 bytes; it then waits until the test has sent
// the hidden window what other programs send, broadcasts WM_SETTINGCHANGE
// itself, and leaves a grandchild that writes until its writes fail.
// Its parameter: the density, and the show state the starter asks for (-1:
// none). Started hidden or minimised, the window appears: minimised where
// asked, with the focus in the field once it is restored.
class CaptureRun : public testing::TestWithParam<std::pair<int, int>> {};

TEST_P(CaptureRun, ShowsTheOutputAndAnswersWhileTheCommandRuns)
{
    const auto [dpi, show] = GetParam();
    auto scale = [&](int pixels) { return MulDiv(pixels, dpi, 96); };
    const GoSignal go("capture");
    MadeFiles made;
    const std::string stopped = made.Marker(TempPath("vantrel-e2e-flood-stopped-"));
    ClearClipboard();
    SetScreenDensity(static_cast<DWORD>(dpi));
    Program vantrel(Wide(ChildLine("bytes 4572726f722c206572726f722c204552524f520d0a 1 + stdin + bytes 0d0a 1 + "
                          "bytes 61620d0a 1500 00 + bytes 63640d0a 1500 + wait-event " + go.name +
                          " + broadcast + grandchild 1 flood \"" + stopped + "\"")),
                    vantrelPath, L"", show);

    // While the command runs, the hidden window answers what other programs
    // send it: a broadcast's message, and the question whether the session
    // may end (a hung window would hold both up until the time limit). A
    // WM_QUIT another program posts to its thread ends nothing.
    const HWND hidden = vantrel.HiddenWindow();
    SetScreenDensity(96);
    ASSERT_TRUE(hidden) << "the hidden window is made while the command runs";
    const auto limit = static_cast<UINT>(10000 * timeoutScale);
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutW(hidden, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                                    SMTO_BLOCK, limit, &answer)) << "a broadcast's message is answered";
    EXPECT_TRUE(SendMessageTimeoutW(hidden, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, limit, &answer) &&
                answer) << "the session may end";
    EXPECT_FALSE(IsWindowVisible(hidden)) << "the window stays hidden while the command runs";
    PostThreadMessageW(GetWindowThreadProcessId(hidden, nullptr), WM_QUIT, 7, 0);
    go.Set();

    // The window opens once the child has ended: its own broadcast was
    // answered, and the grandchild holding the output holds nothing up.
    HWND window = vantrel.FindWindowTitled(L"Vantrel", 60000);
    ASSERT_TRUE(window) << "the Vantrel window opens";
    HWND view = Control(window, L"RichEdit20W");
    HWND field = Control(window, L"Edit");
    EXPECT_EQ(IsIconic(window) != FALSE, show == SW_SHOWMINNOACTIVE) << "minimised only where the starter asked";
    PostMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(window); })) << "restored";
    SetForegroundWindow(window);
    std::wstring lines;
    for (int i = 0; i < 1500; ++i)
        lines += L"ab\n";
    const std::wstring shown = L"Error, error, ERROR\nend of input\n" + lines;
    EXPECT_EQ(Lines(TextOf(view)), shown + L"\n") << "CRLF becomes LF, the text ends at the NUL, plus one line break";
    EXPECT_TRUE(WaitUntil([&] { return Exists(stopped); })) << "the grandchild's writes fail once the window is open";

    // Start-up: the caret at 0, the focus in the field; the window has the
    // scaled size, cut to its monitor's work area, and is centred in it (the
    // layout of the controls in it is the window test's).
    EXPECT_TRUE(WaitUntil([&] { return SendMessageW(view, EM_GETSEL, 0, 0) == 0; })) << "the caret stands at the start";
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(window) == field; })) << "the find field has the focus";
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT work = monitor.rcWork;
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, std::min<int>(scale(668), work.right - work.left));
    EXPECT_EQ(outer.bottom - outer.top, std::min<int>(scale(600), work.bottom - work.top));
    EXPECT_LE(std::abs(outer.left - work.left - (work.right - outer.right)), 1) << "centred";
    EXPECT_LE(std::abs(outer.top - work.top - (work.bottom - outer.bottom)), 1) << "centred";

    // Text typed into the view is copied like the output; what was copied
    // last is still on the clipboard once Vantrel has ended, as Unicode and
    // as 8-bit text. Nothing reads it before, so that no format is rendered
    // early. (The keys and the focus are the window test's; Shift+Tab here
    // only takes the focus to the view.)
    Key(VK_TAB, {VK_SHIFT});
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(window) == view; })) << "Shift+Tab reaches the view";
    Key(VK_END, {VK_CONTROL});
    for (const wchar_t c : {L'Z', L'e', L'd'}) // as the keyboard's translation delivers them
        SendMessageW(view, WM_CHAR, c, 1);
    ClearClipboard();
    Key('C', {VK_MENU});
    EXPECT_TRUE(WaitUntil([] { return IsClipboardFormatAvailable(CF_UNICODETEXT); })) << "Alt+C offers text";
    EXPECT_EQ(vantrel.Close(window), 0u) << "closing the window ends the program with status 0";
    EXPECT_TRUE(Lines(Clipboard()) == shown + L"\nZed") << "the copy outlives Vantrel";
    EXPECT_TRUE(Lines(Clipboard(CF_TEXT)) == shown + L"\nZed") << "also as 8-bit text";
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, CaptureRun,
                         testing::Values(std::pair{96, -1}, std::pair{96, SW_HIDE}, std::pair{144, SW_SHOWMINNOACTIVE}),
                         [](const auto& info) {
                             const char* how = info.param.second < 0 ? "" : info.param.second ? "Minimised" : "Hidden";
                             return std::to_string(info.param.first) + "dpi" + how;
                         });

// A request to close the hidden window (taskkill without /F sends one)
// closes it at once; Vantrel ends once the command has ended on its own,
// with nothing shown.
TEST(EndToEnd, ClosedWhileTheCommandRuns)
{
    const GoSignal go("close");
    MadeFiles made;
    const std::string ended = made.Marker(TempPath("vantrel-e2e-child-ended-"));
    Program vantrel(Wide(ChildLine("wait-event " + go.name + " + touch \"" + ended + "\"")));
    const HWND hidden = vantrel.HiddenWindow();
    ASSERT_TRUE(hidden);
    PostMessageW(hidden, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(hidden); })) << "the window goes while the command runs";
    go.Set();
    EXPECT_EQ(vantrel.WaitForExit(), 0u);
    EXPECT_TRUE(Exists(ended)) << "the command was not killed";
}

// Command lines only the real exe shows (the rest are the capture test's): a
// 64-bit program only the native system directory holds, which the 32-bit
// exe, redirected to the 32-bit one, finds in the native view.
TEST(EndToEnd, CommandLines)
{
    // This driver is a 64-bit program: its system directory is the native one.
    wchar_t system[MAX_PATH];
    MadeFiles made;
    const std::wstring native = made.Copy(Wide(SelfPath()), std::wstring(system, GetSystemDirectoryW(system, MAX_PATH)) +
                                                                L"\\vantrel-native-only.exe");
    ASSERT_FALSE(native.empty());
    const struct {
        const char* what;
        std::wstring parameters;
    } rows[] = {
        {"a 64-bit-only program named without a path", L"vantrel-native-only /x"},
        {"a 64-bit-only program by its path in the system directory", native + L" /x"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ViewAfterRun(row.parameters), L"vantrel-native-only.exe ran\n") << row.what;
}

// A copy of Vantrel in a folder of its own, as in a Downloads folder, with
// programs and DLLs of system names planted beside it, started from there.
// Windows has no built-in DLLs and would take a planted one first from the
// exe's folder; a DLL override makes Wine prefer a DLL found on disk over
// its own in the same way. Vantrel must run none of them: neither the DLLs
// it loads itself (the rich edit control, the common controls) nor those
// these need in turn, nor a planted cmd.exe. A program found nowhere but
// beside it still runs.
TEST(EndToEnd, NothingPlantedBesideTheExeRuns)
{
    MadeFiles made;
    const std::wstring folder = made.Folder(Wide(TempPath("vantrel-planted-")));
    const std::wstring self = Wide(SelfPath());
    const std::wstring planted = self.substr(0, self.rfind(L'\\')) + L"\\planted.dll";
    const std::vector<std::wstring> names = {L"riched20", L"usp10",   L"comctl32", L"uxtheme", L"msimg32",
                                             L"ole32",    L"combase", L"oleaut32", L"rpcrt4"};
    const std::wstring exe = made.Copy(vantrelPath, folder + L"\\vantrel.exe");
    bool copied = !exe.empty() && !made.Copy(self, folder + L"\\cmd.exe").empty() &&
                  !made.Copy(self, folder + L"\\vantrel-beside.exe").empty();
    for (const std::wstring& name : names) {
        copied = !made.Copy(planted, folder + L"\\" + name + L".dll").empty() && copied;
        made.Made(folder + L"\\" + name + L".dll.ran"); // the marker it leaves when loaded
    }
    ASSERT_TRUE(copied) << "the exe and what to plant are copied";

    // Wine's per-program DLL overrides, for vantrel.exe only, while it
    // starts; removed again at once.
    HKEY overrides;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\vantrel.exe\\DllOverrides", 0, nullptr, 0,
                    KEY_SET_VALUE, nullptr, &overrides, nullptr);
    for (const std::wstring& name : names)
        RegSetValueExW(overrides, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L"native,builtin"),
                       sizeof L"native,builtin");
    RegCloseKey(overrides);
    {
        Program vantrel(L"cmd /c echo nothing planted ran", exe, folder);
        HWND window = vantrel.FindWindowTitled(L"Vantrel");
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\vantrel.exe");
        ASSERT_TRUE(window) << "the copy beside the planted files opens its window";
        EXPECT_EQ(Lines(TextOf(Control(window, L"RichEdit20W"))), L"nothing planted ran\n\n");
        ClearClipboard();
        SetForegroundWindow(window);
        Key('C', {VK_MENU});
        EXPECT_TRUE(WaitUntil([] { return IsClipboardFormatAvailable(CF_UNICODETEXT); })) << "Copy All works there";
        EXPECT_EQ(vantrel.Close(window), 0u);
    }
    EXPECT_EQ(ViewAfterRun(L"vantrel-beside /x", exe, folder), L"vantrel-beside.exe ran\n");

    // Each marker lists the programs that ran the planted DLL's code; other
    // programs (the child, Wine's own) are no concern of Vantrel's.
    for (const std::wstring& name : names) {
        std::ostringstream text;
        text << std::ifstream((folder + L"\\" + name + L".dll.ran").c_str(), std::ios::binary).rdbuf();
        std::string loaders = text.str();
        CharLowerA(loaders.data());
        EXPECT_EQ(loaders.find("\\vantrel.exe\n"), std::string::npos) << "a planted " << std::string(name.begin(), name.end()) << ".dll ran in Vantrel";
    }
}

int main(int argc, char** argv)
{
    if (const auto status = RunAsChild(argc, argv, "vantrel_e2e"))
        return *status;
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fputs("usage: vantrel_e2e_win32 [GoogleTest options] <path of vantrel.exe>\n", stderr);
        return 2;
    }
    if (const char* scale = std::getenv("VANTREL_E2E_TIMEOUT_SCALE"); scale && std::atof(scale) > 0)
        timeoutScale = std::atof(scale);
    std::string path = argv[1];
    if (!path.empty() && path[0] == '/') {
        // A Unix path, as the build names files; Wine's Z: drive is the root.
        path = "Z:" + path;
        std::replace(path.begin(), path.end(), '/', '\\');
    }
    vantrelPath = Wide(path);
    return RUN_ALL_TESTS();
}

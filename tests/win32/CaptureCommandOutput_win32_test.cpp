// CaptureCommandOutput on Windows against real children. As on Linux, the
// test binary is its own child (Children_win32.h), so each case is a few
// lines of C++ next to its test.
#include "Capture_win32.h"
#include "ChildOutput.h"
#include "Children_win32.h"
#include "CommandLine.h"
#include "Process_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

using vantrel::CaptureBufferSize;
using vantrel::CaptureCommandOutput;

TEST(Capture, OutputAsTheChildWroteIt)
{
    const char* commandLine = "commandline \"two  words\" back\\slash -x /y";
    std::vector<ChildCase> rows = SameOnEveryPlatform();
    rows.insert(rows.end(), {
        {"count 4194304", Alphabet(CaptureBufferSize)},    // far more than the pipe holds: drained, no deadlock
        {"count 1073741824", Alphabet(CaptureBufferSize)}, // a gibibyte
        {"stdin", "end of input"},                         // standard input is there and empty: read at once
        {commandLine, ChildLine(commandLine)},             // the command line reaches the child unchanged
    });
    for (const ChildCase& row : rows)
        EXPECT_EQ(CaptureCommandOutput(ChildLine(row.child)), row.text) << row.child;
}

TEST(Capture, ProgramsThatCannotBeStarted)
{
    EXPECT_EQ(CaptureCommandOutput("vantrel-no-such-program.exe --flag"),
              "Error: \"2\" -> vantrel-no-such-program.exe --flag");
    // A shell's built-in command is no program of its own.
    EXPECT_EQ(CaptureCommandOutput("dir C:\\"), "Error: \"2\" -> dir C:\\");
    // Other failures keep their own numbers, in the same form.
    const std::string directory = CaptureCommandOutput("C:\\windows");
    EXPECT_EQ(directory.rfind("Error: \"", 0), 0u) << directory;
    EXPECT_EQ(directory.substr(directory.size() - 15), "\" -> C:\\windows") << directory;
}

TEST(Capture, AGrandchildHoldingTheOutputDoesNotHoldUsUp)
{
    // A quiet grandchild the test lets go only after the captures, and eight
    // busy ones that write until a write fails: the capture ends with the
    // child, keeping its output and what the pipe held of theirs; one that
    // waited for a grandchild would hang (the watchdog names it). Once the
    // output is taken the pipe is closed, while the capture lives on: the
    // busy ones' writes fail, and they stop (leaving the marker).
    const GoSignal go("quiet-grandchild");
    MadeFiles made;
    const std::string stopped = made.Marker(TempPath("vantrel-flood-stopped-"));
    for (const std::string& grandchildren : {"1 wait-event " + go.name, "8 flood \"" + stopped + "\""}) {
        vantrel::ChildCapture capture(ChildLine("grandchild " + grandchildren));
        const std::string text = capture.Finish();
        EXPECT_EQ(text.substr(0, 11), "parent done") << grandchildren;
        EXPECT_EQ(text.find_first_not_of('g', 11), std::string::npos) << grandchildren;
        while (grandchildren[2] == 'f' && !Exists(stopped))
            Sleep(10);
    }
}

TEST(Capture, TheChildInheritsItsStandardHandlesAlone)
{
    // An inheritable handle of ours, as a file that Vantrel's own output was
    // redirected to would be: the child must not be able to write into it.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inheritable, 0));
    CaptureCommandOutput(ChildLine("write-handle " + std::to_string(reinterpret_cast<std::uintptr_t>(writeEnd))));
    DWORD leaked = 0;
    EXPECT_TRUE(PeekNamedPipe(readEnd, nullptr, 0, nullptr, &leaked, nullptr));
    EXPECT_EQ(leaked, 0u);
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
}

TEST(Capture, TheOutputPipeCannotBeSquattedOrOpenedByOthers)
{
    // Names taken by another program are passed over for new ones; a source
    // that only ever gives taken names fails with the system's number.
    static std::uint64_t next;
    const auto sequence = [] { return ++next; };
    HANDLE squatted[2];
    for (int i = 0; i < 2; ++i)
        squatted[i] = CreateNamedPipeW(vantrel::OutputPipeName(i + 1).c_str(), PIPE_ACCESS_INBOUND, 0, 1, 0, 0, 0,
                                       nullptr);
    vantrel::OutputPipe pipe;
    next = 0;
    EXPECT_EQ(vantrel::CreateOutputPipe(pipe, sequence), 0u);
    EXPECT_EQ(next, 3u);
    next = 0;
    EXPECT_NE(vantrel::CreateOutputPipe(pipe, [] { return next = 1; }), 0u);
    EXPECT_EQ(pipe.readEnd.Get(), nullptr);

    // Its one access rule lets the current user in, and no one else.
    ASSERT_EQ(vantrel::CreateOutputPipe(pipe), 0u);
    char descriptor[4096];
    DWORD size = 0;
    ASSERT_TRUE(GetKernelObjectSecurity(pipe.readEnd.Get(), DACL_SECURITY_INFORMATION, descriptor,
                                        sizeof descriptor, &size));
    BOOL present = FALSE, defaulted = FALSE;
    ACL* dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present && dacl);
    ASSERT_EQ(dacl->AceCount, 1);
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, reinterpret_cast<void**>(&ace)));
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    char user[256];
    GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    CloseHandle(token);
    EXPECT_TRUE(EqualSid(&ace->SidStart, reinterpret_cast<TOKEN_USER*>(user)->User.Sid));
    for (HANDLE squatter : squatted)
        CloseHandle(squatter);
}

TEST(Capture, WaitsForTheChildEvenAfterItClosedItsOutput)
{
    MadeFiles made;
    const std::string marker = made.Marker(TempPath("vantrel-late-"));
    EXPECT_EQ(CaptureCommandOutput(ChildLine("close-early \"" + marker + "\"")), "early");
    EXPECT_TRUE(Exists(marker));
}

TEST(Capture, AChildStartedBeforeTheWindowLosesNothing)
{
    // Start-up starts the child, then builds the window: meanwhile the child
    // fills the pipe and waits, and goes on once the drain starts.
    vantrel::ChildCapture capture(ChildLine("count 1048576"));
    Sleep(500);
    EXPECT_EQ(capture.Finish(), Alphabet(CaptureBufferSize));
}

TEST(Capture, LongAndNonAsciiCommandLinesReachTheChildUnchanged)
{
    // At the platform's limit, whatever the length of the test's own path:
    // a command line takes 32766 characters and the final NUL. One more and
    // the child cannot be started.
    std::string line = ChildLine("linesum");
    for (int i = 0; line.size() < 32767; ++i)
        line += " " + std::to_string(i) + std::string(90, static_cast<char>('a' + i % 26));
    line.resize(32766);
    EXPECT_EQ(CaptureCommandOutput(line), Fingerprint(line));
    const std::string tooLong = line + "x";
    const std::string error = CaptureCommandOutput(tooLong);
    EXPECT_EQ(error.rfind("Error: \"", 0), 0u) << error.substr(0, 40);
    EXPECT_EQ(error.substr(error.find("\" -> ") + 5), tooLong);
    // Characters of the ANSI code page above 127.
    const std::string accents = ChildLine("linesum \xe9t\xe9 \xc4\xd6\xdc");
    EXPECT_EQ(CaptureCommandOutput(accents), Fingerprint(accents));
}

// The UTF-16 capture WinMain runs, on the child's command line start-up
// makes of the text after the exe (split, joined): the output, or none for
// the error text. On PATH, a folder named like a program lies before it,
// and a batch file has a namesake planted in the current directory; a copy
// of this binary in a folder with a blank has one planted up to the blank.
TEST(Capture, WhatStartUpMakesOfItsParameters)
{
    MadeFiles made;
    const std::wstring self = Wide(SelfPath()), child = L"\"" + self + L"\" --child ";
    const std::wstring notProgram = made.File(Wide(TempPath("vantrel-not-a-program-")) + L".exe", "just text\r\n");
    std::wstring words;
    for (int i = 0; words.size() < 31000; ++i)
        words += L" " + std::to_wstring(i) + std::wstring(90, static_cast<wchar_t>(L'a' + i % 26));
    const std::wstring omega = made.Folder(Wide(TempPath("vantrel-omega-")));
    made.File(omega + L"\\\u03a9mega.txt", "the real one");
    made.File(omega + L"\\Omega.txt", "its look-alike");
    const std::wstring t = made.Folder(Wide(TempPath("vantrel-lookup-")));
    for (const wchar_t* folder : {L"\\on-path-1", L"\\on-path-1\\vantrel-probe.exe", L"\\on-path-2", L"\\here", L"\\probe dir"})
        made.Folder(t + folder);
    made.Copy(self, t + L"\\on-path-2\\vantrel-probe.exe");
    made.Copy(self, t + L"\\probe.exe");
    const std::wstring probe = made.Copy(self, t + L"\\probe dir\\capture_tests.exe");
    made.File(t + L"\\on-path-2\\vantrel-probe.bat", "@echo found on PATH %*\r\n");
    made.File(t + L"\\here\\vantrel-probe.bat", "@echo planted\r\n");
    wchar_t path[32767], directory[MAX_PATH];
    GetEnvironmentVariableW(L"PATH", path, 32767);
    GetCurrentDirectoryW(MAX_PATH, directory);
    SetEnvironmentVariableW(L"PATH", (t + L"\\on-path-1;" + t + L"\\on-path-2;" + path).c_str());
    SetCurrentDirectoryW((t + L"\\here").c_str());

    const struct {
        const char* what;
        std::wstring parameters;
        std::optional<std::wstring> shown;
    } rows[] = {
        {"an empty parameter", L"\"\"", {}},
        {"a parameter of blanks", L"\"   \"", {}},
        {"a file that is not a program", notProgram, {}},
        // Quoted, but the quotes are dropped: it names no file, so the system
        // looks for the program up to the blank.
        {"a quoted program path with a blank", L"\"C:\\Program Files\\vantrel-nothing.exe\" /x", {}},
        {"parameters joined by single blanks, without their quotes",
         child + L"print \"two  blanks\" back\\slash /x -y", L"two  blanks back\\slash /x -y"},
        {"characters of the ANSI code page above 127", child + L"print \u00e9t\u00e9 \u00c4\u00d6",
         L"\u00e9t\u00e9 \u00c4\u00d6"},
        {"a 31 KB command line", child + L"linesum" + words,
         Wide(Fingerprint(SelfPath() + " --child linesum" + std::string(words.begin(), words.end())))},
        {"a file name of no code page beside its look-alike", L"cmd /c type " + omega + L"\\\u03a9mega.txt",
         L"the real one"},
        {"a batch file on PATH beside a planted namesake", L"vantrel-probe.bat one two", L"found on PATH one two\n"},
        {"a folder of the program's name on PATH before it", L"vantrel-probe --child", L"vantrel-probe.exe ran"},
        {"a program path with a blank beside a planted shorter one", L"\"" + probe + L"\" --child commandline one",
         L"\"" + probe + L"\" --child commandline one"},
    };
    for (const auto& row : rows) {
        const std::u16string parameters(row.parameters.begin(), row.parameters.end());
        const std::u16string line = vantrel::JoinChildCommandLine(vantrel::SplitParameters(parameters));
        vantrel::BasicChildCapture<char16_t> capture(line);
        const std::u16string shown = capture.Finish();
        const std::u16string error = vantrel::CaptureErrorText(capture.StartError(), line);
        EXPECT_EQ(std::wstring(shown.begin(), shown.end()), row.shown.value_or(std::wstring(error.begin(), error.end())))
            << row.what;
        EXPECT_EQ(capture.StartError() != 0, !row.shown) << row.what;
    }
    SetEnvironmentVariableW(L"PATH", path);
    SetCurrentDirectoryW(directory);
}

int main(int argc, char** argv)
{
    if (const auto status = RunAsChild(argc, argv, "capture_tests"))
        return *status;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

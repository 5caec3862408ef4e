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

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

using vantrel::CaptureBufferSize;
using vantrel::CaptureCommandOutput;
using namespace std::string_literals;

namespace {

const wchar_t* Wide(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

void WriteText(const std::u16string& path, const std::string& text)
{
    std::ofstream(Wide(path), std::ios::binary) << text;
}

} // namespace

TEST(Capture, OutputAsTheChildWroteIt)
{
    for (const ChildCase& row : SameOnEveryPlatform())
        EXPECT_EQ(CaptureCommandOutput(ChildLine(row.child)), row.text) << row.child;
    // Far more than the pipe holds: drained while the child runs, no deadlock.
    EXPECT_EQ(CaptureCommandOutput(ChildLine("count 4194304")), Alphabet(CaptureBufferSize));
    // Standard input is there and empty: a child that reads it goes on at once.
    EXPECT_EQ(CaptureCommandOutput(ChildLine("stdin")), "end of input");
}

TEST(Capture, TheCommandLineReachesTheChildUnchanged)
{
    const std::string line = ChildLine("commandline \"two  words\" back\\slash -x /y");
    EXPECT_EQ(CaptureCommandOutput(line), line);
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
    // A quiet grandchild that waits until the test lets it go, which it does
    // only once the captures have returned, and eight busy ones that write
    // until their writes fail: the capture ends with the child either way,
    // keeping the child's output and as much of the grandchildren's as the
    // pipe held. A capture that waited for a grandchild would never return,
    // a hang the watchdog names. Once the output is taken the pipe is
    // closed, while the capture lives on: the busy ones' writes then fail,
    // and they stop (each leaves the marker) instead of writing for ever.
    const GoSignal go("quiet-grandchild");
    const std::string stopped = TempPath("vantrel-flood-stopped-");
    DeleteFileA(stopped.c_str());
    for (const std::string& grandchildren : {"1 wait-event " + go.name, "8 flood \"" + stopped + "\""}) {
        vantrel::ChildCapture capture(ChildLine("grandchild " + grandchildren));
        const std::string text = capture.Finish();
        EXPECT_EQ(text.substr(0, 11), "parent done") << grandchildren;
        EXPECT_EQ(text.find_first_not_of('g', 11), std::string::npos) << grandchildren;
        while (grandchildren[2] == 'f' && !Exists(stopped))
            Sleep(10);
    }
    DeleteFileA(stopped.c_str());
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
    const std::string marker = TempPath("vantrel-late-");
    DeleteFileA(marker.c_str());
    EXPECT_EQ(CaptureCommandOutput(ChildLine("close-early \"" + marker + "\"")), "early");
    EXPECT_TRUE(Exists(marker));
    DeleteFileA(marker.c_str());
}

TEST(Capture, AChildStartedBeforeTheWindowLosesNothing)
{
    // Start-up starts the child, then builds the window: meanwhile the child
    // fills the pipe and waits, and goes on once the drain starts.
    vantrel::ChildCapture capture(ChildLine("count 1048576"));
    Sleep(500);
    EXPECT_EQ(capture.Finish(), Alphabet(CaptureBufferSize));
}

TEST(Capture, AGibibyte)
{
    EXPECT_EQ(CaptureCommandOutput(ChildLine("count 1073741824")), Alphabet(CaptureBufferSize));
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

// The UTF-16 capture that WinMain runs, on what start-up makes of
// Vantrel's own command line: the parameters as the splitter gives them,
// joined into the child's command line. Each row gives the text after the
// exe on Vantrel's command line and the output shown, or none for an error
// text about the joined line.
TEST(Capture, WhatStartUpMakesOfItsParameters)
{
    const auto u16 = [](const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); };
    const std::u16string self = u"\"" + u16(SelfPath()) + u"\" --child ";
    const std::u16string notProgram = u16(TempPath("vantrel-not-a-program-")) + u".exe";
    WriteText(notProgram, "just text\r\n");
    std::u16string words;
    for (int i = 0; words.size() < 31000; ++i)
        words += u" " + u16(std::to_string(i)) + std::u16string(90, static_cast<char16_t>(u'a' + i % 26));
    // A folder of its own holding Ωmega.txt beside its look-alike Omega.txt.
    const std::u16string omega = u16(TempPath("vantrel-omega-"));
    CreateDirectoryW(Wide(omega), nullptr);
    WriteText(omega + u"\\\u03a9mega.txt", "the real one");
    WriteText(omega + u"\\Omega.txt", "its look-alike");
    // On PATH, a folder named like the program before the program itself,
    // and a batch file whose namesake is planted in the current directory;
    // a copy of this binary in a folder with a blank beside a planted one
    // named up to the blank.
    const std::u16string t = u16(TempPath("vantrel-lookup-"));
    for (const char16_t* folder : {u"", u"\\on-path-1", u"\\on-path-1\\vantrel-probe.exe", u"\\on-path-2",
                                   u"\\here", u"\\probe dir"})
        CreateDirectoryW(Wide(t + folder), nullptr);
    for (const char16_t* copy : {u"\\on-path-2\\vantrel-probe.exe", u"\\probe dir\\capture_tests.exe", u"\\probe.exe"})
        CopyFileW(Wide(u16(SelfPath())), Wide(t + copy), FALSE);
    WriteText(t + u"\\on-path-2\\vantrel-probe.bat", "@echo found on PATH %*\r\n");
    WriteText(t + u"\\here\\vantrel-probe.bat", "@echo planted\r\n");
    const std::u16string probe = t + u"\\probe dir\\capture_tests.exe";
    wchar_t path[32767], directory[MAX_PATH];
    GetEnvironmentVariableW(L"PATH", path, 32767);
    GetCurrentDirectoryW(MAX_PATH, directory);
    SetEnvironmentVariableW(L"PATH", Wide(t + u"\\on-path-1;" + t + u"\\on-path-2;" + reinterpret_cast<char16_t*>(path)));
    SetCurrentDirectoryW(Wide(t + u"\\here"));

    const struct {
        const char* what;
        std::u16string parameters;
        std::optional<std::u16string> shown;
    } rows[] = {
        {"an empty parameter", u"\"\"", {}},
        {"a parameter of blanks", u"\"   \"", {}},
        {"a file that is not a program", notProgram, {}},
        // The quotes are dropped, so the system looks for the program at the blank.
        {"a quoted program path with a blank", u"\"C:\\Program Files\\vantrel-nothing.exe\" /x", {}},
        {"parameters joined by single blanks, without their quotes",
         self + u"print \"two  blanks\" back\\slash /x -y", u"two  blanks back\\slash /x -y"},
        {"characters of the ANSI code page above 127", self + u"print \u00e9t\u00e9 \u00c4\u00d6",
         u"\u00e9t\u00e9 \u00c4\u00d6"},
        {"a 31 KB command line", self + u"linesum" + words,
         u16(Fingerprint(SelfPath() + " --child linesum" + std::string(words.begin(), words.end())))},
        {"a file name of no code page beside its look-alike", u"cmd /c type " + omega + u"\\\u03a9mega.txt",
         u"the real one"},
        {"a batch file on PATH beside a planted namesake", u"vantrel-probe.bat one two", u"found on PATH one two\n"},
        {"a folder of the program's name on PATH before it", u"vantrel-probe --child", u"vantrel-probe.exe ran"},
        {"a program path with a blank beside a planted shorter one", u"\"" + probe + u"\" --child commandline one",
         u"\"" + probe + u"\" --child commandline one"},
    };
    for (const auto& row : rows) {
        const std::u16string line = vantrel::JoinChildCommandLine(vantrel::SplitParameters(row.parameters));
        vantrel::BasicChildCapture<char16_t> capture(line);
        const std::u16string shown = capture.Finish();
        if (row.shown) {
            EXPECT_EQ(shown, *row.shown) << row.what;
        } else {
            EXPECT_NE(capture.StartError(), 0u) << row.what;
            EXPECT_EQ(shown, vantrel::CaptureErrorText(capture.StartError(), line)) << row.what;
        }
    }
    SetEnvironmentVariableW(L"PATH", path);
    SetCurrentDirectoryW(directory);
    for (const char16_t* file : {u"\\on-path-2\\vantrel-probe.exe", u"\\probe dir\\capture_tests.exe", u"\\probe.exe",
                                 u"\\on-path-2\\vantrel-probe.bat", u"\\here\\vantrel-probe.bat"})
        DeleteFileW(Wide(t + file));
    for (const char16_t* folder : {u"\\on-path-1\\vantrel-probe.exe", u"\\on-path-1", u"\\on-path-2", u"\\here",
                                   u"\\probe dir", u""})
        RemoveDirectoryW(Wide(t + folder));
    DeleteFileW(Wide(notProgram));
    DeleteFileW(Wide(omega + u"\\\u03a9mega.txt"));
    DeleteFileW(Wide(omega + u"\\Omega.txt"));
    RemoveDirectoryW(Wide(omega));
}

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv);
    if (SaidWhichRan("capture_tests"))
        return 0;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// CaptureCommandOutput on Windows against real children. As on Linux, the
// test binary is its own child (Children_win32.h), so each case is a few
// lines of C++ next to its test.
#include "Capture_win32.h"
#include "Process_win32.h"
#include "ChildOutput.h"
#include "Children_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

using vantrel::CaptureBufferSize;
using vantrel::CaptureCommandOutput;
using namespace std::string_literals;

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
    // A quiet grandchild that sleeps for 30 s, and eight busy ones that write
    // without pause for a minute: the capture ends with the child either
    // way, keeping the child's output and as much of the grandchildren's as
    // the pipe held. It takes milliseconds; the bound only catches waiting
    // for the grandchildren, or for a read that happens to be interrupted.
    // Once the output is taken the pipe is closed, while the capture lives
    // on: the busy ones' writes then fail at once, and they stop (each
    // leaves the marker).
    const std::string stamp = TempPath("vantrel-child-end-"), stopped = TempPath("vantrel-flood-stopped-");
    DeleteFileA(stopped.c_str());
    for (const std::string& grandchildren : {"1 sleep 30000"s, "8 flood \"" + stopped + "\""}) {
        vantrel::ChildCapture capture(ChildLine("grandchild " + grandchildren + " + stamp \"" + stamp + "\""));
        const std::string text = capture.Finish();
        std::ifstream end(stamp);
        long long endMs = 0;
        end >> endMs;
        EXPECT_LT(NowMs() - endMs, 1000) << grandchildren;
        EXPECT_EQ(text.substr(0, 11), "parent done") << grandchildren;
        EXPECT_EQ(text.find_first_not_of('g', 11), std::string::npos) << grandchildren;
        for (int waited = 0; grandchildren[2] == 'f' && waited < 100 && !Exists(stopped); ++waited)
            Sleep(100);
        EXPECT_TRUE(grandchildren[2] != 'f' || Exists(stopped)) << "a grandchild still writes after the capture";
    }
    DeleteFileA(stamp.c_str());
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

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

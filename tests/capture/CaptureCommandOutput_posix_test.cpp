// CaptureCommandOutput and the supervisor against real children. The test
// binary is its own child: started as "<self> --child <behaviour> ..." it
// acts out one child behaviour (Children_posix.h), so each case is a few
// lines of C++ instead of a shell script.
#include "Capture.h"
#include "Capture_posix.h"
#include "ChildOutput.h"
#include "Children_posix.h"
#include "CommandLine.h"
#include "Signals_posix.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

using vantrel::CaptureBufferSize;
using vantrel::CaptureCommandOutput;
using vantrel::ChildCapture;
namespace fs = std::filesystem;

namespace {

// ---- Test helpers --------------------------------------------------------

std::string Self() { return fs::read_symlink("/proc/self/exe").string(); }

std::string Child(const std::string& behaviour) { return Self() + " --child " + behaviour; }

std::string TempName(const char* kind)
{
    return fs::temp_directory_path() / ("vantrel-" + std::string(kind) + "-" + std::to_string(getpid()));
}

// A file in the temporary directory, for a child's sign or to run: not there
// before the case, removed after it.
struct TempFile : std::string {
    explicit TempFile(const char* kind) : std::string(TempName(kind)) { unlink(c_str()); }
    ~TempFile() { unlink(c_str()); }
};

// Lets a grandchild that waits for the marker go, and waits until it has
// taken the marker away, so that no grandchild outlives its test.
void LetGo(const TempFile& marker)
{
    Touch(marker.c_str());
    while (access(marker.c_str(), F_OK) == 0)
        usleep(10 * 1000);
}

// Every case runs under a watchdog: the faults of process capture show up as
// hangs, and a hang must name the case instead of stalling the whole run.
class Capture : public ::testing::Test {
protected:
    void SetUp() override { alarm(60); }
    void TearDown() override
    {
        alarm(0);
        // No child is left behind as a zombie.
        int status = 0;
        EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
    }
};

} // namespace

TEST_F(Capture, OutputAsTheChildWroteIt)
{
    for (const ChildCase& row : SameOnEveryPlatform())
        EXPECT_EQ(CaptureCommandOutput(Child(row.child)), row.text) << row.child;
}

TEST_F(Capture, SeveralMebibytesNeitherDeadlockNorKillTheChild)
{
    // The child writes far more than a pipe holds and then leaves a marker:
    // it was neither blocked for ever nor killed by a broken pipe.
    const TempFile marker("marker");
    EXPECT_EQ(CaptureCommandOutput(Child("count 8388608 " + marker)), Alphabet(CaptureBufferSize));
    EXPECT_EQ(access(marker.c_str(), F_OK), 0);
}

TEST_F(Capture, SplitsTheCommandLineLikeTheParameterSplitter)
{
    EXPECT_EQ(CaptureCommandOutput(Child("args one \"two  words\" a\"b\"c back\\slash -x /y")),
              "[one][two  words][abc][back\\slash][-x][/y]");
}

TEST_F(Capture, ProgramsThatCannotBeStarted)
{
    EXPECT_EQ(CaptureCommandOutput("vantrel-no-such-program --flag"),
              "Error: \"2\" -> vantrel-no-such-program --flag");
    EXPECT_EQ(CaptureCommandOutput("/no/such/dir/program"), "Error: \"2\" -> /no/such/dir/program");
    EXPECT_EQ(CaptureCommandOutput(""), "Error: \"2\" -> ");
    EXPECT_EQ(CaptureCommandOutput("   "), "Error: \"2\" ->    ");
    EXPECT_EQ(CaptureCommandOutput("\"\""), "Error: \"2\" -> \"\"");
    // A directory and a file without execute permission: access denied.
    EXPECT_EQ(CaptureCommandOutput("/"), "Error: \"13\" -> /");
    const TempFile plain("plain");
    Touch(plain.c_str());
    EXPECT_EQ(CaptureCommandOutput(plain), "Error: \"13\" -> " + plain);
    // A file that may be executed but is no program: exec format error.
    chmod(plain.c_str(), 0700);
    EXPECT_EQ(CaptureCommandOutput(plain), "Error: \"8\" -> " + plain);
}

TEST_F(Capture, AGrandchildHoldingTheOutputDoesNotHoldUsUp)
{
    // The grandchild holds the output until the marker, which comes only
    // once the capture has returned: waiting for it would hang.
    const TempFile marker("grandchild");
    EXPECT_EQ(CaptureCommandOutput(Child("grandchild " + marker)), "parent done");
    LetGo(marker);
}

TEST_F(Capture, WaitsForTheChildEvenAfterItClosedItsOutput)
{
    const TempFile marker("late");
    EXPECT_EQ(CaptureCommandOutput(Child("close-early " + marker)), "early");
    EXPECT_EQ(access(marker.c_str(), F_OK), 0);
    EXPECT_EQ(CaptureCommandOutput(Child("slow 300")), "after a pause");
}

TEST_F(Capture, TheChildSeesOnlyItsOwnStandardDescriptors)
{
    // Descriptors of ours that a careless library left inheritable.
    const int leakedFile = open("/dev/null", O_RDONLY);
    int leakedPipe[2];
    ASSERT_EQ(pipe(leakedPipe), 0);

    const std::string listing = CaptureCommandOutput(Child("descriptors"));
    std::set<std::string> seen;
    for (std::size_t at = 0, end; (end = listing.find('\n', at)) != std::string::npos; at = end + 1)
        seen.insert(listing.substr(at, end - at));
    ASSERT_EQ(seen.size(), 3u) << listing;
    EXPECT_EQ(*seen.begin(), "0=/dev/null");
    EXPECT_EQ(std::next(seen.begin())->rfind("1=pipe:", 0), 0u) << listing;
    EXPECT_EQ(*seen.rbegin(), "2=/dev/null");

    // Standard input is there and empty: a child that reads it does not wait.
    EXPECT_EQ(CaptureCommandOutput(Child("stdin")), "eof");

    close(leakedFile);
    close(leakedPipe[0]);
    close(leakedPipe[1]);
}

TEST_F(Capture, WorksWhenOurStandardDescriptorsAreClosed)
{
    // Started by a launcher with 0, 1 and 2 closed, the pipe's ends would get
    // those numbers. Run in a forked copy so this process keeps its own.
    const pid_t pid = fork();
    if (pid == 0) {
        const int keep = fcntl(2, F_DUPFD_CLOEXEC, 10);
        close(0);
        close(1);
        close(2);
        const std::string text = CaptureCommandOutput(Child("write hello"));
        const std::string listing = CaptureCommandOutput(Child("descriptors"));
        const bool ok = text == "hello" && listing.find("0=/dev/null\n") != std::string::npos &&
                        listing.find("2=/dev/null\n") != std::string::npos;
        if (!ok)
            dprintf(keep, "got \"%s\" and\n%s\n", text.c_str(), listing.c_str());
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(Capture, APipeThatCannotBeMadeIsReportedWithItsNumber)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int keep = fcntl(2, F_DUPFD_CLOEXEC, 3);
        const rlimit few{64, 64};
        setrlimit(RLIMIT_NOFILE, &few);
        while (open("/dev/null", O_RDONLY | O_CLOEXEC) >= 0) {
        }
        const std::string text = CaptureCommandOutput(Child("write x"));
        if (text != "Error: \"24\" -> " + Child("write x"))
            dprintf(keep, "got \"%s\"\n", text.c_str());
        _exit(text.rfind("Error: \"24\" -> ", 0) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(Capture, TwoCapturesAtOnceDoNotDelayEachOther)
{
    // If one child inherited the other's write end, the quick capture would
    // wait for the slow child's end, which waits for the quick one's return.
    const TempFile marker("quick-returned");
    std::string slow;
    std::thread other([&] { slow = CaptureCommandOutput(Child("await " + marker)); });
    EXPECT_EQ(CaptureCommandOutput(Child("write quick")), "quick");
    Touch(marker.c_str());
    other.join();
    EXPECT_EQ(slow, "after the marker");
}

TEST_F(Capture, AGibibyteAndBothStreamsAtHighVolume)
{
    EXPECT_EQ(CaptureCommandOutput(Child("count 1073741824")), Alphabet(CaptureBufferSize));
    EXPECT_EQ(CaptureCommandOutput(Child("both 67108864")), Alphabet(CaptureBufferSize));
}

TEST_F(Capture, LongAndNonAsciiParametersReachTheChildUnchanged)
{
    // 100 KiB of parameters, compared by fingerprint.
    std::string words;
    for (int i = 0; i < 1024; ++i)
        words += (i > 0 ? " " : "") + std::to_string(i) + std::string(96, static_cast<char>('a' + i % 26));
    EXPECT_EQ(CaptureCommandOutput(Child("argsum " + words)), Fingerprint(words));

    EXPECT_EQ(CaptureCommandOutput(Child("args \u00e9t\u00e9 \u65e5\u672c \xff")), "[\u00e9t\u00e9][\u65e5\u672c][\xff]");
}

TEST_F(Capture, AProgramPathWithABlankInQuotes)
{
    const fs::path directory = fs::temp_directory_path() / ("vantrel dir " + std::to_string(getpid()));
    fs::create_directories(directory);
    const fs::path program = directory / "say";
    {
        std::FILE* script = std::fopen(program.c_str(), "w");
        std::fputs("#!/bin/sh\nprintf 'said %s' \"$1\"\n", script);
        std::fclose(script);
    }
    chmod(program.c_str(), 0700);
    EXPECT_EQ(CaptureCommandOutput("\"" + program.string() + "\" hello"), "said hello");
    // Unquoted, the blank splits the path and the first half is not found.
    EXPECT_EQ(CaptureCommandOutput(program.string()), "Error: \"2\" -> " + program.string());
    fs::remove_all(directory);
}

TEST_F(Capture, AChildStartedLongBeforeTheDrainIsNeitherLostNorBlockedForGood)
{
    // Start-up builds the window between starting the child and draining:
    // the child fills the pipe meanwhile, waits, and goes on once drained.
    const TempFile marker("early");
    ChildCapture capture(Child("count 1048576 " + marker));
    usleep(500 * 1000);
    EXPECT_EQ(capture.Finish(), Alphabet(CaptureBufferSize));
    EXPECT_EQ(access(marker.c_str(), F_OK), 0) << "the child did not end normally";
}

TEST_F(Capture, AChildTheKernelReapedHasEnded)
{
    // With SIGCHLD ignored (inherited so from a starter) the kernel reaps the
    // child itself and waitpid reports ECHILD. The grandchild keeps the pipe
    // open until the marker comes, after the capture: only seeing the child's
    // end lets the drain return.
    const TempFile marker("reaped"), loopMarker("reaped-loop");
    const auto oldChild = signal(SIGCHLD, SIG_IGN);
    EXPECT_EQ(CaptureCommandOutput(Child("grandchild " + marker)), "parent done");
    LetGo(marker);

    // The same without a process descriptor, as on kernels that have none.
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(ends[1], 1);
        // The grandchild must not hold the test's own standard error.
        dup2(open("/dev/null", O_WRONLY), 2);
        execl(Self().c_str(), Self().c_str(), "--child", "grandchild", loopMarker.c_str(), nullptr);
        _exit(127);
    }
    close(ends[1]);
    EXPECT_EQ(vantrel::RunCaptureLoop({pid, -1}, ends[0]), "parent done");
    close(ends[0]);
    LetGo(loopMarker);
    signal(SIGCHLD, oldChild);
}

// ---- The supervisor ---------------------------------------------------------
// "<self> --supervise <dir> <window behaviour> <parameters...>" runs Vantrel's
// supervisor on the parameters as main does, the capture with the window as
// its companion, this binary's "window" child playing the window.

namespace {

std::string FileText(const std::string& path, const char* missing = "")
{
    std::ifstream file(path);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : missing;
}

} // namespace

TEST_F(Capture, TheSupervisorSeesTheCommandAndTheWindowThrough)
{
    const std::string unknown = "vantrel-no-such-program " + std::string(102400, 'x');
    const std::string early = " before showing the output; the command ran to its end.\n";
    const std::string asked = "|asked to end";  // the window was asked to close, as a user closes it
    const struct {
        std::string command;  // "@" stands for the scratch directory
        const char* window;
        int signal;           // sent to the supervisor once the command or window is ready
        const char* ended;    // how the supervisor ended
        std::string shown;    // what the window was handed, and its start-up token
        std::string got;      // dir/got as the command left it ("-": none)
        std::string message;  // the supervisor's standard error ("-": a pipe whose reader has gone)
        vantrel::SignalSet ignored = 0;  // what the supervisor's starter ignored
    } rows[] = {
        {Child("write hello"), "show", 0, "exit 0", "hello|token", "-", ""},
        {Child("env DESKTOP_STARTUP_ID"), "show", 0, "exit 0", "unset|token", "-", ""},  // the token is the window's
        {unknown, "show", 0, "exit 0", "Error: \"2\" -> " + unknown + "|token", "-", ""},  // more than a pipe holds
        {Child("grandwriter @"), "hold", 0, "exit 0", "child done|token", "-", ""},  // drained while the window is open
        {Child("after-window @ count 1048576 @/got"), "fail", 0, "exit 1", "", "", "vantrel: the window ended with exit status 1" + early},
        {Child("after-window @ slow 1"), "abort", 0, "exit 1", "", "-", "vantrel: the window was ended by signal 6 (Aborted)" + early},
        {Child("after-window @ slow 1"), "fail", 0, "exit 1", "", "-", "-"},  // its own SIGPIPE does not end it
        {Child("write late"), "mute", 0, "exit 1", "late|token" + asked, "-", "vantrel: the window did not show within 30 s; the command ran to its end.\n"},
        // A signal ends Vantrel as it would have ended it, once the command
        // has ended; the window is asked to close, and killed if it does not.
        {Child("await-signal @"), "hold", SIGTERM, "signal 15", asked, "15", ""},
        {Child("await-signal @"), "hold", SIGINT, "signal 2", asked, "2", ""},
        {Child("await-signal @"), "hold", SIGHUP, "signal 1", asked, "1", ""},
        {Child("await-signal @"), "hold", SIGQUIT, "signal 3", asked, "3", ""},
        {Child("await-signal @"), "hold", SIGUSR1, "signal 10", asked, "10", ""},
        {Child("await-signal @"), "hold", SIGALRM, "signal 14", asked, "14", ""},
        {Child("write shown"), "deaf", SIGTERM, "signal 15", "shown|token", "-", ""},
        {Child("await-signal @ stop"), "hold", SIGTERM, "signal 15", asked, "15", ""},  // continued after the signal
        {Child("await-signal @ stop-after"), "hold", SIGTERM, "signal 15", asked, "15", ""},  // and when it stops later
        // A signal from the command's own process sends nothing back, in a
        // process group that neither it nor Vantrel leads (the test's); the
        // test's SIGTERM that follows goes on.
        {Child("await-signal @ own-group"), "hold", SIGTERM, "signal 10", asked, "15", ""},
        // The command starts with the starter's ignored signals only, none
        // blocked, whatever the supervisor blocks and ignores itself.
        {Child("signals"), "show", 0, "exit 0", "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n|token", "-", ""},
        {Child("signals"), "show", 0, "exit 0", "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000001\n|token", "-", "",
         vantrel::SignalBit(SIGHUP)},  // nohup's
        {Child("signals"), "show", 0, "exit 0", "SigBlk:\t0000000000000000\nSigIgn:\t0000000180000000\n|token", "-", "",
         vantrel::SignalBit(32) | vantrel::SignalBit(33)},
    };
    for (const auto& row : rows) {
        alarm(60);  // each row has a watchdog of its own
        const fs::path dir = TempName("supervised");
        fs::create_directories(dir);
        std::string command = row.command;
        for (std::size_t at; (at = command.find('@')) != std::string::npos;)
            command.replace(at, 1, dir.string());
        std::vector<std::string> words = {Self(), "--supervise", dir, row.window};
        for (const std::string& word : vantrel::SplitParameters(command))
            words.push_back(word);
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        int stderrPipe[2];
        ASSERT_EQ(pipe2(stderrPipe, O_CLOEXEC), 0);
        close(stderrPipe[0]);
        const int standardError = row.message == "-" ? stderrPipe[1] : open((dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        setenv("DESKTOP_STARTUP_ID", "token", 1);
        const pid_t pid = fork();
        if (pid == 0) {
            // As a terminal's shell starts it, whatever started the test (a
            // shell's background job ignores SIGINT and SIGQUIT), but for what
            // the row's starter ignored.
            vantrel::ResetSignals(row.ignored);
            dup2(standardError, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(standardError);
        if (standardError != stderrPipe[1])
            close(stderrPipe[1]);
        unsetenv("DESKTOP_STARTUP_ID");
        if (row.signal != 0) {
            EXPECT_TRUE(AppearsWithin(dir / "ready", std::chrono::seconds(20))) << command;
            kill(pid, row.signal);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        const std::string name = row.command.substr(0, 80) + " / " + row.window;
        EXPECT_EQ(WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                      : "exit " + std::to_string(WEXITSTATUS(status)), row.ended) << name;
        EXPECT_EQ(FileText(dir / "shown"), row.shown) << name;
        EXPECT_EQ(FileText(dir / "got", "-"), row.got) << name;
        EXPECT_EQ(FileText(dir / "stderr", "-"), row.message) << name;
        fs::remove_all(dir);
    }
}

TEST(SignalRoute, AsACarefulRelayRoutesThem)
{
    // We are 100, the command 200; each row says where the groups are:
    // {self, own group, session leader, command, command's group, sender's
    // group, whether the sender descends from the command}.
    using vantrel::SignalRoute;
    const struct {
        vantrel::SignalOrigin origin;  // {number, from the kernel, sender}
        vantrel::SignalFamily family;
        SignalRoute route;
        const char* what;
    } rows[] = {
        {{SIGINT, true, 0}, {100, 50, false, 200, 50, -1}, SignalRoute::Reached, "Ctrl-C, the command in our group"},
        {{SIGINT, true, 0}, {100, 50, false, 200, 200, -1}, SignalRoute::PassOn, "Ctrl-C, the command in its own"},
        {{SIGQUIT, true, 0}, {100, 50, false, 200, 300, -1}, SignalRoute::PassOn, "quit, the command in another"},
        {{SIGHUP, true, 0}, {100, 50, false, 200, 50, -1}, SignalRoute::Reached, "a hang-up to the group"},
        {{SIGHUP, true, 0}, {100, 100, true, 200, 100, -1}, SignalRoute::PassOn, "a hang-up to us, the leader"},
        {{SIGXCPU, true, 0}, {100, 50, false, 200, 50, -1}, SignalRoute::PassOn, "the kernel's, for us alone"},
        {{SIGPIPE, false, 100}, {100, 50, false, 200, 50, 50}, SignalRoute::Ignore, "our own write to a closed pipe"},
        {{SIGTERM, false, 200}, {100, 50, false, 200, 50, 50}, SignalRoute::Reached, "from the command"},
        {{SIGTERM, false, 201}, {100, 50, false, 200, 200, 200}, SignalRoute::Reached, "from the command's group"},
        {{SIGTERM, false, 201}, {100, 100, false, 200, 100, 100}, SignalRoute::Reached, "from the group we lead"},
        {{SIGTERM, false, 7}, {100, 50, false, 200, 50, 50}, SignalRoute::PassOn, "from the group we share"},
        {{SIGUSR1, false, 201}, {100, 50, false, 200, 50, 50, true}, SignalRoute::Reached, "from the command's child there"},
        {{SIGUSR1, false, 7}, {100, 50, false, 200, 50, 7}, SignalRoute::PassOn, "from elsewhere"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(vantrel::RouteSignal(row.origin, row.family), row.route) << row.what;
}

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv);
    if (argc >= 4 && std::strcmp(argv[1], "--supervise") == 0) {
        vantrel::StarterIgnoredSignals();
        signal(SIGPIPE, SIG_IGN);
        vantrel::CaptureCompanion companion({Self(), "--child", "window", argv[3], argv[2]}, "vantrel", false);
        if (!companion.StartFailure().empty())
            return 1;
        vantrel::ChildCapture capture(vantrel::JoinParameters(std::vector<std::string>(argv + 4, argv + argc)),
                                      &companion);
        capture.Finish();
        return companion.End();
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

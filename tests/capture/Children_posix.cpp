// The children the capture test starts: the test binary itself, started as
// "<self> --child <behaviour> ...", acts out one behaviour (Children_posix.h).
// One table from a behaviour's name to what it does: the writing behaviours
// every platform shares (ChildOutput.h), then those of Linux.
#include "Children_posix.h"

#include "ChildOutput.h"
#include "Process_posix.h"
#include "WindowProtocol_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

bool AppearsWithin(const std::string& path, std::chrono::seconds limit)
{
    for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (access(path.c_str(), F_OK) == 0)
            return true;
        usleep(10 * 1000);
    }
    return false;
}

void Touch(const char* path) { close(open(path, O_WRONLY | O_CREAT, 0600)); }

namespace {

using Args = std::vector<std::string>;  // the behaviour's name, then its parameters

void WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            _exit(99);
        done += static_cast<std::size_t>(n);
    }
}

void Out(const std::string& bytes) { WriteAll(1, bytes); }

// Long enough for any case to finish first; a hang is the watchdog's to name.
constexpr std::chrono::seconds Forever{120};

// Where a window process reports, for its SIGTERM handler.
char reportPath[4096];

// A window process as the supervisor starts it: "show" writes what it was
// handed over and its start-up token to dir/shown and says it is on screen;
// "hold" does so too and then waits for dir/written, ending with 4 if that
// never comes; "mute" writes dir/shown but never says it is on screen;
// "deaf" shows, ignores SIGTERM and touches dir/ready; "abort" aborts and
// "fail" ends with status 1 at once, as the toolkit does on a lost display,
// each leaving its pid in dir/failed first for a command that waits for its
// end (after-window). Asked to end (SIGTERM), the others add "|asked to end"
// to dir/shown and end, as the real window closes.
int Window(const Args& a)
{
    const std::string& behaviour = a.at(1);
    const std::string& dir = a.at(2);
    if (behaviour == "abort" || behaviour == "fail") {
        std::ofstream(dir + "/failed.new") << getpid();
        fs::rename(dir + "/failed.new", dir + "/failed");
        if (behaviour == "abort")
            abort();
        return 1;
    }
    std::snprintf(reportPath, sizeof reportPath, "%s/shown", dir.c_str());
    signal(vantrel::window::EndRequest, behaviour == "deaf" ? SIG_IGN : [](int) {
        const int report = open(reportPath, O_WRONLY | O_APPEND | O_CREAT, 0600);
        const char asked[] = "|asked to end";
        if (write(report, asked, sizeof asked - 1) < 0)
            _exit(98);
        _exit(0);
    });
    std::string handed;
    while (!vantrel::ReadWhatIsThere(0, [&](std::string_view bytes) { handed += bytes; })) {
    }
    const char* token = getenv("DESKTOP_STARTUP_ID");
    std::ofstream(reportPath) << handed << "|" << (token ? token : "unset");
    if (behaviour == "mute")
        return pause();
    WriteAll(0, std::string(1, vantrel::window::Shown));
    if (behaviour == "deaf") {
        Touch((dir + "/ready").c_str());
        return pause();
    }
    if (behaviour == "hold" && !AppearsWithin(dir + "/written", std::chrono::seconds(10)))
        return 4;
    return 0;
}

// await-signal <dir> [stop|stop-after|own-group]: waits for a signal and
// writes the signals it got to dir/got. "stop" stops first, "stop-after"
// once the signal came; with "own-group" a process of its own sends
// SIGUSR1 to the supervisor first and lives as long as the command.
int AwaitSignal(const Args& a)
{
    const std::string& dir = a.at(1);
    const std::string how = a.size() > 2 ? a[2] : "";
    static volatile sig_atomic_t got[65] = {};
    sigset_t endSignals, previous;
    sigemptyset(&endSignals);
    for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
        signal(number, [](int n) { got[n] = got[n] + 1; });
        sigaddset(&endSignals, number);
    }
    sigprocmask(SIG_BLOCK, &endSignals, &previous);
    if (how == "own-group") {
        const pid_t supervisor = getppid(), command = getpid();
        if (fork() == 0) {
            // Alive while the supervisor reads the sender's group, and gone
            // with the command, so that it never outlives the test.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != command)
                _exit(0);
            kill(supervisor, SIGUSR1);
            Touch((dir + "/ready").c_str());
            pause();
        }
    } else {
        Touch((dir + "/ready").c_str());
    }
    if (how == "stop")
        raise(SIGSTOP);
    sigsuspend(&previous);
    // A second delivery of the same signal would come within this time.
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    usleep(300 * 1000);
    if (how == "stop-after")
        raise(SIGSTOP);
    std::ofstream report(dir + "/got.new");
    const char* separator = "";
    for (int n = 1; n <= 64; ++n) {
        for (int i = 0; i < got[n]; ++i, separator = " ")
            report << separator << n;
    }
    report.close();
    fs::rename(dir + "/got.new", dir + "/got");
    return 0;
}

int Act(const Args& a);

// The behaviours of Linux, each given its name and its parameters.
const std::map<std::string, int (*)(const Args&)> LinuxChildren = {
    {"both", [](const Args& a) {  // both <bytes>: standard output and error together
         const std::string block = Alphabet(65536);
         for (std::size_t done = 0, total = std::stoull(a.at(1)); done < total; done += block.size()) {
             WriteAll(2, block);
             Out(block);
         }
         return 0;
     }},
    {"argsum", [](const Args& a) {  // the fingerprint of the parameters, one blank between
         std::string words;
         for (std::size_t i = 1; i < a.size(); ++i)
             words += (i > 1 ? " " : "") + a[i];
         return Out(Fingerprint(words)), 0;
     }},
    {"args", [](const Args& a) {
         for (std::size_t i = 1; i < a.size(); ++i)
             Out("[" + a[i] + "]");
         return 0;
     }},
    {"stdin", [](const Args&) {
         char c;
         const ssize_t n = read(0, &c, 1);
         return Out(n == 0 ? "eof" : n < 0 ? "read failed" : "read a byte"), 0;
     }},
    {"descriptors", [](const Args&) {
         // Every open descriptor and what it is. The listing itself opens one
         // for the directory, which is left out by its target.
         for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
             const std::string target = fs::read_symlink(entry.path()).string();
             if (target.rfind("/proc/", 0) != 0)
                 Out(entry.path().filename().string() + "=" + target + "\n");
         }
         return 0;
     }},
    {"signals", [](const Args&) {  // the kernel's view: blocked and ignored signals
         std::ifstream status("/proc/self/status");
         for (std::string line; std::getline(status, line);) {
             if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0)
                 Out(line + "\n");
         }
         return 0;
     }},
    {"env", [](const Args& a) {  // env NAME: its value, or "unset"
         const char* value = getenv(a.at(1).c_str());
         return Out(value ? value : "unset"), 0;
     }},
    {"grandchild", [](const Args& a) {  // grandchild <marker>: holds standard output until the marker comes
         if (fork() == 0) {
             AppearsWithin(a.at(1), Forever);
             unlink(a.at(1).c_str());  // taken: the test that waits for that may end
             Out("too late");
             _exit(0);
         }
         return Out("parent done"), 0;
     }},
    {"await", [](const Args& a) {  // await <marker>: writes once the marker has come
         AppearsWithin(a.at(1), Forever);
         return Out("after the marker"), 0;
     }},
    {"close-early", [](const Args& a) {  // close-early <marker>
         Out("early");
         close(1);
         usleep(500 * 1000);
         return Touch(a.at(1).c_str()), 0;
     }},
    {"killed", [](const Args&) {
         Out("partial output");
         return raise(SIGKILL);
     }},
    {"await-signal", AwaitSignal},
    {"grandwriter", [](const Args& a) {  // grandwriter <dir>: a grandchild writes 1 MiB after the child's end
         if (fork() == 0) {
             usleep(200 * 1000);
             Out(Alphabet(1048576));
             Touch((a.at(1) + "/written").c_str());
             _exit(0);
         }
         return Out("child done"), 0;
     }},
    {"window", Window},  // window <behaviour> <dir>: a window process
    {"after-window", [](const Args& a) {  // after-window <dir> <behaviour...>: once the failed window is gone
         // Gone once the supervisor has reaped it (a zombie still takes signals),
         // 20 s at most, so that it has seen the window end before our end.
         if (AppearsWithin(a.at(1) + "/failed", std::chrono::seconds(20))) {
             pid_t window = 0;
             std::ifstream(a.at(1) + "/failed") >> window;
             for (int tries = 0; tries < 2000 && window > 0 && kill(window, 0) == 0; ++tries)
                 usleep(10 * 1000);
         }
         return Act(Args(a.begin() + 2, a.end()));
     }},
    {"slow", [](const Args& a) {  // slow <milliseconds>
         usleep(static_cast<useconds_t>(std::atoi(a.at(1).c_str())) * 1000);
         return Out("after a pause"), 0;
     }},
};

int Act(const Args& a)
{
    int status = 0;
    if (WriteLikeEveryPlatform(a, Out, [](const std::string& bytes) { WriteAll(2, bytes); }, status)) {
        if (a[0] == "count" && a.size() > 2)  // count <bytes> <marker written after>
            Touch(a[2].c_str());
        return status;
    }
    const auto behaviour = LinuxChildren.find(a[0]);
    return behaviour == LinuxChildren.end() ? 0 : behaviour->second(a);
}

} // namespace

int RunChild(int argc, char** argv)
{
    return Act(Args(argv + 2, argv + argc));
}

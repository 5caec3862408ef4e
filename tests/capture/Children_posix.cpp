// The children the capture test starts: the test binary itself, started as
// "<self> --child <behaviour> ...", acts out one behaviour (Children_posix.h).
#include "Children_posix.h"

#include "ChildOutput.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace std::string_literals;
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

// A window process as the supervisor starts it: "show" writes what it was
// handed over and its start-up token to dir/shown; "hold" does so too and then
// waits for dir/written, ending with 4 if that never comes; "abort" aborts
// and "fail" ends with status 1 at once, as the toolkit does on a lost display,
// each leaving its pid in dir/failed first for a command that waits for its
// end (after-window).
int RunWindow(const std::string& behaviour, const std::string& dir)
{
    if (behaviour == "abort" || behaviour == "fail") {
        std::ofstream(dir + "/failed.new") << getpid();
        fs::rename(dir + "/failed.new", dir + "/failed");
        if (behaviour == "abort")
            abort();
        return 1;
    }
    std::string handed;
    char chunk[4096];
    for (ssize_t n; (n = read(0, chunk, sizeof chunk)) > 0;)
        handed.append(chunk, static_cast<std::size_t>(n));
    const char* token = getenv("DESKTOP_STARTUP_ID");
    std::ofstream(dir + "/shown") << handed << "|" << (token ? token : "unset");
    if (behaviour == "hold" && !AppearsWithin(dir + "/written", std::chrono::seconds(10)))
        return 4;
    return 0;
}

} // namespace

int RunChild(int argc, char** argv)
{
    const std::string behaviour = argv[2];
    int status = 0;
    if (WriteLikeEveryPlatform(std::vector<std::string>(argv + 2, argv + argc), Out,
                               [](const std::string& bytes) { WriteAll(2, bytes); }, status)) {
        if (behaviour == "count" && argc > 4) // count <bytes> <marker written after>
            Touch(argv[4]);
        return status;
    }
    if (behaviour == "both") {      // both <bytes>: standard output and error together
        const std::string block = Alphabet(65536);
        for (std::size_t done = 0, total = std::stoull(argv[3]); done < total; done += block.size()) {
            WriteAll(2, block);
            Out(block);
        }
    } else if (behaviour == "argsum") {    // the fingerprint of the parameters, one blank between
        std::string words;
        for (int i = 3; i < argc; ++i)
            words += (i > 3 ? " " : "") + std::string(argv[i]);
        Out(Fingerprint(words));
    } else if (behaviour == "args") {
        for (int i = 3; i < argc; ++i)
            Out("["s + argv[i] + "]");
    } else if (behaviour == "stdin") {
        char c;
        const ssize_t n = read(0, &c, 1);
        Out(n == 0 ? "eof" : n < 0 ? "read failed" : "read a byte");
    } else if (behaviour == "descriptors") {
        // Every open descriptor and what it is. The listing itself opens one
        // for the directory, which is left out by its target.
        for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
            const std::string target = fs::read_symlink(entry.path()).string();
            if (target.rfind("/proc/", 0) != 0)
                Out(entry.path().filename().string() + "=" + target + "\n");
        }
    } else if (behaviour == "signals") {   // the kernel's view: blocked and ignored signals
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0)
                Out(line + "\n");
        }
    } else if (behaviour == "env") {       // env NAME: its value, or "unset"
        const char* value = getenv(argv[3]);
        Out(value ? value : "unset");
    } else if (behaviour == "grandchild") {  // a grandchild holds standard output
        if (fork() == 0) {
            sleep(5);
            Out("too late");
            _exit(0);
        }
        Out("parent done");
    } else if (behaviour == "close-early") {  // close-early <marker>
        Out("early");
        close(1);
        usleep(500 * 1000);
        Touch(argv[3]);
    } else if (behaviour == "killed") {
        Out("partial output");
        raise(SIGKILL);
    } else if (behaviour == "await-signal") {  // await-signal <dir> [stop]: writes the signals it got to dir/got
        static volatile sig_atomic_t got[65] = {};
        sigset_t endSignals, previous;
        sigemptyset(&endSignals);
        for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
            signal(number, [](int n) { got[n] = got[n] + 1; });
            sigaddset(&endSignals, number);
        }
        sigprocmask(SIG_BLOCK, &endSignals, &previous);
        Touch((std::string(argv[3]) + "/ready").c_str());
        if (argc > 4)
            raise(SIGSTOP);
        sigsuspend(&previous);
        // A second delivery of the same signal would come within this time.
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        usleep(300 * 1000);
        std::ofstream report(std::string(argv[3]) + "/got");
        const char* separator = "";
        for (int n = 1; n <= 64; ++n) {
            for (int i = 0; i < got[n]; ++i, separator = " ")
                report << separator << n;
        }
    } else if (behaviour == "grandwriter") {  // grandwriter <dir>: a grandchild writes 1 MiB after the child's end
        if (fork() == 0) {
            usleep(200 * 1000);
            Out(Alphabet(1048576));
            Touch((std::string(argv[3]) + "/written").c_str());
            _exit(0);
        }
        Out("child done");
    } else if (behaviour == "window") {   // window <show|hold|abort|fail> <dir>: a window process
        return RunWindow(argv[3], argv[4]);
    } else if (behaviour == "after-window") {  // after-window <dir> <behaviour...>: once the failed window is gone
        // Gone once the supervisor has reaped it (a zombie still takes signals),
        // 20 s at most, so that it has seen the window end before our end.
        if (AppearsWithin(std::string(argv[3]) + "/failed", std::chrono::seconds(20))) {
            pid_t window = 0;
            std::ifstream(std::string(argv[3]) + "/failed") >> window;
            for (int tries = 0; tries < 2000 && window > 0 && kill(window, 0) == 0; ++tries)
                usleep(10 * 1000);
        }
        return RunChild(argc - 2, argv + 2);
    } else if (behaviour == "slow") {      // slow <milliseconds>
        usleep(static_cast<useconds_t>(std::atoi(argv[3])) * 1000);
        Out("after a pause");
    }
    return 0;
}


// What capturing a child's output costs. Vantrel keeps only the first 8 KiB
// but must drain everything the child writes, so a child that writes a lot
// should run about as fast as with its output piped into `cat > /dev/null`,
// and the capturing process should use the same memory whatever the amount.
//   bench_capture [--bytes N] [--reps R]
// 1. Throughput: the same child writing N bytes (1 GiB by default), once
//    captured by CaptureCommandOutput and once through `sh -c 'child | cat
//    > /dev/null'`, alternating for R repetitions; medians and their ratio.
// 2. Memory: the peak RSS (VmHWM) of a fresh capturing process for 64 MiB
//    and for N bytes of output.
// The binary is its own child: "--child write-bytes N" writes N bytes of
// text lines in 1 MiB blocks; "--child capture-rss N" captures such a child
// and prints its own VmHWM before and after, in KiB, and the kept size.
#include "Capture.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr std::uint64_t MiB = 1024 * 1024;

std::string SelfPath()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

// ---- The children ---------------------------------------------------------

// Lines of 64 printable bytes, as a chatty command would write them.
int WriteBytes(std::uint64_t count)
{
    std::vector<char> block(MiB);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = i % 64 == 63 ? '\n' : static_cast<char>('a' + i % 26);
    while (count > 0) {
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(count, block.size()));
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = write(1, block.data() + done, size - done);
            if (n <= 0)
                return 1;
            done += static_cast<std::size_t>(n);
        }
        count -= size;
    }
    return 0;
}

long PeakRssKib()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// "<self>" --child MODE COUNT; the path is quoted, as command lines are
// split into words by blanks (by Vantrel and by the shell alike).
std::string ChildCommandLine(const char* mode, std::uint64_t count)
{
    std::string line = "\"";
    line += SelfPath();
    line += "\" --child ";
    line += mode;
    line += ' ';
    line += std::to_string(count);
    return line;
}

std::string WriterCommandLine(std::uint64_t count) { return ChildCommandLine("write-bytes", count); }

int CaptureRss(std::uint64_t count)
{
    const long before = PeakRssKib();
    const std::string output = vantrel::CaptureCommandOutput(WriterCommandLine(count));
    std::printf("%ld %ld %zu\n", before, PeakRssKib(), output.size());
    return 0;
}

// ---- The measurements -----------------------------------------------------

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double TimeCapture(std::uint64_t count)
{
    const auto start = std::chrono::steady_clock::now();
    const std::string output = vantrel::CaptureCommandOutput(WriterCommandLine(count));
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    if (output.size() != std::min<std::uint64_t>(count, vantrel::CaptureBufferSize) ||
        output.compare(0, 3, "abc") != 0) {
        std::fprintf(stderr, "capture returned %zu unexpected bytes\n", output.size());
        std::exit(1);
    }
    return seconds;
}

double TimePipe(std::uint64_t count)
{
    const std::string script = WriterCommandLine(count) + " | cat > /dev/null";
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the piped child failed\n");
        std::exit(1);
    }
    return Seconds(std::chrono::steady_clock::now() - start);
}

void Throughput(std::uint64_t count, int reps)
{
    std::printf("capture throughput: %llu MiB per run, %d runs each, alternating\n",
                static_cast<unsigned long long>(count / MiB), reps);
    std::vector<double> capture, pipe, ratios;
    for (int r = 0; r < reps; ++r) {
        // The order alternates so that neither side always runs on a warmer machine.
        double c = 0, p = 0;
        if (r % 2 == 0) {
            c = TimeCapture(count);
            p = TimePipe(count);
        } else {
            p = TimePipe(count);
            c = TimeCapture(count);
        }
        capture.push_back(c);
        pipe.push_back(p);
        ratios.push_back(c / p);
        std::printf("  run %d: capture %.3f s, pipe to cat %.3f s, ratio %.3f\n", r + 1, c, p, c / p);
        std::fflush(stdout);
    }
    const double mc = Median(capture), mp = Median(pipe);
    const double gib = static_cast<double>(count) / (1024.0 * MiB);
    std::printf("  median capture            %.3f s  (%.2f GiB/s)\n", mc, gib / mc);
    std::printf("  median pipe to cat        %.3f s  (%.2f GiB/s)\n", mp, gib / mp);
    std::printf("  ratio of medians          %.3f  (capture / pipe; target <= 1.10)\n", mc / mp);
    std::printf("  median of per-run ratios  %.3f\n", Median(ratios));
}

void Memory(std::uint64_t large)
{
    std::printf("capturing process peak RSS (VmHWM of a fresh process):\n");
    for (const std::uint64_t count : {64 * MiB, large}) {
        const std::string command = ChildCommandLine("capture-rss", count);
        FILE* child = popen(command.c_str(), "r");
        long before = -1, after = -1;
        std::size_t kept = 0;
        if (!child || std::fscanf(child, "%ld %ld %zu", &before, &after, &kept) != 3) {
            std::fprintf(stderr, "the capture-rss child failed\n");
            std::exit(1);
        }
        pclose(child);
        std::printf("  %5llu MiB of output: %ld KiB (before the capture %ld KiB, kept %zu bytes)\n",
                    static_cast<unsigned long long>(count / MiB), after, before, kept);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0) {
        const std::uint64_t count = std::strtoull(argv[3], nullptr, 10);
        if (std::strcmp(argv[2], "write-bytes") == 0)
            return WriteBytes(count);
        if (std::strcmp(argv[2], "capture-rss") == 0)
            return CaptureRss(count);
        return 2;
    }
    std::uint64_t count = 1024 * MiB;
    int reps = 7;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--bytes") == 0)
            count = std::strtoull(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--reps") == 0)
            reps = std::atoi(argv[i + 1]);
    }
    Throughput(count, reps);
    Memory(count);
    return 0;
}

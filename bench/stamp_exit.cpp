// The child whose end the latency benchmarks time, built for Linux and, with
// mingw-w64, for Windows (run under Wine):
//   stamp_exit [--sleep MS] [--print BYTES] [STAMP-FILE]
// It sleeps MS milliseconds (0 by default), writes BYTES bytes of text lines
// to standard output (none by default), then writes the wall-clock time in
// nanoseconds since 1970 to STAMP-FILE, if one is named, and exits at once.
// The watcher's map time minus this stamp is the time from the child's end
// to the window; the sleep and the output make it stand in for a command
// that takes a while and prints something.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>

namespace {

std::int64_t WallClockNs()
{
    // FILETIME counts 100 ns steps since 1601; the Unix epoch is 11644473600 s later.
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const std::int64_t ticks = (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (ticks - 116444736000000000LL) * 100;
}

} // namespace
#else

namespace {

// The system clock is CLOCK_REALTIME, in nanoseconds since 1970.
std::int64_t WallClockNs()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

} // namespace
#endif

int main(int argc, char** argv)
{
    long sleepMs = 0;
    long printBytes = 0;
    const char* stampFile = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sleep") == 0 && i + 1 < argc)
            sleepMs = std::atol(argv[++i]);
        else if (std::strcmp(argv[i], "--print") == 0 && i + 1 < argc)
            printBytes = std::atol(argv[++i]);
        else
            stampFile = argv[i];
    }
    if (sleepMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    if (printBytes > 0) {
        // Lines of 64 characters, as a chatty command writes them.
        std::string text(static_cast<std::size_t>(printBytes), ' ');
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = i % 64 == 63 ? '\n' : static_cast<char>('a' + i % 26);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    if (!stampFile)
        return 0;
    // Opened before the clock is read, so that the stamp is as close to the
    // end as the write allows.
    FILE* file = std::fopen(stampFile, "w");
    if (!file)
        return 1;
    std::fprintf(file, "%lld\n", static_cast<long long>(WallClockNs()));
    return std::fclose(file) == 0 ? 0 : 1;
}

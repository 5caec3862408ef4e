// The child whose end the latency benchmark times, built for Linux and, with
// mingw-w64, for Windows (run under Wine). Started with a file name, it writes
// the wall-clock time in nanoseconds since 1970 to that file and exits at
// once; the watcher's map time minus this stamp is the time from the child's
// end to Vantrel's window. Started without one, it just exits: the child for
// timing Vantrel's own start-up. It writes nothing to standard output.
#include <cstdint>
#include <cstdio>

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
#include <chrono>

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
    if (argc < 2)
        return 0;
    // Opened before the clock is read, so that the stamp is as close to the
    // end as the write allows.
    FILE* file = std::fopen(argv[1], "w");
    if (!file)
        return 1;
    std::fprintf(file, "%lld\n", static_cast<long long>(WallClockNs()));
    return std::fclose(file) == 0 ? 0 : 1;
}

// What a broadcast costs the program that sends it, as installers and
// environment tools send WM_SETTINGCHANGE to every top-level window: once
// with SendMessageTimeout and SMTO_ABORTIFHUNG (5 s at most per window, as
// setx sends it) and once with a plain SendMessage, which waits for every
// window's answer. bench/broadcast.sh runs it beside a Vantrel that waits
// for its command.
//   broadcast_win32.exe           prints "timeout_ms=<ms> plain_ms=<ms>"
//   broadcast_win32.exe <ms>      sleeps that long: the command Vantrel waits for
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

double Milliseconds(LARGE_INTEGER start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1) {
        Sleep(static_cast<DWORD>(std::atoi(argv[1])));
        return 0;
    }
    const auto environment = reinterpret_cast<LPARAM>(L"Environment");
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, environment, SMTO_ABORTIFHUNG, 5000, &result);
    const double timeout = Milliseconds(start);
    QueryPerformanceCounter(&start);
    SendMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, environment);
    std::printf("timeout_ms=%.1f plain_ms=%.1f\n", timeout, Milliseconds(start));
    return 0;
}

// A DLL planted beside a copy of vantrel.exe under the name of a system DLL,
// as one may lie in a Downloads folder. Its code must never run inside
// Vantrel: when it is loaded into any process it appends that process's path
// to a marker file beside itself (<its path>.ran), so the end-to-end driver
// can tell which program loaded it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t marker[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(self, marker, MAX_PATH);
    lstrcpyW(marker + length, L".ran");
    char process[MAX_PATH + 2];
    DWORD size = GetModuleFileNameA(nullptr, process, MAX_PATH);
    process[size++] = '\n';
    HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                              nullptr);
    DWORD written = 0;
    WriteFile(file, process, size, &written, nullptr);
    CloseHandle(file);
    return TRUE;
}

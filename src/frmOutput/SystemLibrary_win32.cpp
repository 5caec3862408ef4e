#include "SystemLibrary_win32.h"

#include <string>

namespace vantrel {

namespace {

HMODULE Kernel32()
{
    return GetModuleHandleW(L"kernel32.dll");
}

// The search flags of LoadLibraryExW that name directories come with
// AddDllDirectory; where it is missing they are rejected.
bool SystemKnowsSearchFlags()
{
    return SystemFunction<FARPROC>(Kernel32(), "AddDllDirectory") != nullptr;
}

} // namespace

void SearchSystemDirectoryOnly()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefault = SystemFunction<SetDefaultDllDirectoriesFunction>(Kernel32(), "SetDefaultDllDirectories");
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name)
{
    if (SystemKnowsSearchFlags())
        return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return LoadFromSystemDirectory(name);
}

HMODULE LoadFromSystemDirectory(const wchar_t* name)
{
    // A DLL that an assembly of the manifest provides is loaded by its name:
    // the loader finds it in the assembly store before it searches anywhere,
    // where a full path would bypass the assembly.
    ACTCTX_SECTION_KEYED_DATA assembly{};
    assembly.cbSize = sizeof assembly;
    if (FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &assembly))
        return LoadLibraryW(name);
    // Any other by its full path; the DLLs it imports in turn are then
    // looked for in its own folder first, the system directory.
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    const std::wstring path = std::wstring(directory, length) + L"\\" + name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace vantrel

// Loading the system's DLLs at run time, and only from the system itself.
// The exe is meant to be copied anywhere, a Downloads folder for one, where
// a DLL of a system DLL's name may lie beside it: the usual search would take
// that one first and run its code inside Vantrel. The exe therefore imports
// only DLLs that the system always takes from its own directory (kernel32,
// user32, gdi32, msvcrt) and loads every other DLL through these functions.
// They also find functions that newer systems have and Windows XP has not.
#pragma once

#include <windows.h>

namespace vantrel {

// Makes the system directory the only place DLLs are loaded from for the
// rest of the run, also when system DLLs load others on our behalf, where
// the system can do that (Windows 8, and 7 with its update KB2533623). Older
// systems at least stop searching the current directory. Call it first.
void SearchSystemDirectoryOnly();

// Loads a DLL of the system's by file name from the system directory, or
// returns null. Side-by-side assemblies that the exe's manifest names (the
// common controls' version 6) still come from the system's assembly store.
HMODULE LoadSystemLibrary(const wchar_t* name);

// What LoadSystemLibrary does on systems without the search flags (Windows
// XP to 7 without its update): the DLL by its full path in the system
// directory, or by name where the manifest's assemblies provide it.
HMODULE LoadFromSystemDirectory(const wchar_t* name);

// The function of that name in a loaded DLL, or null where the system lacks
// it: for calling what newer systems offer, with a fallback elsewhere.
template <typename Function>
Function SystemFunction(HMODULE dll, const char* name)
{
    return dll ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(dll, name))) : nullptr;
}

// Declares a member that points to the function of that name in the DLL that
// the member `dll` holds, of the function's own type; null where it is missing.
#define SYSTEM_FUNCTION(name) decltype(&::name) name = vantrel::SystemFunction<decltype(&::name)>(dll, #name)

} // namespace vantrel

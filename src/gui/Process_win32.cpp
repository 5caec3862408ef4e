// The output pipe and the start of the child on Windows (Process_win32.h).
#include "Process_win32.h"

#include "Capture.h"
#include "CommandLine.h"
#include "SystemLibrary_win32.h"

#include <algorithm>
#include <vector>

namespace vantrel {

namespace {

// Security and the random source come from advapi32, loaded from the system
// directory (see SystemLibrary_win32.h); each is null where it is missing.
struct Advapi {
    HMODULE dll = LoadSystemLibrary(L"advapi32.dll");
    SYSTEM_FUNCTION(OpenProcessToken);
    SYSTEM_FUNCTION(GetTokenInformation);
    SYSTEM_FUNCTION(GetLengthSid);
    SYSTEM_FUNCTION(InitializeAcl);
    SYSTEM_FUNCTION(AddAccessAllowedAce);
    SYSTEM_FUNCTION(InitializeSecurityDescriptor);
    SYSTEM_FUNCTION(SetSecurityDescriptorDacl);
    // RtlGenRandom, exported under this name.
    using GenerateRandom = BOOLEAN(WINAPI*)(PVOID, ULONG);
    GenerateRandom SystemFunction036 = SystemFunction<GenerateRandom>(dll, "SystemFunction036");
};

const Advapi& Advapi32()
{
    static const Advapi loaded;
    return loaded;
}

// Security attributes whose descriptor lets the current user alone open the
// object. Where they cannot be made, Attributes() is null and the object gets
// the default descriptor (the name still cannot be known beforehand).
class CurrentUserOnly {
public:
    CurrentUserOnly()
    {
        const Advapi& a = Advapi32();
        HANDLE token = nullptr;
        if (!a.SetSecurityDescriptorDacl || !a.OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return;
        DWORD size = 0;
        a.GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        user_.resize(size);
        const bool known = size > 0 && a.GetTokenInformation(token, TokenUser, user_.data(), size, &size);
        CloseHandle(token);
        if (!known)
            return;
        const PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
        acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + a.GetLengthSid(sid));
        auto* acl = reinterpret_cast<ACL*>(acl_.data());
        if (a.InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) &&
            a.AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) &&
            a.InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
            a.SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE))
            attributes_.lpSecurityDescriptor = &descriptor_;
    }

    SECURITY_ATTRIBUTES* Attributes() { return attributes_.lpSecurityDescriptor ? &attributes_ : nullptr; }

private:
    std::vector<BYTE> user_, acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// How often a taken name is replaced by a new one before the pipe fails: a
// random name is taken by chance almost never, so this only ends a run that
// something stops making pipes at all.
constexpr int PipeNameTries = 16;

// The first word of a command line as the system reads it to find the
// program: up to the closing quote when it begins with one, otherwise up to
// the first blank or tab. `length` is what it takes of the line, quotes
// included.
std::wstring_view FirstWord(std::wstring_view line, std::size_t& length)
{
    if (!line.empty() && line[0] == L'"') {
        const std::size_t close = line.find(L'"', 1);
        length = close == line.npos ? line.size() : close + 1;
        return line.substr(1, close - 1);
    }
    length = std::min(line.find_first_of(L" \t"), line.size());
    return line.substr(0, length);
}

std::wstring FolderOf(UINT (WINAPI* where)(LPWSTR, UINT))
{
    wchar_t folder[MAX_PATH];
    const UINT length = where(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

// The system directory, and the Windows directory as the system has it
// (GetWindowsDirectoryW would give a folder of the user's own on a terminal
// server to a program that is not marked as aware of them).
const std::wstring& SystemFolder()
{
    static const std::wstring folder = FolderOf(GetSystemDirectoryW);
    return folder;
}

const std::wstring& WindowsFolder()
{
    static const std::wstring folder = FolderOf(GetSystemWindowsDirectoryW);
    return folder;
}

// For a 32-bit Vantrel on 64-bit Windows, whose view of the system
// directory the system redirects to the 32-bit one (SysWOW64): the same
// path in the native view, through the alias the system keeps for it,
// <Windows>\Sysnative; empty for a path outside the system directory, and
// always for a 64-bit Vantrel, which sees the native view itself.
std::wstring NativeView(std::wstring_view path)
{
    static const bool redirected = [] {
        BOOL wow64 = FALSE;
        return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
    }();
    const std::size_t length = SystemFolder().size();
    if (!redirected || length == 0 || path.size() < length ||
        CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, path.data(), static_cast<int>(length),
                       SystemFolder().c_str(), static_cast<int>(length)) != CSTR_EQUAL ||
        (path.size() > length && path[length] != L'\\' && path[length] != L'/'))
        return {};
    return WindowsFolder() + L"\\Sysnative" + std::wstring(path.substr(length));
}

// The folders where a program named without a path is looked for first:
// the system directory, the Windows directory and PATH's folders given in
// full (a relative one, or an empty one, would mean the current directory);
// then the native view of those in the system directory, where a 32-bit
// Vantrel would not see what only a 64-bit system holds there.
std::vector<std::wstring> TrustedFolders()
{
    std::vector<std::wstring> folders{SystemFolder(), WindowsFolder()};
    std::wstring path(GetEnvironmentVariableW(L"PATH", nullptr, 0), L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find(L';', start), path.size());
        const std::wstring_view folder = std::wstring_view(path).substr(start, end - start);
        const bool full = (folder.size() >= 3 && folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/')) ||
                          folder.substr(0, 2) == L"\\\\";
        if (full)
            folders.emplace_back(folder);
        start = end + 1;
    }
    for (std::size_t i = 0, trusted = folders.size(); i < trusted; ++i) {
        if (std::wstring native = NativeView(folders[i]); !native.empty())
            folders.push_back(std::move(native));
    }
    return folders;
}

bool EndsWithCaseless(std::wstring_view text, std::wstring_view end)
{
    return text.size() >= end.size() &&
           CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, text.data() + text.size() - end.size(),
                          static_cast<int>(end.size()), end.data(), static_cast<int>(end.size())) == CSTR_EQUAL;
}

// What the command line starts: the program, or none for the system's own
// search, and the command line it gets.
struct Start {
    std::wstring program, line;
};

// A program named without a path that the trusted folders hold is started
// from there. A batch file is run by cmd.exe, which would look its first
// word up again, the current directory first: it gets the batch file's full
// path instead, quoted in front of the rest of the line (/s: cmd takes what
// is between the outer quotes as it stands; /d: no AutoRun commands of the
// user's). A program named by a path in the system directory that only the
// native view holds is started from there.
Start ProgramToStart(std::wstring line)
{
    std::size_t taken = 0;
    const std::wstring name(FirstWord(line, taken));
    if (name.empty())
        return {{}, std::move(line)};
    if (name.find_first_of(L"\\/:") != std::wstring::npos) {
        const std::wstring native = NativeView(name);
        const bool onlyNative = !native.empty() && ProgramFile(name).empty();
        return {onlyNative ? ProgramFile(native) : std::wstring(), std::move(line)};
    }
    for (const std::wstring& folder : TrustedFolders()) {
        const bool separated = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
        std::wstring found = ProgramFile(folder + (separated ? L"" : L"\\") + name);
        if (found.empty())
            continue;
        if (!EndsWithCaseless(found, L".bat") && !EndsWithCaseless(found, L".cmd"))
            return {std::move(found), std::move(line)};
        std::wstring cmd = SystemFolder() + L"\\cmd.exe";
        std::wstring batch = L"\"" + cmd + L"\" /d /s /c \"\"" + found + L"\"" + line.substr(taken) + L"\"";
        return {std::move(cmd), std::move(batch)};
    }
    return {{}, std::move(line)};
}

// The list of the handles a child may inherit, where the system can hold the
// child to one (Windows Vista and later). Elsewhere Enabled() is false.
class InheritedHandles {
public:
    InheritedHandles(std::vector<HANDLE> handles) : handles_(std::move(handles))
    {
        HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
        const auto initialize = SystemFunction<decltype(&InitializeProcThreadAttributeList)>(
            kernel32, "InitializeProcThreadAttributeList");
        const auto update =
            SystemFunction<decltype(&UpdateProcThreadAttribute)>(kernel32, "UpdateProcThreadAttribute");
        delete_ = SystemFunction<decltype(delete_)>(kernel32, "DeleteProcThreadAttributeList");
        if (!initialize || !update || !delete_)
            return;
        SIZE_T size = 0;
        initialize(nullptr, 1, 0, &size);
        memory_.resize(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(memory_.data());
        if (!initialize(list_, 1, 0, &size)) {
            list_ = nullptr;
            return;
        }
        if (!update(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(), handles_.size() * sizeof(HANDLE),
                    nullptr, nullptr)) {
            delete_(list_);
            list_ = nullptr;
        }
    }
    ~InheritedHandles()
    {
        if (list_)
            delete_(list_);
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;

    bool Enabled() const { return list_ != nullptr; }
    LPPROC_THREAD_ATTRIBUTE_LIST List() const { return list_; }

private:
    std::vector<HANDLE> handles_;
    std::vector<BYTE> memory_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
    decltype(&DeleteProcThreadAttributeList) delete_ = nullptr;
};

// Where the child cannot be held to a list (Windows XP), the handles most
// likely to be inheritable are our own standard ones (a file the user
// redirected our output to, for one): they stop being inheritable.
void KeepOwnStandardHandles()
{
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = GetStdHandle(which);
        if (handle && handle != INVALID_HANDLE_VALUE)
            SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    }
}

} // namespace

std::wstring ProgramFile(std::wstring path)
{
    if (path.find(L'.', path.find_last_of(L"\\/:") + 1) == std::wstring::npos)
        path += L".exe";
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool file = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    return file ? path : std::wstring();
}

std::u16string JoinChildCommandLine(const std::vector<std::u16string>& parameters)
{
    std::u16string line = JoinParameters(parameters);
    if (parameters.empty() || std::none_of(parameters[0].begin(), parameters[0].end(), [](char16_t c) { return c <= u' '; }))
        return line;
    if (ProgramFile(std::wstring(parameters[0].begin(), parameters[0].end())).empty())
        return line;
    return u"\"" + parameters[0] + u"\"" + line.substr(parameters[0].size());
}

std::uint64_t SystemRandom()
{
    std::uint64_t random = 0;
    const auto generate = Advapi32().SystemFunction036;
    if (!generate || !generate(&random, sizeof random)) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        random = (static_cast<std::uint64_t>(now.QuadPart) * 0x9E3779B97F4A7C15ull) ^ GetCurrentProcessId();
    }
    return random;
}

std::wstring OutputPipeName(std::uint64_t random)
{
    std::wstring name = L"\\\\.\\pipe\\vantrel-";
    for (int shift = 60; shift >= 0; shift -= 4)
        name += L"0123456789abcdef"[(random >> shift) & 15];
    return name;
}

std::uint32_t CreateOutputPipe(OutputPipe& pipe, std::uint64_t (*random)())
{
    CurrentUserOnly security;
    const DWORD access = PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
    const DWORD mode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
    DWORD error = ERROR_ACCESS_DENIED;
    for (int attempt = 0; attempt < PipeNameTries; ++attempt) {
        const std::wstring name = OutputPipeName(random());
        pipe.readEnd.Reset(CreateNamedPipeW(name.c_str(), access, mode | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                            CaptureBufferSize, CaptureBufferSize, 0, security.Attributes()));
        // Systems before Vista do not know the flag that keeps other machines out.
        if (!pipe.readEnd.Get() && GetLastError() == ERROR_INVALID_PARAMETER)
            pipe.readEnd.Reset(CreateNamedPipeW(name.c_str(), access, mode, 1, CaptureBufferSize, CaptureBufferSize,
                                                0, security.Attributes()));
        if (!pipe.readEnd.Get()) {
            error = GetLastError();
            continue;
        }
        // Our own write end takes the pipe's one instance at once. Only it is
        // the child's: a read end in the child (or in a grandchild that
        // outlives it) would be a handle it has no use for.
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        pipe.writeEnd.Reset(CreateFileW(name.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, &inheritable,
                                        OPEN_EXISTING, 0, nullptr));
        if (pipe.writeEnd.Get())
            return 0;
        error = GetLastError();
    }
    pipe.readEnd.Reset();
    return error;
}

std::uint32_t StartChild(std::u16string_view commandLine, HANDLE output, UniqueHandle& process,
                         UniqueHandle& thread)
{
    // The system takes a command line of at most 32766 characters and the
    // final NUL; a longer one is refused here, where Wine would cut it short.
    if (commandLine.size() > 32766)
        return ERROR_FILENAME_EXCED_RANGE;
    // Standard input is the NUL device: a child that reads it finds it empty
    // at once, where reading the hidden console it would otherwise get would
    // wait for ever for a key nobody can press.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle nul(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                 OPEN_EXISTING, 0, nullptr));
    std::vector<HANDLE> handles{output};
    if (nul.Get())
        handles.push_back(nul.Get());
    const InheritedHandles inherited(handles);
    if (!inherited.Enabled())
        KeepOwnStandardHandles();

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = inherited.Enabled() ? sizeof startup : sizeof startup.StartupInfo;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = nul.Get();
    startup.StartupInfo.hStdOutput = output;
    startup.StartupInfo.hStdError = nullptr;
    startup.lpAttributeList = inherited.List();

    // CreateProcessW may write into the line it is given; it gets its own.
    Start start = ProgramToStart(std::wstring(commandLine.begin(), commandLine.end()));
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(start.program.empty() ? nullptr : start.program.c_str(), start.line.data(), nullptr,
                        nullptr, TRUE, inherited.Enabled() ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr, nullptr,
                        &startup.StartupInfo, &started))
        return GetLastError();
    process.Reset(started.hProcess);
    thread.Reset(started.hThread);
    return 0;
}

} // namespace vantrel

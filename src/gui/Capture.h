// Child output capture: what is kept of the bytes a command writes, the error
// text shown when the command cannot be started, and the one capture both
// programs run and the capture tests drive (ChildCapture). Everything here
// but ChildCapture's members is platform-free; each platform provides those
// in its Capture_<platform>.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vantrel {

// The most of the command's standard output that is shown, in bytes.
inline constexpr std::size_t CaptureBufferSize = 8192;

// Collects the command's output while it is drained from the pipe: keeps the
// first CaptureBufferSize bytes in a fixed area and lets the rest pass, so
// that the command can write any amount without blocking on a full pipe.
class CaptureBuffer {
public:
    void Append(const char* bytes, std::size_t count);

    // The kept bytes as OutputText: cut at the first NUL, without CRs.
    std::string OutputText() const;

    // How many bytes were offered in all, kept or not.
    std::uint64_t TotalBytes() const { return total_; }

private:
    std::array<char, CaptureBufferSize> kept_{};
    std::size_t used_ = 0;
    std::uint64_t total_ = 0;
};

// Turns captured bytes into OutputText: everything from the first NUL byte
// on is dropped (a NUL ends the text), then every carriage return (code 13)
// is removed wherever it stands. All other bytes stay as they are, in order.
std::string CleanCapturedBytes(std::string_view bytes);

// The text shown in place of the output when the command cannot be started:
// Error: "<number>" -> <command line>, the number in unsigned decimal. The
// UTF-16 form is for a command line kept as UTF-16 (Windows).
std::string CaptureErrorText(std::uint32_t errorNumber, std::string_view commandLine);
std::u16string CaptureErrorText(std::uint32_t errorNumber, std::u16string_view commandLine);

// What a capture's wait watches beside the command, on a platform where that
// is more than the command itself: on Linux the window's process and the
// signals that ask Vantrel to end (Capture_posix.h). Windows has none: its
// capture answers the thread's window messages itself.
class CaptureCompanion;

// One run of a command line, in two steps, so that start-up can start the
// command as soon as the parameters are known and do its own work while it
// runs. The constructor starts the command line as a hidden child with its
// standard output on a pipe; Finish drains the pipe until the command has
// ended and returns its output as OutputText, or the error text (made here,
// and nowhere else) when the command could not be started. A command still
// running when the object goes is waited for all the same: it is never
// killed and never left behind.
//
// The command line is 8-bit text, or on Windows UTF-16, the form Windows
// keeps a command line in; Finish returns text of the same kind. For 8-bit
// lines the output comes back as the bytes the command wrote; for UTF-16
// lines (the program's own on Windows) it is decoded as the system decodes
// console output.
template <typename Char>
class BasicChildCapture {
public:
    using Text = std::basic_string<Char>;

    // With a companion, the capture's wait watches it too (see above); it
    // must outlive the capture.
    explicit BasicChildCapture(std::basic_string_view<Char> commandLine, CaptureCompanion* companion = nullptr);
    ~BasicChildCapture();
    BasicChildCapture(const BasicChildCapture&) = delete;
    BasicChildCapture& operator=(const BasicChildCapture&) = delete;

    // 0 once the command runs; otherwise the system's number for why it
    // could not be started.
    std::uint32_t StartError() const;

    // Blocks until the command has ended (with a companion, until the
    // companion is done too) and returns the output or the error text.
    // Call once.
    Text Finish();

private:
    struct Child;  // the platform's running command and its pipe
    Text commandLine_;
    std::unique_ptr<Child> child_;
    bool finished_ = false;
};

using ChildCapture = BasicChildCapture<char>;

// What a finished capture gives: the output, or, when the command could not
// be started (startError is not 0), the error text. The one place a start
// failure becomes the error text; each platform's Finish ends here.
template <typename Char>
std::basic_string<Char> CapturedText(std::uint32_t startError, std::basic_string_view<Char> commandLine,
                                     std::basic_string<Char> output)
{
    return startError != 0 ? CaptureErrorText(startError, commandLine) : output;
}

// Both steps at once: runs the command line, waits until it has ended and
// returns its output as OutputText, or the error text.
inline std::string CaptureCommandOutput(std::string_view commandLine)
{
    return ChildCapture(commandLine).Finish();
}

} // namespace vantrel

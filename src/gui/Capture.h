// Child output capture: what is kept of the bytes a child writes, the error
// text shown when the child cannot be started, and the platform routine that
// runs the child. Everything here but CaptureCommandOutput is platform-free.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vantrel {

// The most of the child's standard output that is shown, in bytes.
inline constexpr std::size_t CaptureBufferSize = 8192;

// Collects the child's output while it is drained from the pipe: keeps the
// first CaptureBufferSize bytes in a fixed area and lets the rest pass, so
// that the child can write any amount without blocking on a full pipe.
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

// The text shown in place of the output when the child cannot be started:
// Error: "<number>" -> <command line>, the number in unsigned decimal. The
// UTF-16 form is for a command line kept as UTF-16 (Windows).
std::string CaptureErrorText(std::uint32_t errorNumber, std::string_view commandLine);
std::u16string CaptureErrorText(std::uint32_t errorNumber, std::u16string_view commandLine);

// A capture in two steps, so that start-up can start the child as soon as
// the parameters are known and build the window while it runs. The
// constructor starts the command line as a hidden child with its standard
// output on a pipe; Finish drains the pipe until the child has ended and
// returns its output as OutputText, or the error text when the child could
// not be started. A child still running when the object goes is waited for
// all the same: it is never killed and never left behind.
// Each platform provides its own (CaptureCommandOutput_<platform>.cpp).
class ChildCapture {
public:
    explicit ChildCapture(const std::string& commandLine);
    ~ChildCapture();
    ChildCapture(const ChildCapture&) = delete;
    ChildCapture& operator=(const ChildCapture&) = delete;

    // Blocks until the child has ended; always returns a text. Call once.
    std::string Finish();

private:
    struct Child;  // the platform's running child and its pipe
    std::unique_ptr<Child> child_;
};

// Both steps at once: runs the command line, waits until the child has ended
// and returns its output as OutputText, or the error text.
inline std::string CaptureCommandOutput(const std::string& commandLine)
{
    return ChildCapture(commandLine).Finish();
}

} // namespace vantrel

#include "Capture.h"

#include <algorithm>
#include <iterator>

namespace vantrel {

void CaptureBuffer::Append(const char* bytes, std::size_t count)
{
    const std::size_t room = kept_.size() - used_;
    const std::size_t taken = std::min(room, count);
    std::copy_n(bytes, taken, kept_.data() + used_);
    used_ += taken;
    total_ += count;
}

std::string CaptureBuffer::OutputText() const
{
    return CleanCapturedBytes(std::string_view(kept_.data(), used_));
}

std::string CleanCapturedBytes(std::string_view bytes)
{
    bytes = bytes.substr(0, bytes.find('\0'));
    std::string text;
    text.reserve(bytes.size());
    std::copy_if(bytes.begin(), bytes.end(), std::back_inserter(text),
                 [](char c) { return c != '\r'; });
    return text;
}

namespace {

template <typename Char>
std::basic_string<Char> ErrorText(std::uint32_t errorNumber, std::basic_string_view<Char> commandLine)
{
    const std::string number = "Error: \"" + std::to_string(errorNumber) + "\" -> ";
    std::basic_string<Char> text(number.begin(), number.end());
    text += commandLine;
    return text;
}

} // namespace

std::string CaptureErrorText(std::uint32_t errorNumber, std::string_view commandLine)
{
    return ErrorText(errorNumber, commandLine);
}

std::u16string CaptureErrorText(std::uint32_t errorNumber, std::u16string_view commandLine)
{
    return ErrorText(errorNumber, commandLine);
}

} // namespace vantrel

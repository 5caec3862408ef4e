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

std::string CaptureErrorText(std::uint32_t errorNumber, std::string_view commandLine)
{
    std::string text = "Error: \"";
    text += std::to_string(errorNumber);
    text += "\" -> ";
    text += commandLine;
    return text;
}

} // namespace vantrel

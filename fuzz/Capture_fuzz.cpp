// Fuzzes what is kept of a child's output and the start-failure text. The
// input is the child's output: it is cleaned in one piece, then offered to a
// CaptureBuffer the way the pipe hands it over, in chunks of any size and
// running past the 8192 kept bytes; both must keep exactly the bytes before
// the first NUL without CRs. The same bytes are the command line of the
// error text, and its first four the error number.
#include "Capture.h"
#include "Check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using vantrel::CleanCapturedBytes;

namespace {

// The most of the output that is kept, as the window's users know it.
constexpr std::size_t Kept = 8192;

// The rule for OutputText done the plainest way: stop at the first NUL,
// leave out every CR, keep everything else in order.
std::string PlainOutputText(std::string_view bytes)
{
    std::string text;
    for (char c : bytes) {
        if (c == '\0')
            break;
        if (c != '\r')
            text += c;
    }
    return text;
}

std::string Decimal(std::uint32_t n)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + n % 10));
        n /= 10;
    } while (n != 0);
    return digits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const std::string text = CleanCapturedBytes(input);
    FUZZ_CHECK(text.find('\r') == std::string::npos && text.find('\0') == std::string::npos);
    FUZZ_CHECK(text.size() <= input.size());
    FUZZ_CHECK(text == PlainOutputText(input));

    // The output as the pipe delivers it: the input repeated up to eight
    // times, so that short inputs also run past the kept bytes. The chunk
    // lengths are read from the input's own bytes in turn: a byte below 0x80
    // is that many bytes (0 an empty read), from 0x80 on a multiple of 128,
    // so that one chunk can straddle the limit or lie wholly beyond it.
    // Whatever is left after one round of lengths comes in one last chunk.
    const std::size_t repeats = size == 0 ? 1 : 1 + data[0] % 8;
    std::string stream;
    for (std::size_t r = 0; r < repeats; ++r)
        stream += input;
    vantrel::CaptureBuffer buffer;
    std::size_t offered = 0;
    for (std::size_t k = 0; k <= size && offered < stream.size(); ++k) {
        const std::size_t wanted = k == size ? stream.size()
                                 : data[k] < 0x80 ? data[k]
                                                  : (data[k] - 0x7F) * std::size_t{128};
        const std::size_t length = std::min(wanted, stream.size() - offered);
        // Each chunk in its own allocation of exactly its size, so that
        // reading past the count handed to Append is an overflow ASan sees.
        const std::vector<char> chunk(stream.begin() + offered, stream.begin() + offered + length);
        buffer.Append(chunk.data(), chunk.size());
        offered += length;
    }
    const std::string_view kept = std::string_view(stream).substr(0, Kept);
    FUZZ_CHECK(buffer.OutputText() == CleanCapturedBytes(kept));
    FUZZ_CHECK(buffer.OutputText() == PlainOutputText(kept));
    FUZZ_CHECK(buffer.TotalBytes() == stream.size());

    // Error: "<number>" -> <command line>, the number in unsigned decimal.
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < 4 && i < size; ++i)
        number |= std::uint32_t{data[i]} << (8 * i);
    const std::string head = "Error: \"" + Decimal(number) + "\" -> ";
    const std::string error = vantrel::CaptureErrorText(number, input);
    FUZZ_CHECK(error.size() == head.size() + input.size());
    FUZZ_CHECK(error.starts_with(head) && error.ends_with(input));
    return 0;
}

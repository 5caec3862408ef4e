// Fuzzes what is kept of a child's output as the pipe hands it over: the
// input, repeated, is offered to a CaptureBuffer in chunks of any size, some
// straddling the 8192 kept bytes or lying wholly beyond them, and the buffer
// must keep exactly what cleaning the first 8192 bytes in one piece gives.
// The cleaning rule itself is the core test's table.
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

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
    FUZZ_CHECK(buffer.TotalBytes() == stream.size());
    return 0;
}

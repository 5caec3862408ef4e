// What is kept of the child's bytes and the error text, independent of how
// the bytes were read.
#include "Capture.h"

#include <gtest/gtest.h>

using vantrel::CaptureBuffer;
using vantrel::CaptureBufferSize;
using vantrel::CleanCapturedBytes;
using namespace std::string_literals;

TEST(CleanCapturedBytes, CutsAtNulAndRemovesEveryCarriageReturn)
{
    const struct {
        std::string bytes;
        std::string text;
    } rows[] = {
        {"a\r\nb\r\n", "a\nb\n"},
        {"50%\r100%", "50%100%"},
        {"\r\r\r", ""},
        {"\n\n", "\n\n"},
        {"0123456789\0abc"s, "0123456789"},
        {"\0abc"s, ""},
        {"a\r\0b\r"s, "a"},
        {"\x80\xE9\xFF\x1b[0m\t", "\x80\xE9\xFF\x1b[0m\t"},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CleanCapturedBytes(row.bytes), row.text) << "bytes: " << row.bytes;
}

TEST(CaptureBuffer, KeepsTheFirst8192BytesWhateverTheChunks)
{
    const std::string exact(CaptureBufferSize, 'x');
    CaptureBuffer whole;
    whole.Append(exact.data(), exact.size());
    EXPECT_EQ(whole.OutputText(), exact);

    // Chunks that straddle the limit: the part beyond it is counted, not kept.
    CaptureBuffer chunked;
    const std::string first(CaptureBufferSize - 3, 'a');
    chunked.Append(first.data(), first.size());
    chunked.Append("bcdefgh", 7);
    chunked.Append("more", 4);
    EXPECT_EQ(chunked.OutputText(), first + "bcd");
    EXPECT_EQ(chunked.TotalBytes(), first.size() + 11);

    CaptureBuffer empty;
    EXPECT_EQ(empty.OutputText(), "");
}

TEST(CaptureBuffer, CleansOnlyWhatItKept)
{
    // A CR as the last kept byte goes; a NUL just past the limit plays no part.
    std::string bytes(CaptureBufferSize - 1, 'y');
    bytes += "\r\0tail"s;
    CaptureBuffer buffer;
    buffer.Append(bytes.data(), bytes.size());
    EXPECT_EQ(buffer.OutputText(), std::string(CaptureBufferSize - 1, 'y'));
}

TEST(CaptureErrorText, NumberInQuotesThenTheCommandLine)
{
    EXPECT_EQ(vantrel::CaptureErrorText(2, "nosuch -x \"y\""), "Error: \"2\" -> nosuch -x \"y\"");
    // Read as unsigned 32-bit: large platform codes never turn negative.
    EXPECT_EQ(vantrel::CaptureErrorText(0xC0000135u, ""), "Error: \"3221225781\" -> ");
    EXPECT_EQ(vantrel::CaptureErrorText(5, u"\u03a9 x"), u"Error: \"5\" -> \u03a9 x");
}

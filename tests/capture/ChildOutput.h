// What the capture tests' children write, shared by the platforms' tests: a
// repeating alphabet (so any cut shows), bytes given in hex, and a
// fingerprint for texts too long to come back whole through an 8192-byte
// capture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline std::string Alphabet(std::size_t count)
{
    std::string bytes(count, ' ');
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

inline std::string FromHex(std::string_view hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return bytes;
}

// The text's length and its FNV-1a hash.
inline std::string Fingerprint(std::string_view text)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return std::to_string(text.size()) + " " + std::to_string(hash);
}

// Child behaviours that every platform's test child acts out the same way,
// and the text the capture must return for each: one table, so that both
// platforms are held to the same cases.
struct ChildCase {
    const char* child;
    std::string text;
};

inline std::vector<ChildCase> SameOnEveryPlatform()
{
    std::string high;
    for (int c = 128; c < 256; ++c)
        high += static_cast<char>(c);
    return {
        {"crlf", "a\nb\n"},                                  // CR LF becomes LF
        {"progress", "50%100%"},                             // a lone CR disappears
        {"count 8192", Alphabet(8192)},                      // exactly the limit
        {"count 8193", Alphabet(8192)},                      // one over: cut
        {"count 8191", Alphabet(8191)},
        {"count 0", ""},
        {"nul", "0123456789"},                               // a NUL after ten bytes ends the text
        {"high", high},                                      // bytes above 127 unchanged
        {"stderr", ""},                                      // standard error is not captured
        {"exit 1", "printed anyway\n"},                      // the exit code plays no part
        {"exit 255", "printed anyway\n"},
        {"killed", "partial output"},                        // a child killed midway keeps its output
        {"bytes 0d 100", ""},                                // only CRs
        {"bytes 0a 50", std::string(50, '\n')},              // only line feeds
        {"bytes 61 8191 0d", std::string(8191, 'a')},        // a CR as the 8192nd byte
        {"bytes 61 8192 0d", std::string(8192, 'a')},        // a CR just past the limit
        {"bytes 00 1 6162", ""},                             // a NUL as the first byte
        {"bytes ff 3 c328", "\xff\xff\xff\xc3\x28"},         // not UTF-8: bytes as they are
        {"bytes 78 8192", std::string(8192, 'x')},           // 8 KiB on one line
    };
}

// What the capture tests' children write, shared by the platforms' tests: a
// repeating alphabet (so any cut shows), bytes given in hex, and a
// fingerprint for texts too long to come back whole through an 8192-byte
// capture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

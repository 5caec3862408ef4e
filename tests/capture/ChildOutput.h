// The children of the capture and end-to-end tests, as far as every platform
// shares them: what they write (a repeating alphabet, so any cut shows;
// bytes given in hex; a fingerprint for texts too long to come back whole
// through an 8192-byte capture), the table of cases and what each must come
// back as, and the behaviours that only write, acted out alike everywhere.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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

// The behaviours of the table above that only write, acted out the same way
// by every platform's test child: `out` and `err` write to the child's
// standard output and error. Returns false when `behaviour` (its name, then
// its parameters) is none of them; otherwise sets the child's exit status.
//   write <text>, crlf, progress, nul, high, stderr, exit <status>,
//   count <n> (n bytes of the alphabet), bytes <hex> <n> [<hex tail>]
template <typename Write, typename WriteError>
bool WriteLikeEveryPlatform(const std::vector<std::string>& behaviour, Write out, WriteError err, int& status)
{
    const std::string& name = behaviour[0];
    const auto number = [&](std::size_t i) { return std::strtoull(behaviour.at(i).c_str(), nullptr, 10); };
    status = 0;
    if (name == "write") {
        out(behaviour.at(1));
    } else if (name == "crlf") {
        out("a\r\nb\r\n");
    } else if (name == "progress") {
        out("50%\r100%");
    } else if (name == "nul") {
        out(std::string("0123456789\0after", 16));
    } else if (name == "high") {
        std::string bytes;
        for (int c = 128; c < 256; ++c)
            bytes += static_cast<char>(c);
        out(bytes);
    } else if (name == "stderr") {
        err("only on standard error\n");
    } else if (name == "exit") {
        out("printed anyway\n");
        status = static_cast<int>(number(1));
    } else if (name == "count") {
        // In blocks, so that a gibibyte never sits in memory at once.
        const std::string block = Alphabet(26 * 2520);
        for (std::uint64_t done = 0, total = number(1); done < total;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), total - done));
            out(block.substr(0, n));
            done += n;
        }
    } else if (name == "bytes") {
        std::string bytes;
        for (auto n = number(2); n > 0; --n)
            bytes += FromHex(behaviour.at(1));
        out(bytes + (behaviour.size() > 3 ? FromHex(behaviour[3]) : ""));
    } else {
        return false;
    }
    return true;
}

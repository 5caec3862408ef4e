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
#include <functional>
#include <numeric>
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

inline std::string HighBytes()  // every byte above 127, in order
{
    std::string bytes(128, '\0');
    std::iota(bytes.begin(), bytes.end(), static_cast<char>(128));
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
    return {
        {"crlf", "a\nb\n"},                                  // CR LF becomes LF
        {"progress", "50%100%"},                             // a lone CR disappears
        {"count 8192", Alphabet(8192)},                      // exactly the limit
        {"count 8193", Alphabet(8192)},                      // one over: cut
        {"count 8191", Alphabet(8191)},
        {"count 0", ""},
        {"nul", "0123456789"},                               // a NUL after ten bytes ends the text
        {"high", HighBytes()},                               // bytes above 127 unchanged
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
// by every platform's test child: one table from a behaviour's name to what
// it does, given its parameters (its name first) and `out` and `err`, which
// write to the child's standard output and error; each returns the child's
// exit status.
//   write <text>, crlf, progress, nul, high, stderr, exit <status>,
//   count <n> (n bytes of the alphabet), bytes <hex> <n> [<hex tail>]
using ChildWriter = std::function<void(const std::string&)>;

struct WritingChild {
    const char* name;
    int (*act)(const std::vector<std::string>& a, const ChildWriter& out, const ChildWriter& err);
};

inline const std::vector<WritingChild>& WritingChildren()
{
    using Args = const std::vector<std::string>&;
    using Write = const ChildWriter&;
    using WriteError = const ChildWriter&;
    static const std::vector<WritingChild> table = {
        {"write", [](Args a, Write out, WriteError) { return out(a.at(1)), 0; }},
        {"crlf", [](Args, Write out, WriteError) { return out("a\r\nb\r\n"), 0; }},
        {"progress", [](Args, Write out, WriteError) { return out("50%\r100%"), 0; }},
        {"nul", [](Args, Write out, WriteError) { return out(std::string("0123456789\0after", 16)), 0; }},
        {"high", [](Args, Write out, WriteError) { return out(HighBytes()), 0; }},
        {"stderr", [](Args, Write, WriteError err) { return err("only on standard error\n"), 0; }},
        {"exit", [](Args a, Write out, WriteError) { return out("printed anyway\n"), std::atoi(a.at(1).c_str()); }},
        {"count", [](Args a, Write out, WriteError) {
             // In blocks, so that a gibibyte never sits in memory at once.
             const std::string block = Alphabet(26 * 2520);
             for (std::uint64_t done = 0, total = std::strtoull(a.at(1).c_str(), nullptr, 10); done < total;) {
                 const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), total - done));
                 out(block.substr(0, n));
                 done += n;
             }
             return 0;
         }},
        {"bytes", [](Args a, Write out, WriteError) {
             std::string bytes;
             for (auto n = std::strtoull(a.at(2).c_str(), nullptr, 10); n > 0; --n)
                 bytes += FromHex(a.at(1));
             return out(bytes + (a.size() > 3 ? FromHex(a[3]) : "")), 0;
         }},
    };
    return table;
}

// Acts out `behaviour` (its name, then its parameters) when it is one of the
// writing children above, setting the child's exit status; false otherwise.
inline bool WriteLikeEveryPlatform(const std::vector<std::string>& behaviour, const ChildWriter& out,
                                   const ChildWriter& err, int& status)
{
    for (const WritingChild& child : WritingChildren()) {
        if (behaviour[0] == child.name) {
            status = child.act(behaviour, out, err);
            return true;
        }
    }
    return false;
}

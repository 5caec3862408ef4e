// Fuzzes the command-line rules: splitting a raw command line into parameters,
// joining them into the child's line, the file-name part of a path and the
// usage text. The input is used whole as the command line, the path and the
// program's file name. Every check is a property that holds for any bytes,
// so libFuzzer can look for the line that breaks one.
#include "Check.h"
#include "CommandLine.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using vantrel::FileNamePart;
using vantrel::JoinParameters;
using vantrel::SplitParameters;

namespace {

// A word that comes back unchanged when it is joined and split again: not
// empty (an empty parameter leaves nothing in the joined line), no double
// quote and no separator (every byte up to the blank, NUL included).
bool IsPlainWord(std::string_view word)
{
    return !word.empty() && std::none_of(word.begin(), word.end(), [](char c) {
        return c == '"' || static_cast<unsigned char>(c) <= ' ';
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Quotes are dropped, never kept in a parameter.
    const std::vector<std::string> parameters = SplitParameters(input);
    for (const std::string& parameter : parameters)
        FUZZ_CHECK(parameter.find('"') == std::string::npos);

    // A parameter is at most the stretch of the line it came from, and two
    // parameters stand at least one separator apart: the joined line, with a
    // single blank between two parameters, can only be shorter.
    const std::string joined = JoinParameters(parameters);
    FUZZ_CHECK(joined.size() <= input.size());

    // The joined line holds no quote, so it splits again exactly where each
    // parameter's own blanks are (a quoted "a b" comes back as a and b).
    std::vector<std::string> resplit;
    for (const std::string& parameter : parameters) {
        for (std::string& word : SplitParameters(parameter))
            resplit.push_back(std::move(word));
    }
    FUZZ_CHECK(SplitParameters(joined) == resplit);

    // In particular plain words make the round trip unchanged.
    std::vector<std::string> plain;
    std::copy_if(parameters.begin(), parameters.end(), std::back_inserter(plain), IsPlainWord);
    FUZZ_CHECK(SplitParameters(JoinParameters(plain)) == plain);

    // The file-name part: a suffix of the path with no delimiter in it, and
    // the longest one, so a delimiter stands right before it (if anything does).
    constexpr std::string_view delimiters = "\\/:";
    const std::string name = FileNamePart(input, delimiters);
    FUZZ_CHECK(name.find_first_of(delimiters) == std::string::npos);
    FUZZ_CHECK(input.ends_with(name));
    if (name.size() < input.size())
        FUZZ_CHECK(delimiters.find(input[input.size() - name.size() - 1]) != std::string_view::npos);

    // The usage text: the fixed words around the program's name, unaltered.
    constexpr std::string_view head = "CommandLine-Output Display Applet\r\rSyntax:\r     ";
    constexpr std::string_view tail = " app.exe appparams";
    const std::string usage = vantrel::UsageText(input);
    FUZZ_CHECK(usage.size() == head.size() + input.size() + tail.size());
    FUZZ_CHECK(usage.starts_with(head) && usage.ends_with(tail));
    FUZZ_CHECK(std::string_view(usage).substr(head.size(), input.size()) == input);
    return 0;
}

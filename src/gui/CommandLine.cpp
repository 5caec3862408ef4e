#include "CommandLine.h"

#include <type_traits>

namespace vantrel {

namespace {

// Compared as an unsigned code: characters above 127 are never separators.
template <typename Char>
bool IsSeparator(Char c)
{
    return static_cast<std::make_unsigned_t<Char>>(c) <= ' ';
}

template <typename Char>
std::vector<std::basic_string<Char>> Split(std::basic_string_view<Char> commandLine)
{
    std::vector<std::basic_string<Char>> parameters;
    std::size_t i = 0;
    const std::size_t end = commandLine.size();
    for (;;) {
        while (i < end && IsSeparator(commandLine[i]))
            ++i;
        if (i == end)
            break;
        std::basic_string<Char> parameter;
        bool quoted = false;
        for (; i < end; ++i) {
            const Char c = commandLine[i];
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && IsSeparator(c))
                break;
            else
                parameter += c;
        }
        parameters.push_back(std::move(parameter));
    }
    return parameters;
}

template <typename Char>
std::basic_string<Char> Join(const std::vector<std::basic_string<Char>>& parameters)
{
    std::basic_string<Char> line;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (i > 0)
            line += ' ';
        line += parameters[i];
    }
    return line;
}

template <typename Char>
std::basic_string<Char> FileName(std::basic_string_view<Char> path, std::basic_string_view<Char> delimiters)
{
    const std::size_t last = path.find_last_of(delimiters);
    return std::basic_string<Char>(last == path.npos ? path : path.substr(last + 1));
}

template <typename Char>
std::basic_string<Char> Usage(std::basic_string_view<Char> programFileName)
{
    const std::string_view before = "CommandLine-Output Display Applet\r\rSyntax:\r     ";
    const std::string_view after = " app.exe appparams";
    std::basic_string<Char> text(before.begin(), before.end());
    text += programFileName;
    text.append(after.begin(), after.end());
    return text;
}

} // namespace

std::vector<std::string> SplitParameters(std::string_view commandLine) { return Split(commandLine); }
std::vector<std::u16string> SplitParameters(std::u16string_view commandLine) { return Split(commandLine); }

std::string JoinParameters(const std::vector<std::string>& parameters) { return Join(parameters); }
std::u16string JoinParameters(const std::vector<std::u16string>& parameters) { return Join(parameters); }

std::string FileNamePart(std::string_view path, std::string_view delimiters) { return FileName(path, delimiters); }
std::u16string FileNamePart(std::u16string_view path, std::u16string_view delimiters)
{
    return FileName(path, delimiters);
}

std::string UsageText(std::string_view programFileName) { return Usage(programFileName); }
std::u16string UsageText(std::u16string_view programFileName) { return Usage(programFileName); }

} // namespace vantrel

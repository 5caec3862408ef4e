#include "CommandLine.h"

namespace vantrel {

namespace {

// Compared as an unsigned byte: characters above 127 are never separators.
bool IsSeparator(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

std::vector<std::string> SplitParameters(std::string_view commandLine)
{
    std::vector<std::string> parameters;
    std::size_t i = 0;
    const std::size_t end = commandLine.size();
    for (;;) {
        while (i < end && IsSeparator(commandLine[i]))
            ++i;
        if (i == end)
            break;
        std::string parameter;
        bool quoted = false;
        for (; i < end; ++i) {
            const char c = commandLine[i];
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

std::string JoinParameters(const std::vector<std::string>& parameters)
{
    std::string line;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (i > 0)
            line += ' ';
        line += parameters[i];
    }
    return line;
}

std::string FileNamePart(std::string_view path, std::string_view delimiters)
{
    const std::size_t last = path.find_last_of(delimiters);
    return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

std::string UsageText(std::string_view programFileName)
{
    std::string text = "CommandLine-Output Display Applet\r\rSyntax:\r     ";
    text += programFileName;
    text += " app.exe appparams";
    return text;
}

} // namespace vantrel

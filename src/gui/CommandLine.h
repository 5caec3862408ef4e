// The program's parameters and the child's command line: splitting a raw
// command line into parameters, joining parameters back into one line, and
// the usage text shown when there are no parameters. Each comes as 8-bit
// text and as UTF-16 (the form Windows keeps a command line in), by the same
// rules. No platform headers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Splits a command line into parameters. Blanks and control characters
// (codes up to 32) separate parameters; a stretch in double quotes keeps its
// blanks inside one parameter and the quote characters themselves are
// dropped, so no parameter ever holds a double quote. A backslash is an
// ordinary character. A quoted stretch with nothing in it ("") still makes a
// parameter, an empty one; an unclosed quote runs to the end of the line.
std::vector<std::string> SplitParameters(std::string_view commandLine);
std::vector<std::u16string> SplitParameters(std::u16string_view commandLine);

// Joins parameters with exactly one blank between two of them. No quotes are
// added back: a parameter that held blanks reaches the child unquoted.
std::string JoinParameters(const std::vector<std::string>& parameters);
std::u16string JoinParameters(const std::vector<std::u16string>& parameters);

// The file-name part of a path: everything after the last character that is
// one of the given delimiters (the directories removed, the extension kept).
std::string FileNamePart(std::string_view path, std::string_view delimiters);
std::u16string FileNamePart(std::u16string_view path, std::u16string_view delimiters);

// The usage message for a program whose own file name is given. Its line
// breaks are single carriage returns.
std::string UsageText(std::string_view programFileName);
std::u16string UsageText(std::u16string_view programFileName);

} // namespace vantrel

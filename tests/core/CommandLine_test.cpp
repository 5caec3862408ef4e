// Splitting a raw command line into parameters, joining them back into the
// child's command line, and the usage text.
#include "CommandLine.h"

#include <gtest/gtest.h>

using vantrel::FileNamePart;
using vantrel::JoinParameters;
using vantrel::SplitParameters;
using Words = std::vector<std::string>;

TEST(SplitParameters, FollowsTheSplitterRules)
{
    const struct {
        std::string line;
        Words words;
    } rows[] = {
        {"cmd /c dir", {"cmd", "/c", "dir"}},
        {"", {}},
        {"   \t ", {}},
        {"  a   b  ", {"a", "b"}},
        // Every control character separates, not only blanks and tabs.
        {"a\tb\x01" "c\nd\x1f" "e", {"a", "b", "c", "d", "e"}},
        // Quotes group blanks and are dropped, wherever they stand in a word.
        {"\"C:\\Program Files\\x.exe\" -a", {"C:\\Program Files\\x.exe", "-a"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"a\"\"b\"", {"ab"}},
        {"\"unclosed quote", {"unclosed quote"}},
        // An empty quoted stretch is an empty parameter, not nothing.
        {"\"\" x", {"", "x"}},
        // A backslash is ordinary: it neither escapes a quote nor is dropped.
        {"a\\\"b c\" d\\\\", {"a\\b c", "d\\\\"}},
        // Bytes above 127 are characters, never separators.
        {"\xE9t\xE9 \xA0x \xFF", {"\xE9t\xE9", "\xA0x", "\xFF"}},
        {"-dash /slash", {"-dash", "/slash"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SplitParameters(row.line), row.words) << "line: " << row.line;
}

TEST(JoinParameters, OneBlankBetweenAndNoQuotesAdded)
{
    EXPECT_EQ(JoinParameters({"cmd", "/c", "dir"}), "cmd /c dir");
    EXPECT_EQ(JoinParameters({"C:\\Program Files\\x.exe"}), "C:\\Program Files\\x.exe");
    EXPECT_EQ(JoinParameters({"a  b", "", "c"}), "a  b  c");
    EXPECT_EQ(JoinParameters({}), "");
    // What a shell delivered as one parameter with blanks is split again.
    EXPECT_EQ(SplitParameters(JoinParameters({"ls", "/tmp/my dir"})), (Words{"ls", "/tmp/my", "dir"}));
}

TEST(FileNamePart, RemovesDirectoriesAndKeepsTheExtension)
{
    EXPECT_EQ(FileNamePart("C:\\Tools\\x.exe", "\\/:"), "x.exe");
    EXPECT_EQ(FileNamePart("C:x.exe", "\\/:"), "x.exe");
    EXPECT_EQ(FileNamePart("/usr/local/bin/vantrel", "/"), "vantrel");
    EXPECT_EQ(FileNamePart("vantrel", "/"), "vantrel");
    EXPECT_EQ(FileNamePart("odd\\name", "/"), "odd\\name");
}

TEST(UsageText, IsExactWithLoneCarriageReturns)
{
    EXPECT_EQ(vantrel::UsageText("x.exe"),
              "CommandLine-Output Display Applet\r\rSyntax:\r     x.exe app.exe appparams");
}

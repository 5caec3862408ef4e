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
    // The UTF-16 form splits every line alike, bytes read as code points.
    const auto wide = [](const std::string& bytes) {
        std::u16string text;
        for (const unsigned char c : bytes)
            text += c;
        return text;
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SplitParameters(row.line), row.words) << "line: " << row.line;
        std::vector<std::u16string> words;
        for (const std::string& word : row.words)
            words.push_back(wide(word));
        EXPECT_EQ(SplitParameters(wide(row.line)), words) << "UTF-16 line: " << row.line;
    }
    // Characters of no code page are characters, a fullwidth quote no quote.
    EXPECT_EQ(SplitParameters(u"\u03a9mega \uff02a b\uff02"),
              (std::vector<std::u16string>{u"\u03a9mega", u"\uff02a", u"b\uff02"}));
}

TEST(JoinParameters, OneBlankBetweenAndNoQuotesAdded)
{
    EXPECT_EQ(JoinParameters({"cmd", "/c", "dir"}), "cmd /c dir");
    EXPECT_EQ(JoinParameters({"C:\\Program Files\\x.exe"}), "C:\\Program Files\\x.exe");
    EXPECT_EQ(JoinParameters({"a  b", "", "c"}), "a  b  c");
    EXPECT_EQ(JoinParameters(Words{}), "");
    EXPECT_EQ(JoinParameters(std::vector<std::u16string>{u"\u03a9", u"x"}), u"\u03a9 x");
    // What a shell delivered as one parameter with blanks is split again.
    EXPECT_EQ(SplitParameters(JoinParameters(Words{"ls", "/tmp/my dir"})), (Words{"ls", "/tmp/my", "dir"}));
}

TEST(FileNamePart, RemovesDirectoriesAndKeepsTheExtension)
{
    EXPECT_EQ(FileNamePart("C:\\Tools\\x.exe", "\\/:"), "x.exe");
    EXPECT_EQ(FileNamePart("C:x.exe", "\\/:"), "x.exe");
    EXPECT_EQ(FileNamePart("/usr/local/bin/vantrel", "/"), "vantrel");
    EXPECT_EQ(FileNamePart("vantrel", "/"), "vantrel");
    EXPECT_EQ(FileNamePart("odd\\name", "/"), "odd\\name");
    EXPECT_EQ(FileNamePart(u"C:\\\u03a9\\\u03a9.exe", u"\\/:"), u"\u03a9.exe");
}

TEST(UsageText, IsExactWithLoneCarriageReturns)
{
    EXPECT_EQ(vantrel::UsageText("x.exe"),
              "CommandLine-Output Display Applet\r\rSyntax:\r     x.exe app.exe appparams");
    EXPECT_EQ(vantrel::UsageText(u"\u03a9.exe"),
              u"CommandLine-Output Display Applet\r\rSyntax:\r     \u03a9.exe app.exe appparams");
}

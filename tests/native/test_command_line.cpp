#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

// Splits into room of exactly the measured size, so that the sanitizer sees any byte beyond it.
Args split(const char* text) {
    const SplitSize size = measure_arguments(text);
    std::unique_ptr<char[]> bytes(new char[size.bytes]);
    std::unique_ptr<char*[]> args(new char*[size.arguments + 1]);
    split_arguments(text, bytes.get(), args.get());
    EXPECT_EQ(args[size.arguments], nullptr) << text;
    return Args(args.get(), args.get() + size.arguments);
}

TEST(SplitArguments, FollowsTheSupervisorsOwnRule) {
    const struct {
        const char* text;
        Args expected;
    } cases[] = {
        {" \t ", {}},
        {"a \"b c\" d", {"a", "b c", "d"}},
        {"a\tb", {"a", "b"}},
        {"a\nb\rc\vd", {"a\nb\rc\vd"}}, // only blanks and tabs separate
        // A closing quote ends a quoted argument even with no blank after it.
        {"\"a\"b", {"a", "b"}},
        {"\"a\"\"b\"", {"a", "b"}},
        // Quoted stretches inside an unquoted argument join it together.
        {"a\"b c\"d", {"ab cd"}},
        {"a\"b\tc\" d", {"ab\tc", "d"}},
        {"\"\"", {""}},
        {"\"\"\"\" x", {"", "", "x"}},
        // Unclosed quotes run to the end, blanks included.
        {"x \"a b  ", {"x", "a b  "}},
        {"a\"b c", {"ab c"}},
        // A backslash before a quote makes it an ordinary character, wherever it stands.
        {"\\\"", {"\""}},
        {"a\\\"b c", {"a\"b", "c"}},
        {"\"a\\\"b\" c", {"a\"b", "c"}},
        {"a\"b\\\"c\"d", {"ab\"cd"}},
        // Every other backslash stays, runs included.
        {"\\\\b a\\", {"\\\\b", "a\\"}},
        // Unlike the C runtime: two backslashes and a quote keep a backslash and a literal quote.
        {"a\\\\\"b c\"", {"a\\\"b", "c"}},
        {"\"a\\\\\"b c", {"a\\\"b c"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(split(c.text), c.expected) << "text: [" << c.text << "]";
    }
}

TEST(SplitArguments, ProgramNameIsSkippedWithTheWhiteSpaceAfterIt) {
    const struct {
        const char* line;
        const char* rest;
    } cases[] = {
        {"prog", ""},
        {"prog \t\r\n\v\f a \"b\"", "a \"b\""},
        {"\"C:\\my dir\\prog.exe\" a", "a"},
        // A quoted name ends at its next quote, with no backslash rule, whatever follows.
        {"\"C:\\x\\pr\\\"og.exe\" a", "og.exe\" a"},
        {"\"unclosed a b", ""},
        {"C:\\a\"b c\" d", "c\" d"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(skip_program_name(c.line), c.rest) << "line: [" << c.line << "]";
    }
}

TEST(JoinCommandLine, PathBlankThenArgumentsUnquoted) {
    const struct {
        std::vector<const char*> argv;
        const char* expected;
    } cases[] = {
        {{"kq2.exe", "/z", nullptr}, "kq2.exe /z"},
        {{"kq2.exe", nullptr}, "kq2.exe "}, // entry 0 alone: the path and one blank
        {{"x", "a b", "\"q\"", "t\tu", nullptr}, "kq2.exe a b \"q\" t\tu"},
        {{"x", "", "c", "", nullptr}, "kq2.exe  c "},
    };
    char out[64];
    for (const auto& c : cases) {
        ASSERT_TRUE(join_command_line(out, sizeof out, "kq2.exe", c.argv.data()));
        EXPECT_STREQ(out, c.expected);
    }
    const char* const heads[] = {"C:\\cmd.exe", "/c", "kq2.exe.bat"};
    ASSERT_TRUE(build_command_line(out, sizeof out, heads, 3, cases[0].argv.data()));
    EXPECT_STREQ(out, "C:\\cmd.exe /c kq2.exe.bat /z");
}

TEST(JoinCommandLine, RefusesWhatDoesNotFitAndWritesNothingBeyond) {
    const char* const argv[] = {"x", "ab", nullptr};
    // "p ab" needs 5 bytes with its zero.
    for (std::size_t capacity = 0; capacity <= 6; ++capacity) {
        std::unique_ptr<char[]> out(new char[capacity + 1]);
        out[capacity] = '#';
        const bool fits = join_command_line(out.get(), capacity, "p", argv);
        EXPECT_EQ(fits, capacity >= 5) << capacity;
        EXPECT_EQ(out[capacity], '#') << capacity;
        if (capacity > 0) {
            EXPECT_STREQ(out.get(), fits ? "p ab" : "") << capacity;
        }
    }
    // The longest line the system takes, and one character more.
    const std::string arg(command_line_capacity - 3, 'f');
    const char* const long_argv[] = {"x", arg.c_str(), nullptr};
    std::unique_ptr<char[]> out(new char[command_line_capacity]);
    EXPECT_TRUE(join_command_line(out.get(), command_line_capacity, "p", long_argv));
    EXPECT_FALSE(join_command_line(out.get(), command_line_capacity, "pp", long_argv));
}

} // namespace

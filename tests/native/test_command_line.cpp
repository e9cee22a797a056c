#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

// The arguments of a raw line as the start-up takes them, split into room of exactly the measured
// size, so that the sanitizer sees any byte beyond it.
Args split_line(const char* line) {
    const char* text = skip_program_name(line);
    const SplitSize size = measure_arguments(text);
    std::unique_ptr<char[]> bytes(new char[size.bytes]);
    std::unique_ptr<char*[]> args(new char*[size.arguments + 1]);
    split_arguments(text, bytes.get(), args.get());
    EXPECT_EQ(args[size.arguments], nullptr) << line;
    return Args(args.get(), args.get() + size.arguments);
}

TEST(SplitArguments, FollowsTheSupervisorsOwnRule) {
    const struct {
        const char* line;
        Args expected;
    } cases[] = {
        {"p \t\r\n ", {}},
        // Only blanks and tabs separate; a closing quote ends an argument even with no blank.
        {"p a\tb\nc \"d e\"f \"\"\"\" \t", {"a", "b\nc", "d e", "f", "", ""}},
        // Quoted stretches join an unquoted argument together; an unclosed quote runs to the end.
        {"p a\"b\tc\"d \"x y  ", {"ab\tcd", "x y  "}},
        // Backslash-quote is a literal quote anywhere; every other backslash stays, runs included.
        {"p a\\\"b \"c\\\"d\" \\\\e f\\", {"a\"b", "c\"d", "\\\\e", "f\\"}},
        // Unlike the C runtime: two backslashes and a quote keep a backslash and a literal quote.
        {"p a\\\\\"b c\"", {"a\\\"b", "c"}},
        // A quoted program name ends at its next quote, blanks and backslashes included.
        {"\"C:\\my dir\\p\\\"x y", {"x", "y"}},
        {"\"unclosed a b", {}},
        {"C:\\a\"b c\" d", {"c d"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(split_line(c.line), c.expected) << "line: [" << c.line << "]";
    }
}

TEST(JoinCommandLine, PathBlankThenArgumentsUnquotedOrNothingAtAll) {
    const struct {
        std::vector<const char*> argv;
        std::string expected;
    } cases[] = {
        {{"x", "/z", "a b", "\"q\"", "t\tu", nullptr}, "p /z a b \"q\" t\tu"},
        {{"x", nullptr}, "p "}, // entry 0 alone: the path and one blank
        {{"x", "", "c", "", nullptr}, "p  c "},
    };
    for (const auto& c : cases) {
        // Every room up to one byte more than the line needs, with a mark just beyond it.
        for (std::size_t capacity = 0; capacity <= c.expected.size() + 2; ++capacity) {
            std::unique_ptr<char[]> out(new char[capacity + 1]);
            out[capacity] = '#';
            const bool fits = join_command_line(out.get(), capacity, "p", c.argv.data());
            EXPECT_EQ(fits, capacity > c.expected.size()) << c.expected << capacity;
            EXPECT_EQ(out[capacity], '#') << c.expected << capacity;
            if (capacity > 0) {
                EXPECT_EQ(out.get(), fits ? c.expected : "") << capacity;
            }
        }
    }
}

} // namespace

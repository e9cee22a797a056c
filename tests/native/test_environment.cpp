#include "platform/environment.h"
#include "platform/launch_rules.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

TEST(EnvironmentLookup, MatchesNamesByTheLettersOnlyRule) {
    // Entries each ended by a zero; the literal's own zero is the block's closing one.
    const char block[] = "=C:=C:\\w\0ComSpec=C:\\cmd.exe\0Path=first\0PATH=second\0EMPTY=\0"
                         "A[=square\0a{=brace\0\xc4X=upper\0V=a=b\0";
    const struct {
        const char* name;
        const char* value; // null: no match
    } cases[] = {
        {"comspec", "C:\\cmd.exe"},
        {"PATH", "first"},     // the first entry wins
        {"PAT", nullptr},      // a prefix of a name is no match
        {"ComSpecX", nullptr}, // nor is a longer name
        {"EMPTY", ""},         // an empty value is a value
        {"a[", "square"},      // '[' and '{' are no letters: compared exactly
        {"A{", "brace"},
        {"\xe4X", nullptr}, // nor are bytes above 127
        {"V", "a=b"},
        {"C:", nullptr},
    };
    for (const auto& c : cases) {
        const char* value = find_environment_value(block, c.name);
        EXPECT_EQ(value == nullptr ? "<none>" : std::string(value),
                  c.value == nullptr ? "<none>" : c.value)
            << c.name;
    }
    EXPECT_EQ(find_environment_value(nullptr, "PATH"), nullptr);
}

// Every candidate of a PATH value, then how the search ended, in exactly sized room.
Texts candidates(const char* path_value, const char* program, std::size_t capacity = 300) {
    Texts found;
    const char* cursor = path_value;
    std::unique_ptr<char[]> out(new char[capacity]);
    for (;;) {
        switch (next_path_candidate(&cursor, program, out.get(), capacity)) {
        case PathCandidate::Written:
            found.emplace_back(out.get());
            break;
        case PathCandidate::NoMore:
            return found;
        case PathCandidate::TooLong:
            found.emplace_back("<too long>");
            // The search is over: the cursor gives nothing more.
            EXPECT_EQ(next_path_candidate(&cursor, program, out.get(), capacity),
                      PathCandidate::NoMore);
            return found;
        }
    }
}

TEST(PathCandidates, ElementsAreUsedAsTheyAre) {
    EXPECT_EQ(candidates("C:\\a;C:\\b\\;;D:;", "x.exe"),
              (Texts{"C:\\a\\x.exe", "C:\\b\\x.exe", "\\x.exe", "D:\\x.exe", "\\x.exe"}));
    EXPECT_EQ(candidates(" \"C:\\q\" ", "sub\\x.exe"), (Texts{" \"C:\\q\" \\sub\\x.exe"}));
}

TEST(PathCandidates, LongElementEndsTheSearch) {
    // With a 7-character program, elements up to 252 characters are used.
    EXPECT_EQ(candidates(std::string(252, 'e').c_str(), "cmd.exe")[0].size(), 260u);
    EXPECT_EQ(candidates((std::string(253, 'e') + ";C:\\ok").c_str(), "cmd.exe"),
              (Texts{"<too long>"}));
    EXPECT_EQ(candidates(("C:\\ok;" + std::string(252, 'e') + "\\").c_str(), "cmd.exe"),
              (Texts{"C:\\ok\\cmd.exe", "<too long>"}));
    EXPECT_EQ(candidates("C:\\ok", std::string(300, 'p').c_str()), (Texts{"<too long>"}));
    // Room too small for the candidate: refused, not cut.
    EXPECT_EQ(candidates("C:\\ok", "cmd.exe", 13), (Texts{"<too long>"}));
    EXPECT_EQ(candidates("C:\\ok", "cmd.exe", 14), (Texts{"C:\\ok\\cmd.exe"}));
}

TEST(LaunchPlan, FollowsTheExtensionOfTheLastComponent) {
    const char* const unchanged_first = " S S.com S.exe B.bat";
    const char* const batch_first = " B S.com S.exe B.bat";
    const char* const never_bare = " S.com S.exe B.bat";
    const struct {
        const char* path;
        const char* plan;
    } cases[] = {
        {"kq2.exe", unchanged_first},      {"kq2.bat.exe", unchanged_first},
        {"kq2.batch", unchanged_first},    {"job.BaT", batch_first},
        {"C:\\d.x\\job.bat", batch_first}, {"kq2", never_bare},
        {"dir.v2\\kq2", never_bare},       {"dir.bat/kq2", never_bare},
        {"C:.x\\kq2", never_bare},
    };
    for (const auto& c : cases) {
        std::string plan;
        for (const LaunchStep* s = launch_plan(c.path); s->kind != LaunchStepKind::End; ++s) {
            plan += s->kind == LaunchStepKind::Start ? " S" : " B";
            plan += s->suffix;
        }
        EXPECT_EQ(plan, c.plan) << c.path;
    }
    EXPECT_TRUE(is_not_found_error(193)); // a file that is no program: look further
    EXPECT_FALSE(is_not_found_error(32)); // a sharing violation: the program is there
}

} // namespace

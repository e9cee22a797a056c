#include "platform/environment.h"
#include "platform/launch_rules.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::string>;

TEST(EnvironmentLookup, FoldsLettersOnlyAndTakesTheFirstMatch) {
    // Entries each ended by a zero; the literal's own zero is the block's closing one.
    const char block[] = "=C:=C:\\w\0ComSpec=C:\\cmd.exe\0Path=first\0PATH=second\0EMPTY=\0"
                         "A[=square\0a{=brace\0\xc4X=upper\0V=a=b\0";
    // Each case is a name, then "=" and what it finds; a bare name finds nothing.
    for (const std::string c : {"comspec=C:\\cmd.exe", "PATH=first", "PAT", "ComSpecX",
                                "EMPTY=", "a[=square", "A{=brace", "\xe4X", "V=a=b", "C:"}) {
        const std::string name = c.substr(0, c.find('='));
        const char* value = find_environment_value(block, name.c_str());
        EXPECT_EQ(value == nullptr ? name : name + "=" + value, c);
    }
}

// Every candidate of a PATH value, then "<too long>" if the search ended that way, in room of
// exactly capacity bytes.
Texts candidates(const std::string& path_value, const char* program, std::size_t capacity = 300) {
    Texts found;
    const char* cursor = path_value.c_str();
    std::unique_ptr<char[]> out(new char[capacity]);
    PathCandidate result;
    while ((result = next_path_candidate(&cursor, program, out.get(), capacity)) ==
           PathCandidate::Written) {
        found.emplace_back(out.get());
    }
    if (result == PathCandidate::TooLong) {
        found.emplace_back("<too long>");
    }
    // However it ended, the search is over: the cursor gives nothing more.
    EXPECT_EQ(next_path_candidate(&cursor, program, out.get(), capacity), PathCandidate::NoMore);
    return found;
}

TEST(PathCandidates, ElementsAsTheyAreUntilOneIsTooLong) {
    EXPECT_EQ(candidates("C:\\a;C:\\b\\; \"q\" ;;D:;", "x.exe"),
              (Texts{"C:\\a\\x.exe", "C:\\b\\x.exe", " \"q\" \\x.exe", "\\x.exe", "D:\\x.exe",
                     "\\x.exe"}));
    // For a 7-character program, elements of up to 252 characters are used; longer ones end it.
    const std::string longest(252, 'e');
    EXPECT_EQ(candidates(longest + ";e" + longest + ";C:\\ok", "cmd.exe"),
              (Texts{longest + "\\cmd.exe", "<too long>"}));
    EXPECT_EQ(candidates("C:\\ok", std::string(260, 'p').c_str()), (Texts{"<too long>"}));
    // Room too small for the candidate: refused, not cut.
    EXPECT_EQ(candidates("C:\\ok", "cmd.exe", 13), (Texts{"<too long>"}));
    EXPECT_EQ(candidates("C:\\ok", "cmd.exe", 14), (Texts{"C:\\ok\\cmd.exe"}));
}

TEST(LaunchPlan, FollowsTheExtensionOfTheLastComponent) {
    // S: start the path with the suffix appended; B: run that as a batch file if it exists.
    const struct {
        const char* plan;
        std::vector<const char*> paths;
    } cases[] = {
        {" S S.com S.exe B.bat", {"kq2.exe", "kq2.bat.exe", "kq2.batch"}},
        {" B S.com S.exe B.bat", {"C:\\d.x\\job.BaT"}},
        {" S.com S.exe B.bat", {"kq2", "dir.v2\\kq2", "dir.bat/kq2"}}, // never bare
    };
    for (const auto& c : cases) {
        for (const char* path : c.paths) {
            std::string plan;
            for (const LaunchStep* s = launch_plan(path); s->kind != LaunchStepKind::End; ++s) {
                plan += std::string(s->kind == LaunchStepKind::Start ? " S" : " B") + s->suffix;
            }
            EXPECT_EQ(plan, c.plan) << path;
        }
    }
    EXPECT_TRUE(is_not_found_error(193)); // a file that is no program: look further
    EXPECT_FALSE(is_not_found_error(32)); // a sharing violation: the program is there
}

} // namespace

#include "supervisor/child_argv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

int allocations_left; // for the allocator that runs out

void* failing_after(std::size_t size) {
    return allocations_left-- == 0 ? nullptr : std::malloc(size);
}

// Builds from args and gives the list up to its end; the status through status.
std::vector<std::string> build(const std::vector<std::string>& args, ChildArgvStatus* status,
                               Allocator allocate = std::malloc) {
    std::vector<const char*> argv{"supervisor.exe"};
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    argv.push_back(nullptr);
    ChildArgv child{};
    *status = build_child_argv(static_cast<int>(argv.size() - 1), argv.data(), child, allocate,
                               std::free);
    std::vector<std::string> list;
    for (int i = 0; *status == ChildArgvStatus::Ok && child.slot[i] != nullptr; ++i) {
        list.emplace_back(child.slot[i]);
    }
    for (char* slot : child.slot) {
        std::free(slot);
    }
    return list;
}

TEST(ChildArgv, PassesArgumentsInTheirPlacesAfterTheFixedOption) {
    ChildArgvStatus status;
    EXPECT_EQ(build({}, &status), (std::vector<std::string>{"kq2.exe", "/z"}));
    EXPECT_EQ(build({"a"}, &status), (std::vector<std::string>{"kq2.exe", "/z", "a"}));
    // An empty argument keeps its place; one of any length is carried whole.
    const std::string exact(29, 'e');
    const std::string longer(30, 'l');
    const std::string huge(5000, 'h');
    EXPECT_EQ(build({"", exact, longer, huge, "x"}, &status),
              (std::vector<std::string>{"kq2.exe", "/z", "", exact, longer, huge, "x"}));
    EXPECT_EQ(status, ChildArgvStatus::Ok);
}

TEST(ChildArgv, SeventeenFitAndEighteenAreRefused) {
    std::vector<std::string> args;
    for (int i = 1; i <= 17; ++i) {
        args.push_back("a" + std::to_string(i));
    }
    ChildArgvStatus status;
    const std::vector<std::string> full = build(args, &status);
    ASSERT_EQ(status, ChildArgvStatus::Ok);
    ASSERT_EQ(full.size(), 19u);
    EXPECT_EQ(full[18], "a17");
    args.push_back("a18");
    build(args, &status);
    EXPECT_EQ(status, ChildArgvStatus::TooManyArguments);
}

TEST(ChildArgv, AllocationFailureAnywhereIsReported) {
    // The 20 slots, then the room for the long argument: each failing in turn is reported.
    for (int fail_at : {0, 7, 19, 20}) {
        allocations_left = fail_at;
        ChildArgvStatus status;
        build({"short", std::string(40, 'x')}, &status, failing_after);
        EXPECT_EQ(status, ChildArgvStatus::OutOfMemory) << "allocation " << fail_at;
    }
}

} // namespace

#include "supervisor/child_argv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

int allocations_left; // for the allocator that runs out

void* failing_after(std::size_t size) {
    if (allocations_left-- == 0) {
        return nullptr;
    }
    return std::malloc(size);
}

struct Built {
    ChildArgvStatus status;
    ChildArgv child;
    std::vector<std::string> list; // the entries up to the end of the list

    ~Built() {
        for (char* slot : child.slot) {
            std::free(slot);
        }
    }
};

void build(Built& out, const std::vector<std::string>& args) {
    std::vector<const char*> argv{"supervisor.exe"};
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    argv.push_back(nullptr);
    out.child = ChildArgv{};
    out.status = build_child_argv(static_cast<int>(args.size() + 1), argv.data(), out.child,
                                  std::malloc, std::free);
    for (int i = 0; out.status == ChildArgvStatus::Ok && out.child.slot[i] != nullptr; ++i) {
        out.list.emplace_back(out.child.slot[i]);
    }
}

std::vector<std::string> numbered(int n) {
    std::vector<std::string> args;
    for (int i = 1; i <= n; ++i) {
        args.push_back("a" + std::to_string(i));
    }
    return args;
}

TEST(ChildArgv, PassesArgumentsAfterTheFixedOption) {
    Built none;
    build(none, {});
    EXPECT_EQ(none.status, ChildArgvStatus::Ok);
    EXPECT_EQ(none.list, (std::vector<std::string>{"kq2.exe", "/z"}));

    Built one;
    build(one, {"a"});
    EXPECT_EQ(one.list, (std::vector<std::string>{"kq2.exe", "/z", "a"}));

    // An empty argument keeps its place and does not end the list.
    Built empty;
    build(empty, {"x", "", "y"});
    EXPECT_EQ(empty.list, (std::vector<std::string>{"kq2.exe", "/z", "x", "", "y"}));
}

TEST(ChildArgv, SeventeenFitAndEighteenAreRefused) {
    Built full;
    build(full, numbered(17));
    ASSERT_EQ(full.status, ChildArgvStatus::Ok);
    ASSERT_EQ(full.list.size(), 19u);
    EXPECT_EQ(full.list[18], "a17");
    EXPECT_EQ(full.child.slot[19], nullptr);

    Built over;
    build(over, numbered(18));
    EXPECT_EQ(over.status, ChildArgvStatus::TooManyArguments);
}

TEST(ChildArgv, LongArgumentIsCarriedWhole) {
    const std::string exact(29, 'e');
    const std::string longer(30, 'l');
    const std::string huge(5000, 'h');
    Built built;
    build(built, {exact, longer, huge, "after"});
    ASSERT_EQ(built.status, ChildArgvStatus::Ok);
    EXPECT_EQ(built.list,
              (std::vector<std::string>{"kq2.exe", "/z", exact, longer, huge, "after"}));
}

TEST(ChildArgv, AllocationFailureAnywhereIsReported) {
    const std::string longer(40, 'x');
    const char* argv[] = {"supervisor.exe", "short", longer.c_str(), nullptr};
    // 20 slots, then the room for the long argument: each failing in turn is reported.
    for (int fail_at : {0, 7, 19, 20}) {
        allocations_left = fail_at;
        ChildArgv child{};
        EXPECT_EQ(build_child_argv(3, argv, child, failing_after, std::free),
                  ChildArgvStatus::OutOfMemory)
            << "allocation " << fail_at;
        for (char* slot : child.slot) {
            std::free(slot);
        }
    }
}

} // namespace

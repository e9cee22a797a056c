#include "child_argv.h"

#include <cstring>

static void copy_into(char* slot, const char* text) {
    std::memcpy(slot, text, std::strlen(text) + 1);
}

ChildArgvStatus build_child_argv(int argc, const char* const* argv, ChildArgv& child,
                                 Allocator allocate, Deallocator release) {
    for (char*& slot : child.slot) {
        slot = static_cast<char*>(allocate(child_slot_size));
        if (slot == nullptr) {
            return ChildArgvStatus::OutOfMemory;
        }
    }
    copy_into(child.slot[0], "kq2.exe");
    copy_into(child.slot[1], "/z");
    int i = 1;
    for (; i < argc; ++i) {
        if (i > max_passed_arguments) {
            return ChildArgvStatus::TooManyArguments;
        }
        const std::size_t size = std::strlen(argv[i]) + 1;
        if (size > child_slot_size) {
            char* wide = static_cast<char*>(allocate(size));
            if (wide == nullptr) {
                return ChildArgvStatus::OutOfMemory;
            }
            release(child.slot[i + 1]);
            child.slot[i + 1] = wide;
        }
        copy_into(child.slot[i + 1], argv[i]);
    }
    // The end of the list is a null slot, so its buffer goes; the slots after it stay allocated
    // and unused, as the list is never rebuilt.
    release(child.slot[i + 1]);
    child.slot[i + 1] = nullptr;
    return ChildArgvStatus::Ok;
}

// The worker's argument list: built once from the supervisor's own arguments, used for every
// launch.
#pragma once

#include <cstddef>

constexpr int child_argv_slots = 20;
constexpr std::size_t child_slot_size = 30;
// Slots 0 and 1 hold the worker and its fixed option, and one slot ends the list.
constexpr int max_passed_arguments = child_argv_slots - 3;

struct ChildArgv {
    char* slot[child_argv_slots]; // ended by a null slot
};

enum class ChildArgvStatus { Ok, OutOfMemory, TooManyArguments };

using Allocator = void* (*)(std::size_t);
using Deallocator = void (*)(void*);

// Fills child with "kq2.exe", "/z" and argv[1..argc-1]. Every slot is allocated first; an argument
// longer than a slot gets a slot of its own size, so it is carried whole.
ChildArgvStatus build_child_argv(int argc, const char* const* argv, ChildArgv& child,
                                 Allocator allocate, Deallocator release);

// The command-line split over any line: the measured room is always enough and wholly used, with
// the arguments packed in order and the list closed by a null.
#include "platform/command_line.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const char* text = skip_program_name(line.c_str());
    const SplitSize room = measure_arguments(text);
    // Exactly the room measured: AddressSanitizer reports any byte used beyond it.
    std::vector<char> bytes(room.bytes);
    std::vector<char*> args(room.arguments + 1);
    split_arguments(text, bytes.data(), args.data());
    const char* next = bytes.data();
    for (std::size_t i = 0; i < room.arguments; ++i, next += std::strlen(next) + 1) {
        if (args[i] != next) {
            std::abort();
        }
    }
    if (text < line.c_str() || text > line.c_str() + std::strlen(line.c_str()) ||
        next != bytes.data() + bytes.size() || args[room.arguments] != nullptr) {
        std::abort();
    }
    return 0;
}

// The command-line split over any text: the measured room is always enough and always used.
#include "platform/command_line.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const char* text = skip_program_name(line.c_str());
    if (text < line.c_str() || text > line.c_str() + std::strlen(line.c_str())) {
        std::abort();
    }
    const SplitSize room = measure_arguments(text);
    // Exactly the room measured: AddressSanitizer reports any byte written beyond it.
    std::vector<char> bytes(room.bytes);
    std::vector<char*> args(room.arguments + 1);
    split_arguments(text, bytes.data(), args.data());
    std::size_t used = 0;
    for (std::size_t i = 0; i < room.arguments; ++i) {
        if (args[i] == nullptr || args[i] < bytes.data() ||
            args[i] >= bytes.data() + bytes.size()) {
            std::abort();
        }
        used += std::strlen(args[i]) + 1;
    }
    if (args[room.arguments] != nullptr || used != room.bytes) {
        std::abort();
    }
    return 0;
}

// The join and the environment lookup over any input: the join gives the plain concatenation, or
// refuses with an empty text and nothing written past its room; the lookup gives the value of the
// first entry whose name matches, letters a to z taken as A to Z and every other byte exact.
#include "platform/command_line.h"
#include "platform/environment.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

char fold(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte is the join's room; then texts, each ended by byte 1 (zeros are dropped): the
    // name, then the entries of the block, which are also the arguments of the join.
    const std::size_t capacity = data[0];
    std::string input;
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] != 0) {
            input += data[i] == 1 ? '\0' : static_cast<char>(data[i]);
        }
    }
    input += '\0';
    std::vector<std::string> parts;
    for (std::size_t at = 0; at < input.size(); at = input.find('\0', at) + 1) {
        parts.emplace_back(input.c_str() + at);
    }
    // The block ends at its first empty entry, or after the last one.
    const std::string& name = parts[0];
    const char* block = input.c_str() + name.size() + 1;
    std::string key = name + '=';
    std::transform(key.begin(), key.end(), key.begin(), fold);
    const char* expected_value = nullptr;
    for (const char* e = block; *e != '\0' && expected_value == nullptr; e += std::strlen(e) + 1) {
        const bool named =
            std::strlen(e) >= key.size() &&
            std::equal(key.begin(), key.end(), e, [](char k, char c) { return k == fold(c); });
        expected_value = named ? e + key.size() : nullptr;
    }
    if (find_environment_value(block, name.c_str()) != expected_value) {
        std::abort();
    }

    // The join, with the name as the path and also as entry 0.
    std::vector<const char*> argv;
    std::string expected = name + ' ';
    for (std::size_t i = 0; i < parts.size(); ++i) {
        argv.push_back(parts[i].c_str());
        expected += i == 0 ? "" : (i > 1 ? " " : "") + parts[i];
    }
    argv.push_back(nullptr);
    std::unique_ptr<char[]> out(new char[capacity]); // exactly the room: ASan sees beyond it
    const bool fits = join_command_line(out.get(), capacity, name.c_str(), argv.data());
    if (fits != (expected.size() < capacity) ||
        (capacity > 0 && std::string(out.get()) != (fits ? expected : ""))) {
        std::abort();
    }
    return 0;
}

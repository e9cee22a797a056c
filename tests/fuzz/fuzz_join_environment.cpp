// The join and the environment lookup over any input: the join matches a plain concatenation or
// refuses without writing past its room; the lookup answers only with a matching entry's value.
#include "platform/command_line.h"
#include "platform/environment.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool same_name(const char* entry, const char* name, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        char a = entry[i];
        char b = name[i];
        if (a >= 'a' && a <= 'z') {
            a = static_cast<char>(a - 'a' + 'A');
        }
        if (b >= 'a' && b <= 'z') {
            b = static_cast<char>(b - 'a' + 'A');
        }
        if (a != b) {
            return false;
        }
    }
    return entry[length] == '=';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // First byte: the join's room; then texts separated by byte 1: name, entries, then arguments.
    const std::size_t capacity = data[0];
    std::vector<std::string> parts(1);
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == 1) {
            parts.emplace_back();
        } else if (data[i] != 0) {
            parts.back() += static_cast<char>(data[i]);
        }
    }

    // The environment block: every part after the name, as entries.
    std::string block;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        block += parts[i];
        block += '\0';
    }
    block += '\0';
    const std::string& name = parts[0];
    const char* value = find_environment_value(block.c_str(), name.c_str());
    if (value != nullptr) {
        const char* entry = value - name.size() - 1;
        if (entry < block.c_str() || !same_name(entry, name.c_str(), name.size()) ||
            (entry != block.c_str() && entry[-1] != '\0')) {
            std::abort();
        }
    }

    // The join: the parts as an argument list, path first.
    std::vector<const char*> argv;
    for (const std::string& part : parts) {
        argv.push_back(part.c_str());
    }
    argv.push_back(nullptr);
    std::string expected = parts[0] + " ";
    for (std::size_t i = 1; i < parts.size(); ++i) {
        expected += parts[i];
        if (i + 1 < parts.size()) {
            expected += ' ';
        }
    }
    std::vector<char> out(capacity == 0 ? 1 : capacity);
    const bool fits = join_command_line(out.data(), capacity, parts[0].c_str(), argv.data());
    if (fits != (expected.size() + 1 <= capacity)) {
        std::abort();
    }
    if (fits && expected != out.data()) {
        std::abort();
    }
    return 0;
}

// Prints its messages through the platform, then ends with the status given as argument 1.
// With a second argument "long", first prints a message longer than the output buffer.
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[2], "long") == 0) {
        static std::string text(9000, 'm');
        text += "\n";
        print_message(text.c_str());
    }
    print_message("too much arguments \n");
    print_message("malloc in stub program failed \n");
    exit_process(argc > 1 ? std::atoi(argv[1]) : 0);
}

// placeholder until console input lands
#include "../platform.h"
bool key_available() {
    return false;
}
int read_key() {
    return -1;
}

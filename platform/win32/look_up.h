// Functions looked up at run time, so that the products import nothing beyond kernel32 and msvcrt
// and still start where a function is missing.
#pragma once

#include <windows.h>

// Cast through void (*)(), the one cast between function types that GCC accepts without a warning.
template <typename Function> Function look_up(HMODULE module, const char* name) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

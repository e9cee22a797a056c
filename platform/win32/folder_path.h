// The full, long-named path of a folder in the form that the folder lock's name is computed from.
#pragma once

#include <cstddef>

// False when the system gives no full path for path within capacity bytes.
bool normalised_folder_path(const char* path, char* out, std::size_t capacity);

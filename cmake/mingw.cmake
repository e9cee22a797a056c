# Cross build for Windows with MinGW-w64 (posix threads: GoogleTest needs them), for the processor
# that the toolchain file including this one names; its tests run under the Wine of those bits,
# whatever the caller chose.
set(CMAKE_SYSTEM_NAME Windows)
set(mingw_triple ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env KQ2_WINE_BITS=${mingw_wine_bits}
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)

# The build for 64-bit Windows from the same sources: the tests' build on machines that cannot run
# 32-bit programs, where Wine runs 64-bit ones only. Nothing of it ships.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(mingw_wine_bits 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

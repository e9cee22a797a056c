# Windows tree: the product for 32-bit Windows, its companion tools, and tests run under Wine.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

# The product needs no DLL beyond kernel32 and msvcrt, and starts on Windows XP.
set(product_compile -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables)
set(product_link -static -s -Wl,--gc-sections -Wl,--major-subsystem-version,5
    -Wl,--minor-subsystem-version,1 -Wl,--major-os-version,5 -Wl,--minor-os-version,1)
target_compile_options(core PRIVATE ${product_compile} -ffunction-sections -fdata-sections)

add_library(platform_win32 STATIC
  platform/win32/console.cpp
  platform/win32/process.cpp
  platform/win32/services.cpp)
target_link_libraries(platform_win32 PUBLIC core)
target_compile_options(platform_win32 PRIVATE ${product_compile} -ffunction-sections -fdata-sections)

function(add_product name)
  add_executable(${name} ${ARGN})
  target_compile_options(${name} PRIVATE ${product_compile})
  target_link_options(${name} PRIVATE ${product_link})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endfunction()

add_product(supervisor platform/win32/startup.cpp supervisor/supervisor_main.cpp)
target_link_libraries(supervisor PRIVATE core platform_win32)
add_product(fkill tools/fkill.cpp)
add_product(kq2 tools/kq2.cpp)

# GoogleTest cross-builds from its sources as they are.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
get_directory_property(project_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${project_options}")
include(GoogleTest)

# Small programs that the tests start: each tests/windows/probes/NAME.cpp becomes NAME.exe.
file(GLOB probes CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/probes/*.cpp)
foreach(probe ${probes})
  get_filename_component(name ${probe} NAME_WE)
  add_executable(${name} ${probe})
  target_link_libraries(${name} PRIVATE core platform_win32)
  target_link_options(${name} PRIVATE -static)
  list(APPEND probe_targets ${name})
endforeach()
# The real process entry over a stand-in supervisor that records the argument list it is given.
# Kept out of platform_win32, as the entry holds main.
add_executable(startup_probe platform/win32/startup.cpp tests/windows/startup_probe.cpp)
target_link_libraries(startup_probe PRIVATE core platform_win32)
target_link_options(startup_probe PRIVATE -static)
list(APPEND probe_targets startup_probe)

# Each tests/windows/test_*.cpp or console_*.cpp is one test program; console_* run in a terminal.
add_library(win_test_util STATIC tests/windows/win_test_util.cpp)
target_include_directories(win_test_util PUBLIC tests/windows)
add_library(win_test_support STATIC tests/windows/end_to_end.cpp)
target_link_libraries(win_test_support PUBLIC win_test_util gtest)

file(GLOB windows_tests CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/test_*.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/console_*.cpp)
foreach(source ${windows_tests})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE win_test_support core platform_win32 gtest_main)
  target_link_options(${name} PRIVATE -static)
  add_dependencies(${name} supervisor fkill kq2 ${probe_targets})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 600)
endforeach()

# One ESC typed into a terminal, as a person types it.
add_test(NAME typed_esc COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/typed_esc.sh
  ${CMAKE_BINARY_DIR}/bin ${CMAKE_BINARY_DIR}/tests/work/typed_esc)
set_tests_properties(typed_esc PROPERTIES TIMEOUT 120)

# Benchmark programs, built on demand by bench/run.sh.
file(GLOB bench_programs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/bench/windows/*.cpp)
foreach(program ${bench_programs})
  get_filename_component(name ${program} NAME_WE)
  add_executable(${name} EXCLUDE_FROM_ALL ${program})
  target_link_libraries(${name} PRIVATE win_test_util core platform_win32 psapi)
  target_link_options(${name} PRIVATE -static)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  list(APPEND bench_targets ${name})
endforeach()
add_custom_target(bench_programs DEPENDS ${bench_targets})

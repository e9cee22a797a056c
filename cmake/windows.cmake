# Windows tree: the products for 32-bit Windows, their companion tools, and tests run under Wine.
# The same sources build for x86_64 too, where a machine cannot run 32-bit programs.
enable_language(RC)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
# The tree's shell tests take the Wine of its bits, as its test programs do.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(wine_bits 64)
else()
  set(wine_bits 32)
endif()
set(with_wine ${CMAKE_COMMAND} -E env KQ2_WINE_BITS=${wine_bits})

if(MINGW)
  # The products need no DLL beyond kernel32 and msvcrt, start on Windows XP, and come out byte
  # for byte the same from the same sources: no time stamp, no build path.
  set(product_compile -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
      -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
  set(product_sections -ffunction-sections -fdata-sections)
  set(product_link -static -s -Wl,--gc-sections -Wl,--no-insert-timestamp
      -Wl,--major-subsystem-version,5 -Wl,--minor-subsystem-version,1
      -Wl,--major-os-version,5 -Wl,--minor-os-version,1)
  set(static_link -static)
endif()
target_compile_options(core PRIVATE ${product_compile} ${product_sections})

add_library(platform_win32 STATIC
  platform/win32/console.cpp
  platform/win32/event_log.cpp
  platform/win32/folder_access.cpp
  platform/win32/folder_facts.cpp
  platform/win32/folder_mutex.cpp
  platform/win32/folder_path.cpp
  platform/win32/monitor_facts.cpp
  platform/win32/object_owner.cpp
  platform/win32/process.cpp
  platform/win32/process_image.cpp
  platform/win32/services.cpp)
target_link_libraries(platform_win32 PUBLIC core)
# No -fdata-sections here: with it MinGW's GCC keeps zero-initialised statics (the 4 KB buffer of
# standard output, the folder's identity, the room of the permissions' judgement) as data in the
# program file rather than in .bss.
target_compile_options(platform_win32 PRIVATE ${product_compile} -ffunction-sections)

# A product program with its version resource. products.txt lists every product's file name, for
# the release's signing and the test pack.
file(WRITE ${CMAKE_BINARY_DIR}/products.txt "")
function(add_product name description)
  file(APPEND ${CMAKE_BINARY_DIR}/products.txt "${name}.exe\n")
  set(resource_name ${name})
  set(resource_description ${description})
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/version.rc.in
    ${CMAKE_BINARY_DIR}/resources/${name}.rc @ONLY)
  add_executable(${name} ${ARGN} ${CMAKE_BINARY_DIR}/resources/${name}.rc)
  target_compile_options(${name} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${product_compile}>")
  target_link_options(${name} PRIVATE ${product_link})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endfunction()

# The supervisor's message table, which the event source's registration names.
string(REPLACE windres windmc windmc ${CMAKE_RC_COMPILER})
set(messages_dir ${CMAKE_BINARY_DIR}/resources/messages)
add_custom_command(OUTPUT ${messages_dir}/events.rc ${messages_dir}/MSG00409.bin
  COMMAND ${CMAKE_COMMAND} -E make_directory ${messages_dir}
  COMMAND ${windmc} -r ${messages_dir} -h ${messages_dir} ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/events.mc
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/events.mc VERBATIM)
set_source_files_properties(${messages_dir}/events.rc PROPERTIES
  OBJECT_DEPENDS ${messages_dir}/MSG00409.bin)
add_product(supervisor "kq2 supervisor: keeps kq2.exe running"
  platform/win32/startup.cpp supervisor/supervisor_main.cpp ${messages_dir}/events.rc)
target_include_directories(supervisor PRIVATE ${messages_dir})
target_link_libraries(supervisor PRIVATE core platform_win32)
add_product(fkill "fkill: ends a process by its ID" tools/fkill.cpp)
add_product(kq2 "Demo worker for the kq2 supervisor" tools/kq2.cpp)
add_product(kq2stat "kq2stat: reports the kq2 supervisor's state to monitoring" tools/kq2stat.cpp)
target_link_libraries(kq2stat PRIVATE core platform_win32)
target_compile_definitions(kq2stat PRIVATE KQ2_VERSION="${PROJECT_VERSION}")
# wmain: the arguments in UTF-16, split by msvcrt's __wgetmainargs as main's are.
target_link_options(kq2stat PRIVATE -municode)

if(NOT BUILD_TESTING)
  return()
endif()

include(cmake/googletest.cmake)

# Small programs that the tests start: each tests/windows/probes/NAME.cpp becomes NAME.exe.
file(GLOB probes CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/probes/*.cpp)
foreach(probe ${probes})
  get_filename_component(name ${probe} NAME_WE)
  add_executable(${name} ${probe})
  target_link_libraries(${name} PRIVATE core platform_win32)
  target_link_options(${name} PRIVATE ${static_link})
  list(APPEND probe_targets ${name})
endforeach()
# The real process entry over a stand-in supervisor that records the argument list it is given.
# Kept out of platform_win32, as the entry holds main.
add_executable(startup_probe platform/win32/startup.cpp tests/windows/startup_probe.cpp)
target_link_libraries(startup_probe PRIVATE core platform_win32)
target_link_options(startup_probe PRIVATE ${static_link})
list(APPEND probe_targets startup_probe)

# Each tests/windows/test_*.cpp or console_*.cpp is one test program; console_* run in a terminal.
add_library(win_test_util STATIC tests/windows/win_test_util.cpp)
target_include_directories(win_test_util PUBLIC tests/windows)
add_library(win_test_support STATIC tests/windows/end_to_end.cpp)
target_link_libraries(win_test_support PUBLIC win_test_util GTest::gtest)

file(GLOB windows_tests CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/test_*.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/console_*.cpp)
foreach(source ${windows_tests})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE win_test_support core platform_win32 GTest::gtest_main)
  target_link_options(${name} PRIVATE ${static_link})
  add_dependencies(${name} supervisor fkill kq2 kq2stat ${probe_targets})
  # Wine names host files in UTF-8 only under a UTF-8 locale: folders named outside the ANSI
  # code page need it.
  set(environment "")
  if(name STREQUAL test_kq2stat)
    set(environment ENVIRONMENT LC_ALL=C.UTF-8)
  endif()
  # scripts/wine-run.sh ends a test that hangs, saying where, after its 300 s; ctest's time-out is
  # the last resort.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 360 ${environment})
endforeach()

# The version resources against the project's version.
target_link_libraries(test_version PRIVATE version)
target_compile_definitions(test_version PRIVATE PROJECT_VERSION="${PROJECT_VERSION}")

# One ESC typed into a terminal, as a person types it (in a Wine prefix of its own).
add_test(NAME typed_esc COMMAND ${with_wine} bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/typed_esc.sh
  ${CMAKE_BINARY_DIR}/bin ${CMAKE_BINARY_DIR}/tests/work/typed_esc)
set_tests_properties(typed_esc PROPERTIES TIMEOUT 180)

# The AutoRun check over the values of testers' machines, in a Wine prefix of its own.
add_test(NAME autorun_values COMMAND ${with_wine}
  WINEPREFIX=${CMAKE_BINARY_DIR}/tests/work/autorun-wineprefix KQ2_AUTORUN_PREFIX=1
  bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/wine-run.sh $<TARGET_FILE:test_process>
  --gtest_filter=Process.AUsersAutoRunComesBackAsItWas)
set_tests_properties(autorun_values PROPERTIES TIMEOUT 120)

# kq2stat's Prometheus file read by promtool and by node_exporter's textfile collector.
add_test(NAME prometheus_consumers COMMAND ${with_wine} bash
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/prometheus_consumers.sh ${CMAKE_BINARY_DIR}/bin
  ${CMAKE_BINARY_DIR}/tests/work/prometheus_consumers)
set_tests_properties(prometheus_consumers PROPERTIES TIMEOUT 120)

# The Windows test pack, its programs signed with a throw-away key, run by its run-tests.cmd in a
# terminal, as a user runs it in a console.
add_test(NAME test_pack COMMAND ${with_wine} bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/release/test_pack.sh
  ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/test-pack)
set_tests_properties(test_pack PROPERTIES TIMEOUT 660)

# Benchmark programs, built on demand by bench/run.sh.
file(GLOB bench_programs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/bench/windows/*.cpp)
foreach(program ${bench_programs})
  get_filename_component(name ${program} NAME_WE)
  add_executable(${name} EXCLUDE_FROM_ALL ${program})
  target_link_libraries(${name} PRIVATE win_test_util core platform_win32 psapi)
  target_link_options(${name} PRIVATE ${static_link})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  list(APPEND bench_targets ${name})
endforeach()
add_custom_target(bench_programs DEPENDS ${bench_targets})

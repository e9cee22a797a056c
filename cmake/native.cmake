# Native tree: the OS-free logic under AddressSanitizer and UndefinedBehaviorSanitizer, with the
# watchdog run over a simulated platform.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  set(sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  set(debug -g)
endif()
target_compile_options(core PRIVATE ${sanitize} ${debug})

include(cmake/googletest.cmake)

file(GLOB native_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/native/*.cpp)
add_executable(native_tests ${native_tests})
target_compile_options(native_tests PRIVATE ${sanitize} ${debug})
target_link_options(native_tests PRIVATE ${sanitize})
target_link_libraries(native_tests PRIVATE core GTest::gtest_main)
# The guide that tests/native/test_guide_messages.cpp holds against the messages of the code.
target_compile_definitions(native_tests PRIVATE KQ2_VERSION="${PROJECT_VERSION}"
                                                KQ2_GUIDE="${CMAKE_CURRENT_SOURCE_DIR}/release/README.txt")
gtest_discover_tests(native_tests)

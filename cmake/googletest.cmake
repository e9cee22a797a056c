# GoogleTest: the installed package when there is one, else built from its sources as they are.
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  if(NOT EXISTS ${GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest is neither installed nor found at GTEST_SOURCE_DIR "
      "(${GTEST_SOURCE_DIR}). Set GTEST_SOURCE_DIR to its sources, or configure with "
      "-DBUILD_TESTING=OFF to build the programs alone.")
  endif()
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  get_directory_property(project_options COMPILE_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${project_options}")
endif()
include(GoogleTest)

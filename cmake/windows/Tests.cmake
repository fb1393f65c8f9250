# The tests of the Windows build: GoogleTest cross-built from Debian's source, each test program
# run by ctest under Wine (CMAKE_CROSSCOMPILING_EMULATOR). Tests that need Qt or a Linux program
# (Pillow for /usr/bin/python3) stay in the Linux build.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

set(tests ${CMAKE_SOURCE_DIR}/tests)
add_library(sodrel_test_support STATIC ${tests}/support/TestFiles.cpp ${tests}/support/DdsWriter.cpp)
target_include_directories(sodrel_test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(sodrel_test_support PUBLIC sodrel_dds gtest)

# sodrel_add_windows_test(NAME SOURCE FILTER LIBRARIES...): FILTER is a GoogleTest filter of the
# tests that run under Wine.
function(sodrel_add_windows_test name source filter)
  add_executable(${name} ${tests}/${source})
  target_link_libraries(${name} PRIVATE sodrel_test_support gtest_main ${ARGN})
  target_compile_definitions(${name} PRIVATE SODREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  string(REGEX REPLACE "_tests$" "." prefix ${name})
  gtest_discover_tests(${name} TEST_PREFIX ${prefix} TEST_FILTER ${filter} DISCOVERY_TIMEOUT 60
                       NO_PRETTY_VALUES)
endfunction()

sodrel_add_windows_test(encode_tests encode/EncodeTest.cpp -*Pillow* sodrel_encode)
sodrel_add_windows_test(windows_tests windows/FreeImageStaticTest.cpp * sodrel_freeimage)
sodrel_add_windows_test(io_tests windows/FileIoTest.cpp * sodrel_io)
target_sources(io_tests PRIVATE ${tests}/windows/InterruptTest.cpp)
sodrel_add_windows_test(workfiles_tests windows/WorkFilesTest.cpp * sodrel_workfiles)
sodrel_add_windows_test(convert_tests windows/BatchTest.cpp * sodrel_convert)
sodrel_add_windows_test(dds_tests dds/DecoderDifferentialTest.cpp -*Pillow* sodrel_decode)

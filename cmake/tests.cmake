# GoogleTest: Debian's library natively; built from Debian's sources
# (/usr/src/googletest) for a cross build.
if(CMAKE_CROSSCOMPILING)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest googletest EXCLUDE_FROM_ALL SYSTEM)
  set(gtest_main_target gtest_main)
else()
  find_package(GTest CONFIG REQUIRED)
  set(gtest_main_target GTest::gtest_main)
endif()

set(test_data ${CMAKE_SOURCE_DIR}/tests/data)


add_executable(camera_info_tests
  src/app/run_test.cc
  src/discovery/device_ids_test.cc
  src/discovery/enumerate_cameras_test.cc
  src/report/report_writer_test.cc)
target_compile_definitions(camera_info_tests PRIVATE
  CAMERA_INFO_TEST_DATA="${test_data}")
target_link_libraries(camera_info_tests PRIVATE
  camera_info_core ${gtest_main_target} camera_info_warnings)

# A cross build without an emulator is only built.
set(can_run_tests TRUE)
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(can_run_tests FALSE)
endif()

if(can_run_tests)
  add_test(NAME unit COMMAND camera_info_tests)
endif()

# The fuzz target of the texts the platform gives, where clang builds for
# this machine (the sanitize preset, whose flags give the code it runs the
# coverage that guides it), as libFuzzer comes with clang. A fixed number of
# inputs from a fixed start: the verdict is the same on any machine. As the
# fuzzer learns from compares that hold addresses, it runs without address
# randomisation (setarch -R), so that each run tries the same inputs.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND NOT CMAKE_CROSSCOMPILING)
  add_executable(names_fuzzer tests/fuzz/names_fuzzer.cc)
  target_compile_options(names_fuzzer PRIVATE -fsanitize=fuzzer)
  target_link_options(names_fuzzer PRIVATE -fsanitize=fuzzer)
  target_link_libraries(names_fuzzer PRIVATE
    camera_info_core camera_info_warnings)
  add_test(NAME fuzz-names
    COMMAND setarch -R $<TARGET_FILE:names_fuzzer> -seed=1 -runs=30000
            -print_final_stats=1)
endif()

if(WIN32)
  add_test(NAME windows-exe
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-windows-exe.sh
            ${CMAKE_OBJDUMP} $<TARGET_FILE:camera-info> ${PROJECT_VERSION}
            "${CAMERA_INFO_SOURCE_DATE_EPOCH}")
endif()

if(WIN32)
  include(cmake/wine-tests.cmake)
endif()

# The built program started the way a user or a script starts it.
if(can_run_tests)
  include(cmake/cases.cmake)
endif()

# The reports the tests expect, checked against the report's JSON Schema
# with a real validator (Debian's python3-jsonschema).
add_test(NAME report-schema
  COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/scripts/validate-reports.py
          ${CMAKE_SOURCE_DIR}/docs/camera-info.schema.json ${test_data}
          ${CMAKE_SOURCE_DIR}/tests/wine/cases)

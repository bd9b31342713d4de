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

add_library(camera_info_kept_reports STATIC tests/support/kept_reports.cc)
target_include_directories(camera_info_kept_reports PUBLIC tests/support)
target_link_libraries(camera_info_kept_reports PUBLIC ${gtest_main_target} PRIVATE camera_info_warnings)

add_library(camera_info_scripted_platform STATIC
  src/discovery/scripted_device_platform.cc)
target_link_libraries(camera_info_scripted_platform
  PUBLIC camera_info_core PRIVATE camera_info_warnings)

add_executable(camera_info_tests
  src/app/report_document_test.cc
  src/app/run_test.cc
  src/app/utf8_test.cc
  src/discovery/device_ids_test.cc
  src/discovery/enumerate_cameras_fault_test.cc
  src/discovery/enumerate_cameras_test.cc
  src/report/report_writer_test.cc)
target_link_libraries(camera_info_tests PRIVATE
  camera_info_scripted_platform camera_info_kept_reports ${gtest_main_target}
  camera_info_warnings)

# The expected report texts (tests/data); Wine sees / as drive Z:.
target_compile_definitions(camera_info_tests PRIVATE
  CAMERA_INFO_TEST_DATA="$<$<BOOL:${WIN32}>:Z:>${CMAKE_SOURCE_DIR}/tests/data")

# A cross build without an emulator (32-bit Windows here) is only built.
set(can_run_tests TRUE)
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(can_run_tests FALSE)
endif()

if(can_run_tests)
  add_test(NAME unit COMMAND camera_info_tests)
endif()

if(NOT WIN32)
  add_library(camera_info_child_process STATIC tests/support/child_process.cc)
  target_include_directories(camera_info_child_process PUBLIC tests/support)
  target_link_libraries(camera_info_child_process PRIVATE camera_info_warnings)

  # Starts the built program as a process, the way a user does.
  add_executable(camera_info_process_tests src/app/camera_info_process_test.cc)
  target_compile_definitions(camera_info_process_tests PRIVATE
    CAMERA_INFO_EXE="$<TARGET_FILE:camera-info>")
  target_link_libraries(camera_info_process_tests PRIVATE
    camera_info_child_process camera_info_kept_reports ${gtest_main_target}
    camera_info_warnings)
  add_dependencies(camera_info_process_tests camera-info)
  add_test(NAME process COMMAND camera_info_process_tests)

  # The whole run with each of its allocations failing in turn.
  add_executable(alloc_failure_probe tests/alloc/alloc_failure_probe.cc)
  target_link_libraries(alloc_failure_probe PRIVATE camera_info_core camera_info_warnings)
  add_executable(camera_info_alloc_tests tests/alloc/alloc_failure_test.cc)
  target_compile_definitions(camera_info_alloc_tests PRIVATE
    ALLOC_FAILURE_PROBE="$<TARGET_FILE:alloc_failure_probe>")
  target_link_libraries(camera_info_alloc_tests PRIVATE
    camera_info_child_process ${gtest_main_target} camera_info_warnings)
  add_dependencies(camera_info_alloc_tests alloc_failure_probe)
  add_test(NAME allocation-failure COMMAND camera_info_alloc_tests)
endif()

if(WIN32)
  add_test(NAME windows-exe
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-windows-exe.sh
            ${CMAKE_OBJDUMP} $<TARGET_FILE:camera-info>)
endif()

if(WIN32)
  # End-to-end on the platform's own device enumerator (Wine's, here): the
  # test installs fake video-input devices and runs camera-info.exe.
  add_executable(camera_info_wine_tests
    tests/wine/camera_info_wine_test.cc
    tests/wine/fake_video_devices.cc)
  target_link_libraries(camera_info_wine_tests PRIVATE
    camera_info_kept_reports ${gtest_main_target} camera_info_warnings
    ole32 strmiids uuid advapi32)
  target_link_options(camera_info_wine_tests PRIVATE -static -static-libgcc -static-libstdc++)
  target_compile_definitions(camera_info_wine_tests PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
  add_dependencies(camera_info_wine_tests camera-info)
  if(can_run_tests)
    # A prefix of its own, made afresh for every run, so that no device of
    # an earlier run or of another test is left in it.
    set(device_prefix ${CMAKE_BINARY_DIR}/wineprefix-devices)
    add_test(NAME wine-fresh-prefix
      COMMAND ${CMAKE_COMMAND} -E rm -rf ${device_prefix})
    set_tests_properties(wine-fresh-prefix PROPERTIES FIXTURES_SETUP wine-devices)
    add_test(NAME wine-end-to-end COMMAND camera_info_wine_tests)
    set_tests_properties(wine-end-to-end PROPERTIES
      FIXTURES_REQUIRED wine-devices
      ENVIRONMENT WINEPREFIX=${device_prefix})
  endif()
endif()

# The reports the tests above produced, checked against the report's JSON
# Schema with a real validator (Debian's python3-jsonschema).
if(can_run_tests)
  set(kept_reports ${CMAKE_BINARY_DIR}/kept-reports)
  if(WIN32)
    set(kept_reports_seen_by_tests Z:${kept_reports})  # Wine's drive for /
    set(report_producers unit wine-end-to-end)
  else()
    set(kept_reports_seen_by_tests ${kept_reports})
    set(report_producers unit process)
  endif()
  add_test(NAME kept-reports-reset
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${kept_reports})
  set_tests_properties(kept-reports-reset PROPERTIES FIXTURES_SETUP kept-reports-dir)
  set_property(TEST ${report_producers} APPEND PROPERTY
    FIXTURES_REQUIRED kept-reports-dir)
  set_property(TEST ${report_producers} APPEND PROPERTY
    FIXTURES_SETUP kept-reports)
  set_property(TEST ${report_producers} APPEND PROPERTY
    ENVIRONMENT CAMERA_INFO_KEEP_REPORTS=${kept_reports_seen_by_tests})
  add_test(NAME report-schema
    COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/scripts/validate-reports.py
            ${CMAKE_SOURCE_DIR}/docs/camera-info.schema.json ${kept_reports})
  set_tests_properties(report-schema PROPERTIES FIXTURES_REQUIRED kept-reports)
endif()

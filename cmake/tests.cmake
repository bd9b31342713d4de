# Every test of a build tree, its drivers in tests/. The Linux builds run
# the unit tests, the schema check and the file cases marked "both"; the
# Windows builds run everything under Wine (scripts/wine-run.sh, the
# presets' emulator), with Wine's own DirectShow device enumerator.
set(tests ${PROJECT_SOURCE_DIR}/tests)

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

set(src ${PROJECT_SOURCE_DIR}/src)
add_executable(camera_info_tests
  ${src}/app/run_test.cc
  ${src}/discovery/device_ids_test.cc
  ${src}/discovery/enumerate_cameras_test.cc
  ${src}/report/report_writer_test.cc)
target_compile_definitions(camera_info_tests PRIVATE
  CAMERA_INFO_TEST_DATA="${tests}/data")
target_link_libraries(camera_info_tests PRIVATE
  camera_info_core ${gtest_main_target} camera_info_warnings)
add_test(NAME unit COMMAND camera_info_tests)

# Odd device names through the enumeration, the document and the writer,
# where clang builds for this machine (the sanitize preset, whose flags give
# the code under test the coverage that guides libFuzzer). A fixed number of
# inputs from a fixed start, without address randomisation (the fuzzer
# learns from compares that hold addresses): every run tries the same
# inputs, on any machine.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND NOT CMAKE_CROSSCOMPILING)
  add_executable(names_fuzzer ${tests}/fuzz/names_fuzzer.cc)
  target_compile_options(names_fuzzer PRIVATE -fsanitize=fuzzer)
  target_link_options(names_fuzzer PRIVATE -fsanitize=fuzzer)
  target_link_libraries(names_fuzzer PRIVATE camera_info_core camera_info_warnings)
  add_test(NAME fuzz-names
    COMMAND setarch -R $<TARGET_FILE:names_fuzzer> -seed=1 -runs=30000
            -print_final_stats=1)
endif()

# The reports the tests expect, against the report's JSON Schema, with a
# real validator (Debian's python3-jsonschema).
add_test(NAME report-schema
  COMMAND /usr/bin/python3 ${tests}/validate-reports.py
          ${PROJECT_SOURCE_DIR}/docs/camera-info.schema.json
          ${tests}/data ${tests}/wine/cases)

# --- Windows: the exe, and the programs that meet it under Wine -----------

set(device_cases ${tests}/wine/cases)
set(new_report ${tests}/data/report-empty.txt)
set(helper -)
if(WIN32)
  set(standard_devices ${device_cases}/usb-pci-integrated-paths)
  set(new_report ${standard_devices}/expected.txt)
  set(helper $<TARGET_FILE:helper>)
  set(wine_run ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh)

  add_test(NAME windows-exe
    COMMAND ${tests}/check-windows-exe.sh
            ${CMAKE_OBJDUMP} $<TARGET_FILE:camera-info>
            "${CAMERA_INFO_SOURCE_DATE_EPOCH}")

  # Readers holding the report, runs at once, a planted DLL: helper.cc.
  add_executable(helper ${tests}/wine/helper.cc)
  target_link_libraries(helper PRIVATE camera_info_core camera_info_warnings)
  add_library(planted SHARED ${tests}/wine/planted.cc)
  set_target_properties(planted PROPERTIES PREFIX "")
  target_link_options(planted PRIVATE -static-libgcc)  # no DLL of its own
  add_dependencies(helper planted)
  # Every Win32 call of the file steps failed in turn, in-process.
  add_executable(fault_sweep ${tests}/wine/fault_sweep.cc)
  target_link_libraries(fault_sweep PRIVATE camera_info_core camera_info_warnings)

  # The tree's own Wine prefix, made once and kept, with a Wine server that
  # stays between the tests' programs: the fixture "wine". The devices
  # cases take turns there, each installing its devices. The file cases,
  # which all meet the same devices, run side by side in a copy of it
  # ("wine-files").
  set(prefix ${CMAKE_BINARY_DIR}/wine/prefix)
  set(files_prefix ${CMAKE_BINARY_DIR}/wine/files)
  add_test(NAME wine-prefix COMMAND ${wine_run} --prefix ${prefix})
  add_test(NAME wine-files-prefix COMMAND ${wine_run} --prefix ${files_prefix} ${prefix})
  add_test(NAME wine-files-devices
    COMMAND ${wine_run} --devices ${standard_devices}/devices.txt)
  set_tests_properties(wine-prefix PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine-files-prefix PROPERTIES
    FIXTURES_REQUIRED wine FIXTURES_SETUP wine-files)
  set_tests_properties(wine-files-devices PROPERTIES FIXTURES_SETUP wine-files
    DEPENDS wine-files-prefix ENVIRONMENT WINEPREFIX=${files_prefix})

  add_test(NAME dll-search-path COMMAND helper dll-search)
  set(in_prefix unit dll-search-path)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_test(NAME fault-sweep COMMAND fault_sweep)
    add_test(NAME wine-preloader COMMAND helper preloader)
    list(APPEND in_prefix fault-sweep wine-preloader)
  endif()
  set_tests_properties(${in_prefix} PROPERTIES
    FIXTURES_REQUIRED wine ENVIRONMENT WINEPREFIX=${prefix})
endif()

# --- the cases: the built program run as a user or a script runs it -------

function(add_case name label earlier expected)
  add_test(NAME ${name}
    COMMAND ${tests}/run-case.sh $<TARGET_FILE:camera-info>
            ${helper} ${earlier} ${expected} ${ARGN})
  set_tests_properties(${name} PROPERTIES LABELS ${label} SKIP_RETURN_CODE 77)
  if(WIN32 AND label STREQUAL devices)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine-prefix
      FIXTURES_REQUIRED wine ENVIRONMENT WINEPREFIX=${prefix})
  elseif(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine-files
      ENVIRONMENT WINEPREFIX=${files_prefix})
  endif()
endfunction()

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${tests}/file-cases.txt)
file(STRINGS ${tests}/file-cases.txt case_lines REGEX "^[a-z]")
foreach(line IN LISTS case_lines)
  string(REGEX REPLACE " +" ";" fields "${line}")
  list(POP_FRONT fields name where earlier expected)
  if(expected STREQUAL new)
    set(expected ${new_report})
  endif()
  if(where STREQUAL both OR (WIN32 AND (where STREQUAL wine OR
     (where STREQUAL wine32 AND CMAKE_SIZEOF_VOID_P EQUAL 4))))
    add_case(${name} files ${earlier} ${expected} ${fields})
  endif()
endforeach()

if(WIN32)
  file(GLOB cases LIST_DIRECTORIES true CONFIGURE_DEPENDS ${device_cases}/*)
  foreach(case IN LISTS cases)
    get_filename_component(name ${case} NAME)
    add_case(${name} devices none ${case}/expected.txt
             devices ${case}/devices.txt PROGRAM)
  endforeach()
endif()

# The Windows builds' tests under Wine: the unit tests, the fault sweep, and
# the cases of tests/run-cases.sh (cmake/cases.cmake), with Wine's own
# DirectShow device enumerator. The 32-bit build runs under Wine's 32-bit
# loader, in a 64-bit prefix as on 64-bit Windows. Where that loader is
# missing or cannot run, its tests fail and say so: scripts/setup.sh all
# sets up what runs it.

# The other programs that meet the report: readers holding it, runs at once.
add_executable(helper tests/wine/helper.cc)
target_link_libraries(helper PRIVATE camera_info_core camera_info_warnings)

# Every Win32 call of the file steps failed in turn, in-process.
add_executable(fault_sweep tests/wine/fault_sweep.cc)
target_link_libraries(fault_sweep PRIVATE camera_info_core camera_info_warnings)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(wine_loader /usr/lib/wine/wine64)
else()
  set(wine_loader /usr/lib/wine/wine)
endif()
if(NOT EXISTS ${wine_loader})
  message(NOTICE "No ${wine_loader}: the Wine tests will fail; scripts/setup.sh all installs it")
endif()

# The tree's own Wine prefix, made once and kept, with a Wine server that
# stays between the tests' programs.
set(wine_prefix ${CMAKE_BINARY_DIR}/wine/prefix)
set(case_wine_arguments ${wine_loader} $<TARGET_FILE:helper>)
add_test(NAME wine-prefix
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --prefix ${wine_prefix})
set_tests_properties(wine-prefix PROPERTIES FIXTURES_SETUP wine)
if(can_run_tests)
  set_tests_properties(unit PROPERTIES
    FIXTURES_REQUIRED wine ENVIRONMENT WINEPREFIX=${wine_prefix})
endif()
if(can_run_tests AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME fault-sweep COMMAND fault_sweep)
  set_tests_properties(fault-sweep PROPERTIES
    FIXTURES_REQUIRED wine ENVIRONMENT WINEPREFIX=${wine_prefix})
endif()

# End-to-end runs of camera-info.exe on Wine's own DirectShow device
# enumerator: tests/run-cases.sh installs the fake video-input devices of
# each case in tests/wine/cases in the registry and compares the report's
# bytes, then runs the cases of tests/file-cases.txt. The 32-bit build runs
# under Wine's 32-bit loader, in a 64-bit prefix as on 64-bit Windows. Where
# that loader is missing or cannot run, its tests fail and say so:
# scripts/setup.sh all sets up what runs it.

# The other programs that meet the report: readers holding it, runs at once.
add_executable(helper tests/wine/helper.cc)
target_link_libraries(helper PRIVATE camera_info_core camera_info_warnings)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(wine_loader /usr/lib/wine/wine64)
else()
  set(wine_loader /usr/lib/wine/wine)
endif()

# Every Win32 call of the file steps failed in turn, in-process.
add_executable(fault_sweep tests/wine/fault_sweep.cc)
target_link_libraries(fault_sweep PRIVATE camera_info_core camera_info_warnings)

if(can_run_tests AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME fault-sweep COMMAND fault_sweep)
endif()

if(can_run_tests)
  add_test(NAME wine-cases
    COMMAND ${CMAKE_SOURCE_DIR}/tests/run-cases.sh $<TARGET_FILE:camera-info>
            ${wine_loader} $<TARGET_FILE:helper>)
  if(NOT EXISTS ${wine_loader})
    message(NOTICE "No ${wine_loader}: the Wine tests will fail; scripts/setup.sh all installs it")
  endif()
endif()

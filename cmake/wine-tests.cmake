# End-to-end runs of camera-info.exe on Wine's own DirectShow device
# enumerator: tests/run-cases.sh installs the fake video-input devices of
# each case in tests/wine/cases in the registry and compares the report's
# bytes, then runs the cases of tests/file-cases.txt. The 32-bit build runs
# under Wine's 32-bit loader, in a 64-bit prefix as on 64-bit Windows; a
# machine that cannot run i386 programs has no such loader, and its tests
# then report a skip (status 77).

# The other programs that meet the report: readers holding it, runs at once.
add_executable(helper tests/wine/helper.cc)
target_link_libraries(helper PRIVATE camera_info_core camera_info_warnings)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(wine_loader /usr/lib/wine/wine64)
else()
  set(wine_loader /usr/lib/wine/wine)
endif()

if(can_run_tests)
  add_test(NAME wine-cases
    COMMAND ${CMAKE_SOURCE_DIR}/tests/run-cases.sh $<TARGET_FILE:camera-info>
            ${wine_loader} $<TARGET_FILE:helper>)
  # scripts/wine-run.sh, the emulator, also exits with 77 for a missing loader.
  set_tests_properties(wine-cases unit PROPERTIES SKIP_RETURN_CODE 77)
  if(NOT EXISTS ${wine_loader})
    message(NOTICE "No ${wine_loader} (scripts/setup.sh installs it only where this machine "
      "runs i386 programs): the Wine tests will report a skip")
  endif()
endif()

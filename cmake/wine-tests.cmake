# End-to-end runs of camera-info.exe on Wine's own DirectShow device
# enumerator: tests/wine/run-cases.sh installs the fake video-input devices
# of each case in tests/wine/cases in the registry and compares the
# report's bytes. The 32-bit build runs under Wine's 32-bit loader, in a
# 64-bit prefix as on 64-bit Windows; a machine that cannot run i386
# programs has no such loader, and its tests then report a skip (status 77).

# Holds a report open without sharing while camera-info.exe runs.
add_executable(hold_open tests/wine/hold_open.cc)
target_link_libraries(hold_open PRIVATE camera_info_warnings)
target_link_options(hold_open PRIVATE -static -static-libgcc -static-libstdc++)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(wine_loader /usr/lib/wine/wine64)
else()
  set(wine_loader /usr/lib/wine/wine)
endif()

if(can_run_tests)
  add_test(NAME wine-cases
    COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/run-cases.sh ${wine_loader}
            $<TARGET_FILE:camera-info> $<TARGET_FILE:hold_open>)
  # scripts/wine-run.sh, the emulator, also exits with 77 for a missing loader.
  set_tests_properties(wine-cases unit PROPERTIES SKIP_RETURN_CODE 77)
  if(NOT EXISTS ${wine_loader})
    message(NOTICE "No ${wine_loader} (scripts/setup.sh installs it only where this machine "
      "runs i386 programs): the Wine tests will report a skip")
  endif()
endif()

# Each case of tests/run-cases.sh is a test of its own, labelled by kind:
# "files" for the lines of tests/file-cases.txt (those marked "both" in the
# Linux build too), "devices" for the folders of tests/wine/cases (Windows
# builds). Under Wine the devices cases take turns in the tree's prefix (the
# wine fixture), each installing its devices; the file cases, which all
# meet the same devices, run side by side in a copy of it (wine-files).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/tests/file-cases.txt)

if(WIN32)
  set(wine_files_prefix ${CMAKE_BINARY_DIR}/wine/files)
  add_test(NAME wine-files-prefix
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --prefix
            ${wine_files_prefix} ${wine_prefix})
  add_test(NAME wine-files-devices
    COMMAND ${CMAKE_SOURCE_DIR}/tests/run-cases.sh standard-devices
            $<TARGET_FILE:camera-info> ${case_wine_arguments})
  set_tests_properties(wine-files-prefix PROPERTIES
    FIXTURES_REQUIRED wine FIXTURES_SETUP wine-files)
  set_tests_properties(wine-files-devices PROPERTIES FIXTURES_SETUP wine-files
    DEPENDS wine-files-prefix ENVIRONMENT WINEPREFIX=${wine_files_prefix})
endif()

function(add_case name label)
  add_test(NAME ${name}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/run-cases.sh ${name}
            $<TARGET_FILE:camera-info> ${case_wine_arguments})
  set_tests_properties(${name} PROPERTIES LABELS ${label} SKIP_RETURN_CODE 77)
  if(WIN32 AND label STREQUAL devices)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine-prefix
      FIXTURES_REQUIRED wine ENVIRONMENT WINEPREFIX=${wine_prefix})
  elseif(WIN32)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine-files
      ENVIRONMENT WINEPREFIX=${wine_files_prefix})
  endif()
endfunction()

file(STRINGS ${CMAKE_SOURCE_DIR}/tests/file-cases.txt case_lines REGEX "^[a-z]")
foreach(line IN LISTS case_lines)
  string(REGEX MATCH "^([^ ]+) +([^ ]+)" _ "${line}")
  if(WIN32 OR CMAKE_MATCH_2 STREQUAL "both")
    add_case(${CMAKE_MATCH_1} files)
  endif()
endforeach()

if(WIN32)
  file(GLOB device_cases LIST_DIRECTORIES true CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/tests/wine/cases/*)
  foreach(dir IN LISTS device_cases)
    get_filename_component(name ${dir} NAME)
    add_case(${name} devices)
  endforeach()
  # Only a 32-bit program's file access is redirected.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_case(system32-working-directory files)
  endif()
endif()

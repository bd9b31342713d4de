# libFuzzer targets (clang). The test suite runs each for a bounded number
# of runs; new inputs go to a corpus in the build tree, so the inputs kept
# in fuzz/corpus stay as they are.
set(CAMERA_INFO_FUZZ_RUNS 100000 CACHE STRING "Runs of each fuzzer in the test suite")
enable_testing()
foreach(name report_writer)
  add_executable(${name}_fuzzer fuzz/${name}_fuzzer.cc)
  target_link_libraries(${name}_fuzzer PRIVATE camera_info_core camera_info_warnings)
  target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
  set(found ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
  file(MAKE_DIRECTORY ${found})
  add_test(NAME fuzz-${name}
    COMMAND ${name}_fuzzer -runs=${CAMERA_INFO_FUZZ_RUNS} -seed=1 -max_len=4096
            ${found} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name})
endforeach()

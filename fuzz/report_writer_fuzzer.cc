// renderCameraReport on report-shaped documents of arbitrary bytes: jsoncpp's
// reader gets the same document back, and the layout keeps to its rules.

#include <fuzzer/FuzzedDataProvider.h>
#include <json/reader.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "report/report_writer.h"

// Stops the run; libFuzzer keeps the input that did it.
#define FUZZ_CHECK(condition) \
  ((condition) ? void() : (std::fputs(#condition "\n", stderr), std::abort()))

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const auto bytes = [&input] {
    const std::string text = input.ConsumeRandomLengthString(64);
    return Json::Value(text.data(), text.data() + text.size());
  };
  Json::Value root;
  for (unsigned i = input.ConsumeIntegralInRange(0u, 30u); i-- > 0;) {
    for (const char* key : {"vid", "name", "detail", "pid"}) {
      root["cameraInfo"][i][key] = bytes();
    }
  }
  root[input.ConsumeRandomLengthString(16)] = bytes();

  const std::string text = renderCameraReport(root);
  FUZZ_CHECK(text.size() > 4 && text.front() == '{');
  FUZZ_CHECK(text.compare(text.size() - 3, 3, "\n}\n") == 0);
  FUZZ_CHECK(text.find_first_of(std::string("\r\t\0", 3)) == std::string::npos);
  Json::Value parsed;
  std::istringstream(text) >> parsed;
  FUZZ_CHECK(parsed == root);
  return 0;
}

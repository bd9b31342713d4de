// renderCameraReport on documents of the report's shape built from the
// input: the text parses back into the same document, and its layout keeps
// to the rules every reader relies on.

#include <fuzzer/FuzzedDataProvider.h>
#include <json/reader.h>

#include <cstdint>
#include <memory>

#include "fuzz_text.h"
#include "report/report_writer.h"

namespace {

Json::Value bytesValue(FuzzedDataProvider& input) {
  const std::string bytes = input.ConsumeRandomLengthString(64);
  return Json::Value(bytes.data(), bytes.data() + bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  Json::Value root;
  const unsigned cameras = input.ConsumeIntegralInRange<unsigned>(0, 30);
  for (Json::ArrayIndex i = 0; i < cameras; ++i) {
    Json::Value& camera = root["cameraInfo"][i];
    camera["name"] = bytesValue(input);
    camera["vid"] = bytesValue(input);
    camera["pid"] = bytesValue(input);
    camera["detail"] = bytesValue(input);
  }
  root["version"] = "1.0.1";

  const std::string text = renderCameraReport(root);
  FUZZ_CHECK(!text.empty() && text.front() == '{' && text.back() == '\n');
  FUZZ_CHECK(text.find('\r') == std::string::npos);
  FUZZ_CHECK(text.find('\t') == std::string::npos);
  FUZZ_CHECK(text.find('\0') == std::string::npos);
  FUZZ_CHECK(text.find(" \n") == std::string::npos);

  static const std::unique_ptr<Json::CharReader> reader(
      Json::CharReaderBuilder().newCharReader());
  Json::Value parsed;
  std::string errors;
  FUZZ_CHECK(
      reader->parse(text.data(), text.data() + text.size(), &parsed, &errors));
  FUZZ_CHECK(parsed == root);
  return 0;
}

// Fuzzes the texts the platform gives, which nothing checks before they reach
// the report: whatever they hold, the report must be well-formed UTF-8 and
// JSON that reads back as the document, each name the cut of its property,
// and the platform must get back all it handed out.

#include <json/reader.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/report_document.h"
#include "discovery/enumerate_cameras.h"
#include "discovery/fake_device_platform.h"
#include "report/report_writer.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "names_fuzzer: %s\n", what);
  std::abort();
}

bool isHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Reads the input in order; past its end, every byte is zero.
struct Input {
  const uint8_t* at;
  const uint8_t* end;
  uint8_t next() { return at < end ? *at++ : 0; }
};

// A text of up to 7 runs, each of one piece repeated up to 256 times, so
// that long texts cost a few bytes. A piece is any unit at all, a lone
// surrogate (high or low), a pair, or an ASCII character (a NUL, a control,
// a quote, a backslash ...).
std::u16string textOf(Input& in) {
  std::u16string text;
  for (int runs = in.next() % 8; runs > 0; --runs) {
    const uint8_t kind = in.next(), low = in.next();
    const auto unit = static_cast<char16_t>(kind << 8 | low);
    const std::u16string pieces[] = {
        {unit},
        {static_cast<char16_t>(0xD800 | unit % 0x800)},
        {static_cast<char16_t>(0xD800 | low << 2),
         static_cast<char16_t>(0xDC00 | kind << 2)},
        {static_cast<char16_t>(low % 0x80)}};
    for (int count = in.next(); count >= 0; --count) text += pieces[kind % 4];
  }
  return text;
}

// Well-formed UTF-8 (no overlong form, no surrogate, nothing past U+10FFFF)
// whose only control byte is the layout's line feed: JSON takes none raw in
// a string.
bool wellFormed(const std::string& text) {
  constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    if (lead < 0x80) {
      if (lead < 0x20 && lead != '\n') return false;
      ++i;
      continue;
    }
    const size_t length = lead < 0xC0   ? 0
                          : lead < 0xE0 ? 2
                          : lead < 0xF0 ? 3
                                        : 4;
    if (length == 0 || lead > 0xF4 || text.size() - i < length) return false;
    char32_t code = lead & (0x7Fu >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3Fu);
    }
    if (code < kLeast[length] || code > 0x10FFFF || (code >> 11) == 0x1B) {
      return false;
    }
    i += length;
  }
  return true;
}

// The name a device must get, if any: FriendlyName's text where its read
// succeeds, else Description's, up to the first NUL (a number has none), cut
// to 255 units, or 254 where the 255th begins a pair.
std::optional<std::u16string> nameOf(const FakeDevice& device) {
  std::optional<std::u16string> text =
      device.friendlyNameIsNumber ? u"" : device.friendlyName;
  if (!text) text = device.descriptionIsNumber ? u"" : device.description;
  if (!text) return text;
  std::u16string& t = *text;
  t.resize(std::min(t.find(u'\0'), t.size()));
  if (t.size() > 255) t.resize(isHigh(t[254]) && isLow(t[255]) ? 254 : 255);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, data + size};
  std::vector<FakeDevice> devices;
  while (in.at < in.end && devices.size() < 8) {
    const uint8_t has = in.next();
    FakeDevice& device = devices.emplace_back();
    if (has & 1) device.displayName = textOf(in);
    if (has & 2) device.description = textOf(in);
    if (has & 4) device.friendlyName = textOf(in);
    device.descriptionIsNumber = has & 8;
    device.friendlyNameIsNumber = has & 16;
  }

  FakeDevicePlatform platform(devices);
  std::vector<CameraRecord> cameras;
  const int count = enumerateCameras(cameras, platform);
  if (!platform.unclean().empty()) fail(platform.unclean().c_str());
  if (static_cast<size_t>(count) != cameras.size()) fail("the count is off");
  auto camera = cameras.begin();
  for (const FakeDevice& device : devices) {
    const std::optional<std::u16string> name = nameOf(device);
    if (!name) continue;
    if (camera == cameras.end()) fail("a device with a name has no record");
    if (camera->name != *name) fail("a name is not its property's cut");
    if (camera++->detail != device.displayName.value_or(u"")) {
      fail("a detail is not the display name");
    }
  }
  if (camera != cameras.end()) fail("a record of a device with no name");

  const Json::Value document = buildReportDocument(cameras);
  const std::string report = renderCameraReport(document);
  if (!wellFormed(report)) fail("the report is not well-formed UTF-8 JSON");
  static const std::unique_ptr<Json::CharReader> reader = [] {
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    return std::unique_ptr<Json::CharReader>(builder.newCharReader());
  }();
  Json::Value read;
  if (!reader->parse(report.data(), report.data() + report.size(), &read,
                     nullptr) ||
      read != document) {
    fail("the report does not read back as the document");
  }
  return 0;
}

#include "discovery/device_ids.h"

#include <gtest/gtest.h>

#include <codecvt>
#include <fstream>
#include <locale>
#include <sstream>

// The cases are UTF-8 text; std::wstring_convert turns them into UTF-16.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

// Each line: a display name, its vid and its pid, separated by tabs.
TEST(ParseDeviceIds, CutsTheIdsOfEveryListedName) {
  std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t> utf16;
  std::ifstream cases(CAMERA_INFO_TEST_DATA "/device-ids.tsv");
  int rows = 0;
  for (std::string line; std::getline(cases, line); ++rows) {
    std::istringstream fields(line);
    std::string name, vid, pid;
    std::getline(std::getline(std::getline(fields, name, '\t'), vid, '\t'), pid,
                 '\t');
    const DeviceIds ids = parseDeviceIds(utf16.from_bytes(name));
    EXPECT_EQ(utf16.to_bytes(ids.vid) + "|" + utf16.to_bytes(ids.pid),
              vid + "|" + pid)
        << line;
  }
  EXPECT_EQ(rows, 16);
  // A key missing is told from a key with an empty value.
  EXPECT_EQ(cutAfterKey(u"vid", u"vid_", u"&"), std::nullopt);
  EXPECT_EQ(cutAfterKey(u"vid_&", u"vid_", u"&"), u"");
}

}  // namespace

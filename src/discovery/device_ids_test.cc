#include "discovery/device_ids.h"

#include <gtest/gtest.h>

#include <codecvt>
#include <fstream>
#include <locale>

// The cases are UTF-8 text; std::wstring_convert turns them into UTF-16.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

TEST(ParseDeviceIds, FollowsTheRulesOnEveryListedName) {
  std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t> utf16;
  std::ifstream cases(CAMERA_INFO_TEST_DATA "/device-ids.tsv");
  int rows = 0;
  for (std::string line; std::getline(cases, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::u16string> fields;
    for (size_t start = 0, tab = 0; tab != std::string::npos; start = tab + 1) {
      tab = line.find('\t', start);
      fields.push_back(utf16.from_bytes(line.substr(start, tab - start)));
    }
    ASSERT_EQ(fields.size(), 4u) << line;
    SCOPED_TRACE(line);
    const DeviceIds ids = parseDeviceIds(fields[0]);
    EXPECT_EQ(ids.vid, fields[1]);
    EXPECT_EQ(ids.pid, fields[2]);
    ++rows;
  }
  EXPECT_EQ(rows, 16);
}

TEST(CutAfterKey, TellsAMissingKeyFromAnEmptyValue) {
  EXPECT_EQ(cutAfterKey(u"abc", u"x", u"&"), std::nullopt);
  EXPECT_EQ(cutAfterKey(u"vid", u"vid_", u"&"), std::nullopt);
  EXPECT_EQ(cutAfterKey(u"vid_&", u"vid_", u"&"), u"");
}

}  // namespace

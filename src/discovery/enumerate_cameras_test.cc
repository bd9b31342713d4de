#include "discovery/enumerate_cameras.h"

#include <gtest/gtest.h>

#include "app/utf8.h"
#include "discovery/fake_device_platform.h"

namespace {

using namespace std::string_literals;
using Records = std::vector<std::string>;

// Both names; FriendlyName only; Description only.
const std::vector<FakeDevice> kThree = {
    {u"usb#vid_046d&pid_0825", u"Desc1", u"Cam1"},
    {u"pci#ven_8086&dev_1234", {}, u"Cam2"},
    {u"display#int3470#uid1", u"Desc3", {}}};
const Records kAll = {"Cam1|046d|0825|usb#vid_046d&pid_0825",
                      "Cam2|8086|1234|pci#ven_8086&dev_1234",
                      "Desc3|3470|1|display#int3470#uid1"};

// The records appended, as "name|vid|pid|detail", behind one that was there
// before and must stay; checks the count and that the platform was left
// clean.
Records enumerate(FakeDevicePlatform& platform) {
  std::vector<CameraRecord> cameras = {{u"old", u"", u"", u""}};
  const int count = enumerateCameras(cameras, platform);
  EXPECT_EQ(static_cast<size_t>(count) + 1, cameras.size());
  EXPECT_EQ(cameras[0].name, u"old");
  Records records;
  for (size_t i = 1; i < cameras.size(); ++i) {
    const CameraRecord& c = cameras[i];
    records.push_back(
        toUtf8(c.name + u"|" + c.vid + u"|" + c.pid + u"|" + c.detail));
  }
  EXPECT_EQ(platform.unclean(), "");
  return records;
}

struct Case {
  std::string call;  // "Operation#n", given `status`
  PlatformStatus status;
  Records expected;
  std::vector<FakeDevice> devices = kThree;
};

TEST(EnumerateCameras, StatusesAndNamesDecideWhichDevicesGiveRecords) {
  const PlatformStatus fail = kStatusFail, sFalse = kStatusFalse;
  const Case cases[] = {
      {"", 0, kAll},
      {"Init#1", fail, kAll},  // its status changes nothing
      {"Create#1", fail, {}},
      {"Create#1", sFalse, kAll},
      {"Class#1", sFalse, {}},        // only S_OK gives a class enumerator
      {"Next#2", sFalse, {kAll[0]}},  // anything but S_OK ends the list
      {"Next#3", fail, {kAll[0], kAll[1]}},
      {"Bind#2", fail, {kAll[0], kAll[2]}},  // no properties: skipped
      {"Bind#1", sFalse, kAll},
      {"Name#1", fail, {"Cam1|||", kAll[1], kAll[2]}},  // no display name
      {"Read#2", fail, {"Desc1" + kAll[0].substr(4), kAll[1], kAll[2]}},
      {"Read#4", fail, {kAll[0], kAll[2]}},  // device 2 has no name at all
      {"Read#4", sFalse, kAll},              // S_FALSE still gives the string
      {"Read#5", fail, kAll},  // device 2's first FriendlyName counts
      {"", 0, {"Front|||x"}, {{u"x", {}, u"Front\0Back"s}}},  // up to a NUL
      {"", 0, {"|||x"}, {{u"x", u"", u""}}},  // an empty name makes a record
      {"", 0, {"|||x"}, {{u"x", u"Desc", u""}}},
      {"", 0, {"Cam|||"}, {{{}, {}, u"Cam"}}},  // no display name
      {"", 0, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call + "=" + std::to_string(c.status));
    FakeDevicePlatform platform(c.devices);
    platform.statuses[c.call] = c.status;
    EXPECT_EQ(enumerate(platform), c.expected);
  }
}

TEST(EnumerateCameras, NamesAreCutTo255UnitsWithoutSplittingAPair) {
  const std::u16string n254(254, u'n');
  const struct {
    std::u16string name;
    size_t kept;
  } rows[] = {
      {std::u16string(300, u'N'), 255},  // cut to the first 255
      {n254 + u"n", 255},                // exactly 255 stays whole
      {n254 + u"\xD83D\xDE00xyz", 254},  // the pair at 254-255 goes whole
      {n254 + u"\xD83Dx", 255},          // a lone high surrogate stays
      {n254 + u"x\xDE00", 255},          // and so does a lone low one
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows));
    FakeDevicePlatform platform({{u"x", {}, row.name}});
    std::vector<CameraRecord> cameras;
    enumerateCameras(cameras, platform);
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].name, row.name.substr(0, row.kept));
  }
}

}  // namespace

#include "discovery/enumerate_cameras.h"

#include <gtest/gtest.h>

#include "discovery/fake_device_platform.h"

namespace {

using namespace std::string_literals;
using Records = std::vector<std::string>;

// Both names; FriendlyName only; Description only.
const std::vector<FakeDevice> kThree = {
    {u"usb#vid_046d&pid_0825", u"Desc1", u"Cam1"},
    {u"pci#ven_8086&dev_1234", {}, u"Cam2"},
    {u"display#int3470#uid1", u"Desc3", {}}};
const char kCam1[] = "Cam1|046d|0825|usb#vid_046d&pid_0825";
const char kCam2[] = "Cam2|8086|1234|pci#ven_8086&dev_1234";
const char kCam3[] = "Desc3|3470|1|display#int3470#uid1";
const Records kAll = {kCam1, kCam2, kCam3};

std::string ascii(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) bytes += unit < 0x80 ? char(unit) : '?';
  return bytes;
}

// Records as "name|vid|pid|detail", behind `records`; checks the count and
// that the platform was left clean.
Records enumerate(FakeDevicePlatform& platform, Records records = {}) {
  std::vector<CameraRecord> cameras(records.size());
  const int count = enumerateCameras(cameras, platform);
  EXPECT_EQ(static_cast<size_t>(count), cameras.size() - records.size());
  for (size_t i = records.size(); i < cameras.size(); ++i) {
    const CameraRecord& c = cameras[i];
    records.push_back(ascii(c.name) + "|" + ascii(c.vid) + "|" + ascii(c.pid) +
                      "|" + ascii(c.detail));
  }
  EXPECT_EQ(platform.unclean(), "");
  return records;
}

struct Case {
  std::string call;  // "Operation#n" given `status`, or empty
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
      {"Class#1", sFalse, {}},  // only S_OK gives a class enumerator
      {"Class#1", fail, {}},
      {"Next#1", fail, {}},
      {"Next#2", sFalse, {kCam1}},  // anything but S_OK ends the list
      {"Next#3", fail, {kCam1, kCam2}},
      {"Next#2", 2, {kCam1}},
      {"Bind#2", fail, {kCam1, kCam3}},  // no properties: skipped
      {"Bind#1", sFalse, kAll},
      {"Name#1", fail, {"Cam1|||", kCam2, kCam3}},  // no display name
      {"Read#2", fail, {"Desc1|046d|0825|usb#vid_046d&pid_0825", kCam2, kCam3}},
      {"Read#4", sFalse, kAll},  // S_FALSE still gives the string
      {"Read#4", fail, {kCam1, kCam3}},  // device 2 has no name at all
      {"Read#5", fail, kAll},            // device 2's first FriendlyName counts
      {"", 0, {"Front|||x"}, {{u"x", {}, u"Front\0Back"s}}},  // up to a NUL
      {"", 0, {"|||x"}, {{u"x", u"", u""}}},  // an empty name makes a record
      {"", 0, {"|||x"}, {{u"x", u"Desc", u""}}},
      {"", 0, {"Cam|||"}, {{{}, {}, u"Cam"}}},  // no display name
      {"", 0, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call + "=" + std::to_string(c.status));
    FakeDevicePlatform platform(c.devices);
    if (!c.call.empty()) platform.statuses[c.call] = c.status;
    EXPECT_EQ(enumerate(platform), c.expected);
  }
}

TEST(EnumerateCameras, CallsThePlatformInOrderAndGivesEverythingBack) {
  FakeDevicePlatform platform({{u"a", u"A", u"a"}, {u"b", {}, u"B"}});
  enumerate(platform);
  EXPECT_EQ(platform.log,
            "Init Create Class Next1 Bind1 Name1 Free:text1 Read1D Read1F "
            "Release:bag1 Release:moniker1 Next2 Bind2 Name2 Free:text2 Read2D "
            "Read2F Read2F Release:bag2 Release:moniker2 Next "
            "Release:device enumerator Release:class enumerator Uninit");
}

TEST(EnumerateCameras, AppendsBehindExistingRecords) {
  FakeDevicePlatform platform(kThree);
  EXPECT_EQ(enumerate(platform, {"old"}),
            (Records{"old", kCam1, kCam2, kCam3}));
}

TEST(EnumerateCameras, ReleasesEverythingWhenAnExceptionPasses) {
  for (const char* call :
       {"Create#1", "Next#2", "Bind#2", "Name#1", "Read#2"}) {
    SCOPED_TRACE(call);
    FakeDevicePlatform platform(kThree);
    platform.throwAt = call;
    std::vector<CameraRecord> cameras;
    EXPECT_THROW(enumerateCameras(cameras, platform), std::bad_alloc);
    EXPECT_EQ(platform.unclean(), "");
  }
}

TEST(EnumerateCameras, KeepsAtMost255UnitsAndNeverHalfAPair) {
  const std::u16string n(253, u'n'), pair = u"\xd83d\xde00";
  const std::u16string cases[][2] = {
      {n + u"nnn", n + u"nn"},          {n + u"nn", n + u"nn"},
      {n + u"n" + pair, n + u"n"},      {n + pair + u"x", n + pair},
      {n + u"n\xd83d", n + u"n\xd83d"},
  };
  for (const auto& [name, kept] : cases) {
    FakeDevicePlatform platform({{u"x", {}, name}});
    std::vector<CameraRecord> cameras;
    enumerateCameras(cameras, platform);
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].name, kept);
  }
}

}  // namespace

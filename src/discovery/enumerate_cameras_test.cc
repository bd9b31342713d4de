#include "discovery/enumerate_cameras.h"

#include <gtest/gtest.h>

#include "discovery/scripted_device_platform.h"

using namespace std::string_literals;

namespace {

using Calls = std::vector<std::string>;

ScriptedDevice namedDevice(std::u16string displayName,
                           std::optional<std::u16string> friendlyName,
                           std::optional<std::u16string> description = {}) {
  ScriptedDevice device;
  device.displayName = std::move(displayName);
  device.friendlyName = std::move(friendlyName);
  device.description = std::move(description);
  return device;
}

// Whatever happened, the enumeration must end COM once and give back every
// reference, text and string it was handed.
void expectCleanEnd(const ScriptedDevicePlatform& platform) {
  EXPECT_EQ(platform.cleanEndProblems(), Calls{});
}

std::vector<std::u16string> namesOf(const std::vector<CameraRecord>& cameras) {
  std::vector<std::u16string> names;
  for (const CameraRecord& camera : cameras) names.push_back(camera.name);
  return names;
}

TEST(EnumerateCameras, FillsRecordFromDisplayNameAndFriendlyName) {
  const std::u16string path =
      u"usb#vid_046d&pid_0825&mi_00#7&1b2c3d&0&0000#global";
  ScriptedDevicePlatform platform({namedDevice(path, u"HD Webcam C270")});
  std::vector<CameraRecord> cameras;

  EXPECT_EQ(enumerateCameras(cameras, platform), 1);

  ASSERT_EQ(cameras.size(), 1u);
  EXPECT_EQ(cameras[0].name, u"HD Webcam C270");
  EXPECT_EQ(cameras[0].vid, u"046d");
  EXPECT_EQ(cameras[0].pid, u"0825");
  EXPECT_EQ(cameras[0].detail, path);
  expectCleanEnd(platform);
}

TEST(EnumerateCameras, MakesThePlatformCallsInOrder) {
  ScriptedDevicePlatform platform(
      {namedDevice(u"a", u"A", u"desc A"), namedDevice(u"b", u"B")});
  std::vector<CameraRecord> cameras;
  enumerateCameras(cameras, platform);

  const Calls expected = {
      "CoInitialize", "CoCreateInstance", "CreateClassEnumerator",
      // device 1: Description read, so FriendlyName is read once
      "Next", "BindToStorage(1)", "GetDisplayName(1)", "CoTaskMemFree",
      "Read(1, Description)", "Read(1, FriendlyName)",
      "Release(property bag 1)", "Release(moniker 1)",
      // device 2: no Description, so FriendlyName is read twice
      "Next", "BindToStorage(2)", "GetDisplayName(2)", "CoTaskMemFree",
      "Read(2, Description)", "Read(2, FriendlyName)", "Read(2, FriendlyName)",
      "Release(property bag 2)", "Release(moniker 2)", "Next",
      "Release(device enumerator)", "Release(class enumerator)",
      "CoUninitialize"};
  EXPECT_EQ(platform.comCalls(), expected);
  expectCleanEnd(platform);
}

struct NameGateCase {
  std::optional<std::u16string> description;
  std::optional<std::u16string> friendlyName;
  std::optional<std::u16string> expectedName;  // null: no record
};

TEST(EnumerateCameras, NameGateFollowsTheOutcomeTable) {
  const NameGateCase cases[] = {
      {u"Desc", u"Friendly", u"Friendly"},
      {u"Desc", std::nullopt, u"Desc"},
      {std::nullopt, u"Friendly", u"Friendly"},
      {std::nullopt, std::nullopt, std::nullopt},
      {u"", u"", u""},  // an empty name still makes a record
      {u"Desc", u"", u""},
      {u"Front\0Camera"s, std::nullopt, u"Front"},  // up to the first NUL
  };
  int index = 0;
  for (const NameGateCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << index++);
    ScriptedDevicePlatform platform(
        {namedDevice(u"x", c.friendlyName, c.description)});
    std::vector<CameraRecord> cameras;
    const int count = enumerateCameras(cameras, platform);
    if (c.expectedName) {
      EXPECT_EQ(count, 1);
      EXPECT_EQ(namesOf(cameras), std::vector<std::u16string>{*c.expectedName});
    } else {
      EXPECT_EQ(count, 0);
      EXPECT_TRUE(cameras.empty());
    }
    expectCleanEnd(platform);
  }
}

TEST(EnumerateCameras, SkipsDevicesWithoutPropertiesOrName) {
  ScriptedDevicePlatform platform(
      {namedDevice(u"1", u"one"), namedDevice(u"2", u"two"),
       namedDevice(u"3", u"three"), namedDevice(u"4", std::nullopt),
       namedDevice(u"5", u"five")});
  platform.failCall(ScriptedOperation::kBindToStorage, 2, kStatusFail);
  std::vector<CameraRecord> cameras;

  EXPECT_EQ(enumerateCameras(cameras, platform), 3);
  EXPECT_EQ(namesOf(cameras),
            (std::vector<std::u16string>{u"one", u"three", u"five"}));
  // The unbound device is not asked for anything further.
  EXPECT_EQ(platform.countCalls("GetDisplayName(2)"), 0);
  EXPECT_EQ(platform.countCalls("Release(moniker 2)"), 1);
  expectCleanEnd(platform);
}

TEST(EnumerateCameras, AppendsBehindExistingRecordsAndCountsOnlyNewOnes) {
  ScriptedDevicePlatform platform({namedDevice(u"a", u"new")});
  std::vector<CameraRecord> cameras = {CameraRecord{u"old", u"1", u"2", u"3"}};

  EXPECT_EQ(enumerateCameras(cameras, platform), 1);
  EXPECT_EQ(namesOf(cameras), (std::vector<std::u16string>{u"old", u"new"}));
  EXPECT_EQ(cameras[0].detail, u"3");
}

TEST(EnumerateCameras, MissingDisplayNameLeavesIdsEmpty) {
  ScriptedDevice device;
  device.displayName = std::nullopt;
  device.friendlyName = u"Cam";
  ScriptedDevicePlatform platform({device});
  std::vector<CameraRecord> cameras;

  EXPECT_EQ(enumerateCameras(cameras, platform), 1);
  ASSERT_EQ(cameras.size(), 1u);
  EXPECT_EQ(cameras[0].detail, u"");
  EXPECT_EQ(cameras[0].vid, u"");
  EXPECT_EQ(cameras[0].pid, u"");
  expectCleanEnd(platform);
}

TEST(EnumerateCameras, LimitsNamesTo255UnitsWithoutSplittingAPair) {
  const std::u16string pair = u"\xd83d\xde00";  // U+1F600
  struct LimitCase {
    std::u16string name;
    std::u16string expected;
  };
  const LimitCase cases[] = {
      {std::u16string(300, u'n'), std::u16string(255, u'n')},
      {std::u16string(255, u'n'), std::u16string(255, u'n')},
      {std::u16string(256, u'n'), std::u16string(255, u'n')},
      // The 255th unit starts a pair: the whole pair goes.
      {std::u16string(254, u'n') + pair + u"x", std::u16string(254, u'n')},
      // The pair ends at unit 255: it stays.
      {std::u16string(253, u'n') + pair + u"x",
       std::u16string(253, u'n') + pair},
      // Exactly 255 units ending in a lone high surrogate: nothing is cut.
      {std::u16string(254, u'n') + u"\xd83d",
       std::u16string(254, u'n') + u"\xd83d"},
  };
  int index = 0;
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << index++);
    ScriptedDevicePlatform platform({namedDevice(u"x", c.name)});
    std::vector<CameraRecord> cameras;
    enumerateCameras(cameras, platform);
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].name, c.expected);
  }
}

TEST(EnumerateCameras, EmptyCategoryGivesNothing) {
  ScriptedDevicePlatform platform;
  std::vector<CameraRecord> cameras;
  EXPECT_EQ(enumerateCameras(cameras, platform), 0);
  EXPECT_TRUE(cameras.empty());
  EXPECT_EQ(platform.comCalls(),
            (Calls{"CoInitialize", "CoCreateInstance", "CreateClassEnumerator",
                   "Release(device enumerator)", "CoUninitialize"}));
  expectCleanEnd(platform);
}

}  // namespace

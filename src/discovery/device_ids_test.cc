#include "discovery/device_ids.h"

#include <gtest/gtest.h>

namespace {

struct DeviceIdsCase {
  const char16_t* displayName;
  const char16_t* vid;
  const char16_t* pid;
  const char* shows;
};

const DeviceIdsCase kDeviceIdsCases[] = {
    {u"usb#vid_046d&pid_0825&mi_00#7&1b2c3d&0&0000#global", u"046d", u"0825",
     "the usual bus path; values end at the next &"},
    {u"pci#ven_8086&dev_1234&subsys_00000000#3&11583659&0&a0#global", u"8086",
     u"1234", "second rules of both lists"},
    {u"display#int3470#4&1835d135&0&uid13424#global", u"3470", u"13424",
     "third rules; values end at #"},
    {u"usb#vid_0c45#6&1a2b3c&0&0000#global", u"0c45#6", u"",
     "& is taken wherever it next stands; no product key"},
    {u"usb#pid_0825#vid_046d", u"046d", u"0825#vid_046d",
     "no & behind the key gives the whole rest"},
    {u"USB#VID_046D&PID_0825#6&2a4b7f4&0&0000#global", u"", u"",
     "keys are case-sensitive"},
    {u"ven_10de&pid_1111&vid_2222&dev_3333", u"2222", u"1111",
     "rule order wins over position"},
    {u"sw#FluidPrintCam#2", u"Cam", u"PrintCam", "keys match inside words"},
    {u"usb#vid_", u"", u"", "a key at the very end"},
    {u"vid_&pid_", u"", u"", "a terminator right behind the key"},
    {u"", u"", u"", "an empty display name"},
    {u"vid_&ven_8086&int1#", u"", u"",
     "an empty first-rule value is not replaced by a later rule"},
    {u"@device:sw:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\usb#vid_046d&pid_"
     u"0825",
     u"046d", u"0825", "a software device path"},
    {u"usb#vid_\u00e9\u4e2d&pid_\xd83d\xde00#", u"\u00e9\u4e2d",
     u"\xd83d\xde00#", "values are copied unit by unit, pairs included"},
};

TEST(ParseDeviceIds, FollowsTheRuleTables) {
  for (const DeviceIdsCase& c : kDeviceIdsCases) {
    SCOPED_TRACE(c.shows);
    const DeviceIds ids = parseDeviceIds(c.displayName);
    EXPECT_EQ(ids.vid, c.vid);
    EXPECT_EQ(ids.pid, c.pid);
  }
}

struct CutCase {
  const char16_t* text;
  const char16_t* key;
  const char16_t* terminator;
  std::optional<std::u16string> expected;
};

TEST(CutAfterKey, DistinguishesMissingKeyFromEmptyValue) {
  const CutCase cases[] = {
      {u"abc", u"x", u"&", std::nullopt},
      {u"", u"vid_", u"&", std::nullopt},
      {u"vid", u"vid_", u"&", std::nullopt},  // key longer than the text
      {u"vid_", u"vid_", u"&", u""},
      {u"vid_&", u"vid_", u"&", u""},
      {u"a&vid_12", u"vid_", u"&", u"12"},     // a terminator before the key
      {u"vid_1&vid_2&", u"vid_", u"&", u"1"},  // the first occurrence
      {u"xvid_vid_&", u"vid_", u"&", u"vid_"},
  };
  int index = 0;
  for (const CutCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << index++);
    EXPECT_EQ(cutAfterKey(c.text, c.key, c.terminator), c.expected);
  }
}

}  // namespace

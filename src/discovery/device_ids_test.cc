#include "discovery/device_ids.h"

#include <gtest/gtest.h>

#include <string>

#include "app/utf8.h"

namespace {

TEST(ParseDeviceIds, FirstRuleWhoseKeyOccursCutsEachValue) {
  struct Row {
    std::u16string displayName, vid, pid;
  };
  const Row rows[] = {
      {u"usb#vid_046d&pid_0825&mi_00#7&1b2c3d&0&0000#global", u"046d", u"0825"},
      {u"pci#ven_8086&dev_1234&subsys_00000000#3&11583659&0&a0#global", u"8086",
       u"1234"},
      {u"display#int3470#4&1835d135&0&uid13424#global", u"3470", u"13424"},
      // "&" wherever it next stands; no product key at all
      {u"usb#vid_0c45#6&1a2b3c&0&0000#global", u"0c45#6", u""},
      {u"usb#pid_0825#vid_046d", u"046d", u"0825#vid_046d"},  // no "&" behind
      {u"USB#VID_046D&PID_0825#6&2a4b7f4&0&0000#global", u"", u""},
      {u"ven_10de&pid_1111&vid_2222&dev_3333", u"2222", u"1111"},
      {u"sw#FluidPrintCam#2", u"Cam", u"PrintCam"},  // keys inside words
      {u"usb#vid_", u"", u""},
      {u"vid_&pid_", u"", u""},
      // an empty value of an earlier rule is not replaced by a later one
      {u"vid_&ven_8086&int1#dev_1&uid2", u"", u"1"},
      // only the first occurrence; "&" before the key does not end it
      {u"a&vid_12#pid_3&x&pid_4", u"12#pid_3", u"3"},
      {u"usb#vid_\u00e9\u4e2d&pid_\U0001F600#", u"\u00e9\u4e2d",
       u"\U0001F600#"},
      {u"", u"", u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(toUtf8(row.displayName));
    const DeviceIds ids = parseDeviceIds(row.displayName);
    EXPECT_EQ(toUtf8(ids.vid), toUtf8(row.vid));
    EXPECT_EQ(toUtf8(ids.pid), toUtf8(row.pid));
  }
}

}  // namespace

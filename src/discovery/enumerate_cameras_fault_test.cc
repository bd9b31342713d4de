// Fault injection: every platform operation fails, in turn, at every
// position it is called in, with a failure status and with S_FALSE. Each
// case states the records the enumeration must still deliver, and every case
// must end COM once and give back everything it was handed.

#include <gtest/gtest.h>

#include <map>

#include "discovery/enumerate_cameras.h"
#include "discovery/scripted_device_platform.h"

namespace {

using Op = ScriptedOperation;

// Three devices: both name properties, FriendlyName only, Description only.
std::vector<ScriptedDevice> threeDevices() {
  std::vector<ScriptedDevice> devices(3);
  devices[0].displayName = u"usb#vid_046d&pid_0825";
  devices[0].description = u"Desc1";
  devices[0].friendlyName = u"Cam1";
  devices[1].displayName = u"pci#ven_8086&dev_1234";
  devices[1].friendlyName = u"Cam2";
  devices[2].displayName = u"display#int3470#uid1";
  devices[2].description = u"Desc3";
  return devices;
}

// A record as "name/vid/pid/detail".
std::string summary(const CameraRecord& record) {
  return toAscii(record.name) + "/" + toAscii(record.vid) + "/" +
         toAscii(record.pid) + "/" + toAscii(record.detail);
}

const char kCam1[] = "Cam1/046d/0825/usb#vid_046d&pid_0825";
const char kCam2[] = "Cam2/8086/1234/pci#ven_8086&dev_1234";
const char kCam3[] = "Desc3/3470/1/display#int3470#uid1";
using Records = std::vector<std::string>;
const Records kAll = {kCam1, kCam2, kCam3};

struct FaultCase {
  Op operation;
  int occurrence;
  PlatformStatus status;
  Records expected;
};

const FaultCase kFaultCases[] = {
    // COM start-up: its status changes nothing.
    {Op::kCoInitialize, 1, kStatusFail, kAll},
    {Op::kCoInitialize, 1, kStatusFalse, kAll},
    // The device enumerator: any non-negative status gives one.
    {Op::kCoCreateInstance, 1, kStatusFail, {}},
    {Op::kCoCreateInstance, 1, kStatusFalse, kAll},
    // The class enumerator: only S_OK counts.
    {Op::kCreateClassEnumerator, 1, kStatusFail, {}},
    {Op::kCreateClassEnumerator, 1, kStatusFalse, {}},
    // Next: anything but S_OK ends the list where it stands.
    {Op::kNext, 1, kStatusFail, {}},
    {Op::kNext, 1, kStatusFalse, {}},
    {Op::kNext, 2, kStatusFail, {kCam1}},
    {Op::kNext, 2, kStatusFalse, {kCam1}},
    {Op::kNext, 3, kStatusFail, {kCam1, kCam2}},
    {Op::kNext, 3, kStatusFalse, {kCam1, kCam2}},
    {Op::kNext, 4, kStatusFail, kAll},
    {Op::kNext, 4, kStatusFalse, kAll},
    // BindToStorage: a failure skips that device only.
    {Op::kBindToStorage, 1, kStatusFail, {kCam2, kCam3}},
    {Op::kBindToStorage, 1, kStatusFalse, kAll},
    {Op::kBindToStorage, 2, kStatusFail, {kCam1, kCam3}},
    {Op::kBindToStorage, 2, kStatusFalse, kAll},
    {Op::kBindToStorage, 3, kStatusFail, {kCam1, kCam2}},
    {Op::kBindToStorage, 3, kStatusFalse, kAll},
    // GetDisplayName: no text leaves detail, vid and pid empty.
    {Op::kGetDisplayName, 1, kStatusFail, {"Cam1///", kCam2, kCam3}},
    {Op::kGetDisplayName, 1, kStatusFalse, kAll},
    {Op::kGetDisplayName, 2, kStatusFail, {kCam1, "Cam2///", kCam3}},
    {Op::kGetDisplayName, 2, kStatusFalse, kAll},
    {Op::kGetDisplayName, 3, kStatusFail, {kCam1, kCam2, "Desc3///"}},
    {Op::kGetDisplayName, 3, kStatusFalse, kAll},
    // Read, in call order: device 1 reads Description, FriendlyName;
    // device 2 Description (missing), FriendlyName, FriendlyName; device 3
    // Description, FriendlyName (missing).
    {Op::kRead, 1, kStatusFail, kAll},  // FriendlyName still read twice
    {Op::kRead,
     2,
     kStatusFail,
     {"Desc1/046d/0825/usb#vid_046d&pid_0825", kCam2, kCam3}},
    {Op::kRead, 3, kStatusFail, kAll},            // already missing
    {Op::kRead, 4, kStatusFail, {kCam1, kCam3}},  // neither name: skipped
    {Op::kRead, 5, kStatusFail, kAll},  // the first read gave the name
    {Op::kRead, 6, kStatusFail, {kCam1, kCam2}},  // neither name: skipped
    {Op::kRead, 7, kStatusFail, kAll},            // already missing
    {Op::kRead, 1, kStatusFalse, kAll},
    {Op::kRead, 2, kStatusFalse, kAll},
    {Op::kRead, 4, kStatusFalse, kAll},
    {Op::kRead, 5, kStatusFalse, kAll},
    {Op::kRead, 6, kStatusFalse, kAll},
};

TEST(EnumerateCamerasFaults, EveryOperationFailingAtEveryPosition) {
  // The table must cover every call a clean run makes.
  ScriptedDevicePlatform clean(threeDevices());
  std::vector<CameraRecord> cleanRecords;
  enumerateCameras(cleanRecords, clean);
  const std::map<Op, std::string> names = {
      {Op::kCoInitialize, "CoInitialize"},
      {Op::kCoCreateInstance, "CoCreateInstance"},
      {Op::kCreateClassEnumerator, "CreateClassEnumerator"},
      {Op::kNext, "Next"},
      {Op::kBindToStorage, "BindToStorage"},
      {Op::kGetDisplayName, "GetDisplayName"},
      {Op::kRead, "Read"}};
  for (const auto& [operation, name] : names) {
    int calls = 0;
    for (const std::string& call : clean.calls()) {
      if (call == name || call.rfind(name + "(", 0) == 0) ++calls;
    }
    for (int occurrence = 1; occurrence <= calls; ++occurrence) {
      int covered = 0;
      for (const FaultCase& c : kFaultCases) {
        covered += c.operation == operation && c.occurrence == occurrence &&
                   c.status == kStatusFail;
      }
      EXPECT_EQ(covered, 1) << name << " call " << occurrence;
    }
  }

  for (const FaultCase& c : kFaultCases) {
    SCOPED_TRACE(testing::Message() << names.at(c.operation) << " call "
                                    << c.occurrence << " status " << c.status);
    ScriptedDevicePlatform platform(threeDevices());
    platform.failCall(c.operation, c.occurrence, c.status);
    std::vector<CameraRecord> cameras;
    const int count = enumerateCameras(cameras, platform);

    Records records;
    for (const CameraRecord& camera : cameras)
      records.push_back(summary(camera));
    EXPECT_EQ(records, c.expected);
    EXPECT_EQ(count, static_cast<int>(cameras.size()));
    EXPECT_EQ(platform.cleanEndProblems(), Records{});
  }
}

}  // namespace

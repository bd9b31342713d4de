// camera-info: writes the machine's cameras to CameraInfo.txt in the current
// directory. Reads no input, prints nothing and always exits with status 0.

#include "app/run.h"
#include "app/unattended.h"
#include "discovery/device_platform.h"

int main() {
  runUnattended();
  return runCameraInfo(systemDevicePlatform());
}

// camera-info: writes the machine's cameras to CameraInfo.txt in the current
// directory. Reads no input, prints nothing and exits with status 0 (an
// interrupt before the file steps gets the status Windows gives it).

#include "app/run.h"
#include "app/unattended.h"
#include "discovery/device_platform.h"

int main() {
  runUnattended();
  return runCameraInfo(systemDevicePlatform());
}

#include "app/run.h"

#include <json/value.h>

#include <string>
#include <vector>

#include "app/report_document.h"
#include "app/report_file.h"
#include "discovery/camera_record.h"
#include "discovery/enumerate_cameras.h"
#include "report/report_writer.h"

int runCameraInfo(DevicePlatform& platform) {
  try {
    std::vector<CameraRecord> cameras;
    enumerateCameras(cameras, platform);
    const Json::Value root = buildReportDocument(cameras);
    // The whole text exists before any file is touched.
    const std::string text = renderCameraReport(root);
    // A report that cannot be replaced stays as it was: the tool has no
    // channel to say so, and the exit status stays 0.
    replaceReportFile(kReportFileName, text);
  } catch (...) {
    // Nothing is printed; whatever was created is gone by now.
  }
  return 0;
}

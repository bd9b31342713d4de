#include "app/run.h"

#include <json/value.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/report_document.h"
#include "discovery/camera_record.h"
#include "discovery/enumerate_cameras.h"
#include "report/report_writer.h"

int runCameraInfo(DevicePlatform& platform) {
  try {
    std::vector<CameraRecord> cameras;
    enumerateCameras(cameras, platform);
    const Json::Value root = buildReportDocument(cameras);
    // The whole text exists before the file is touched, so a failure up to
    // here leaves an earlier report as it was.
    const std::string text = renderCameraReport(root);

    // The stream writes through a buffer of ours. Left to itself it would
    // allocate one only after opening, that is after truncating the file,
    // and running out of memory there would leave an empty report behind.
    char streamBuffer[4096];
    std::ofstream report;
    report.rdbuf()->pubsetbuf(streamBuffer, sizeof streamBuffer);
    report.open(kReportFileName, std::ios::out | std::ios::binary);
    report.write(text.data(), static_cast<std::streamsize>(text.size()));
    report.close();
    // A file that cannot be opened or written only sets the stream's state:
    // the tool has no channel to report it, and the exit status stays 0.
  } catch (...) {
    // Nothing is printed; whatever was created is gone by now.
  }
  return 0;
}

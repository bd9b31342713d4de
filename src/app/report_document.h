#ifndef CAMERA_INFO_APP_REPORT_DOCUMENT_H_
#define CAMERA_INFO_APP_REPORT_DOCUMENT_H_

#include <json/value.h>

#include <vector>

#include "discovery/camera_record.h"

/// The report's version, fixed in the program.
inline constexpr char16_t kReportVersion[] = u"1.0.1";

/// Builds the report document: "cameraInfo" holds one object per camera
/// ("name", "vid", "pid", "detail", all UTF-8 strings), and is left out when
/// there is no camera; "version" is always there.
Json::Value buildReportDocument(const std::vector<CameraRecord>& cameras);

#endif  // CAMERA_INFO_APP_REPORT_DOCUMENT_H_

#include "app/report_document.h"

#include <string>

#include "app/utf8.h"

namespace {

Json::Value stringValue(const std::u16string& text) {
  const std::string bytes = toUtf8(text);
  // Pointer and length, so that a zero byte inside the text is kept.
  return Json::Value(bytes.data(), bytes.data() + bytes.size());
}

}  // namespace

Json::Value buildReportDocument(const std::vector<CameraRecord>& cameras) {
  Json::Value root;
  for (Json::ArrayIndex i = 0; i < cameras.size(); ++i) {
    const CameraRecord& camera = cameras[i];
    Json::Value& element = root["cameraInfo"][i];
    element["name"] = stringValue(camera.name);
    element["vid"] = stringValue(camera.vid);
    element["pid"] = stringValue(camera.pid);
    element["detail"] = stringValue(camera.detail);
  }
  root["version"] = stringValue(kReportVersion);
  return root;
}

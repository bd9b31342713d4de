#ifndef CAMERA_INFO_REPORT_REPORT_WRITER_H_
#define CAMERA_INFO_REPORT_REPORT_WRITER_H_

#include <json/value.h>

#include <string>

/// Renders `root` in the layout of jsoncpp's StyledWriter (three-space
/// indentation, " : " separators, members sorted by key bytes, line feeds,
/// a final line feed), but with strings escaped the same way on every
/// jsoncpp release: bytes 0x80 and above are copied unchanged, and control
/// bytes without a short escape become \u00XX with upper-case hex digits.
/// The text never holds a zero byte.
std::string renderCameraReport(const Json::Value& root);

#endif  // CAMERA_INFO_REPORT_REPORT_WRITER_H_

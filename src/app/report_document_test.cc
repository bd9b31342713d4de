#include "app/report_document.h"

#include <gtest/gtest.h>

#include "report/report_writer.h"

namespace {

using namespace std::string_literals;

TEST(BuildReportDocument, WithoutCamerasHoldsOnlyTheVersion) {
  const Json::Value root = buildReportDocument({});
  EXPECT_EQ(root.getMemberNames(), std::vector<std::string>{"version"});
  EXPECT_EQ(root["version"].asString(), "1.0.1");
}

TEST(BuildReportDocument, OneObjectPerCameraInListOrder) {
  const std::vector<CameraRecord> cameras = {
      {u"First", u"046d", u"0825", u"usb#vid_046d&pid_0825"},
      {u"Second", u"", u"", u"sw#2"},
      {u"Dritte Kamera f\u00fcr \u4e2d\xd83d\xde00", u"a\0b"s, u"p", u"d"},
  };
  const Json::Value root = buildReportDocument(cameras);

  ASSERT_TRUE(root["cameraInfo"].isArray());
  ASSERT_EQ(root["cameraInfo"].size(), 3u);
  const std::vector<std::string> keys = {"detail", "name", "pid", "vid"};
  for (const Json::Value& element : root["cameraInfo"]) {
    EXPECT_EQ(element.getMemberNames(), keys);
  }
  EXPECT_EQ(root["cameraInfo"][0]["name"].asString(), "First");
  EXPECT_EQ(root["cameraInfo"][0]["detail"].asString(),
            "usb#vid_046d&pid_0825");
  // Empty fields stay as empty strings, never absent members.
  EXPECT_EQ(root["cameraInfo"][1]["vid"], Json::Value(""));
  EXPECT_EQ(root["cameraInfo"][1]["pid"], Json::Value(""));
  EXPECT_EQ(root["cameraInfo"][2]["name"].asString(),
            "Dritte Kamera f\xC3\xBCr \xE4\xB8\xAD\xF0\x9F\x98\x80");
  // A zero unit survives as a zero byte of a full-length value.
  EXPECT_EQ(root["cameraInfo"][2]["vid"].asString(), "a\0b"s);
}

TEST(BuildReportDocument, RendersNonAsciiAndZeroBytesExactly) {
  const std::string text = renderCameraReport(
      buildReportDocument({{u"\u00e9\0"s, u"v", u"p", u"d"}}));
  EXPECT_NE(text.find("\"name\" : \"\xC3\xA9\\u0000\",\n"), std::string::npos)
      << text;
}

}  // namespace

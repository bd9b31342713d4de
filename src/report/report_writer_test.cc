#include "report/report_writer.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string readData(const std::string& name) {
  std::ifstream file(CAMERA_INFO_TEST_DATA "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

Json::Value parse(const std::string& text) {
  Json::Value root;
  std::istringstream(text) >> root;
  return root;
}

// Each file is a report as it must be written, byte for byte; jsoncpp's
// reader turns it back into the document it is the text of.
TEST(RenderCameraReport, WritesEachReportExactly) {
  for (const char* name : {"report-empty.txt", "report-worked-example.txt",
                           "report-30-cameras.txt", "writer-every-byte.txt"}) {
    const std::string expected = readData(name);
    EXPECT_EQ(renderCameraReport(parse(expected)), expected) << name;
  }
}

// Each line of not-reports.txt is a tree of another shape, and so is an
// array with a gap, which JSON text cannot hold.
TEST(RenderCameraReport, RejectsOtherShapes) {
  std::vector<Json::Value> trees;
  std::istringstream lines(readData("not-reports.txt"));
  for (std::string line; std::getline(lines, line);) {
    trees.push_back(parse(line));
  }
  ASSERT_EQ(trees.size(), 20u);
  trees.push_back(parse(readData("report-worked-example.txt")));
  trees.back()["cameraInfo"][3] = trees.back()["cameraInfo"][0];
  for (const Json::Value& tree : trees) {
    EXPECT_THROW(renderCameraReport(tree), Json::LogicError)
        << tree.toStyledString();
  }
}

}  // namespace

#include "report/report_writer.h"

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>

#include <memory>
#include <random>

// The comparison below uses jsoncpp's StyledWriter, which it deprecates.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

using namespace std::string_literals;

Json::Value camera(const std::string& name, const std::string& vid,
                   const std::string& pid, const std::string& detail) {
  Json::Value element;
  element["name"] = Json::Value(name.data(), name.data() + name.size());
  element["vid"] = Json::Value(vid.data(), vid.data() + vid.size());
  element["pid"] = Json::Value(pid.data(), pid.data() + pid.size());
  element["detail"] = Json::Value(detail.data(), detail.data() + detail.size());
  return element;
}

Json::Value report(const std::vector<Json::Value>& cameras) {
  Json::Value root;
  for (Json::ArrayIndex i = 0; i < cameras.size(); ++i) {
    root["cameraInfo"][i] = cameras[i];
  }
  root["version"] = "1.0.1";
  return root;
}

TEST(RenderCameraReport, WorkedExample) {
  const Json::Value root =
      report({camera("USB Video Device", "1bcf", "2c99",
                     "\\\\?\\usb#vid_1bcf&pid_2c99&mi_00#0001"),
              camera("Cam \"Pro\" f\xC3\xBCr B\xC3\xBCro", "", "", "a/b\tc")});
  const std::string expected =
      "{\n"
      "   \"cameraInfo\" : [\n"
      "      {\n"
      "         \"detail\" : "
      "\"\\\\\\\\?\\\\usb#vid_1bcf&pid_2c99&mi_00#0001\",\n"
      "         \"name\" : \"USB Video Device\",\n"
      "         \"pid\" : \"2c99\",\n"
      "         \"vid\" : \"1bcf\"\n"
      "      },\n"
      "      {\n"
      "         \"detail\" : \"a/b\\tc\",\n"
      "         \"name\" : \"Cam \\\"Pro\\\" f\xC3\xBCr B\xC3\xBCro\",\n"
      "         \"pid\" : \"\",\n"
      "         \"vid\" : \"\"\n"
      "      }\n"
      "   ],\n"
      "   \"version\" : \"1.0.1\"\n"
      "}\n";
  EXPECT_EQ(renderCameraReport(root), expected);
}

TEST(RenderCameraReport, EmptyListGivesThe27ByteReport) {
  const std::string text = renderCameraReport(report({}));
  EXPECT_EQ(text, "{\n   \"version\" : \"1.0.1\"\n}\n");
  EXPECT_EQ(text.size(), 27u);
}

TEST(RenderCameraReport, SingleCameraClosesWithoutComma) {
  const std::string expected =
      "{\n"
      "   \"cameraInfo\" : [\n"
      "      {\n"
      "         \"detail\" : \"d\",\n"
      "         \"name\" : \"n\",\n"
      "         \"pid\" : \"p\",\n"
      "         \"vid\" : \"v\"\n"
      "      }\n"
      "   ],\n"
      "   \"version\" : \"1.0.1\"\n"
      "}\n";
  EXPECT_EQ(renderCameraReport(report({camera("n", "v", "p", "d")})), expected);
}

TEST(RenderCameraReport, EscapesEachByteByTheTable) {
  struct EscapeCase {
    std::string value;
    std::string written;
  };
  const EscapeCase cases[] = {
      {"", "\"\""},
      {"\"", "\"\\\"\""},
      {"\\", "\"\\\\\""},
      {"\b\t\n\f\r", "\"\\b\\t\\n\\f\\r\""},
      {"\x01\x0B\x1B\x1F", "\"\\u0001\\u000B\\u001B\\u001F\""},
      {"a\0b"s, "\"a\\u0000b\""},
      {"\x7F/", "\"\x7F/\""},
      {"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80",
       "\"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\""},
      {"\x80\xFF\xC3", "\"\x80\xFF\xC3\""},  // not validated, copied as is
  };
  for (const EscapeCase& c : cases) {
    SCOPED_TRACE(c.written);
    Json::Value root;
    root["version"] =
        Json::Value(c.value.data(), c.value.data() + c.value.size());
    EXPECT_EQ(renderCameraReport(root),
              "{\n   \"version\" : " + c.written + "\n}\n");
  }
}

TEST(RenderCameraReport, ManyCamerasKeepTheBlockLayout) {
  std::vector<Json::Value> cameras(30, camera("n", "v", "p", "d"));
  const std::string text = renderCameraReport(report(cameras));
  const std::string block =
      "      {\n"
      "         \"detail\" : \"d\",\n"
      "         \"name\" : \"n\",\n"
      "         \"pid\" : \"p\",\n"
      "         \"vid\" : \"v\"\n"
      "      }";
  std::string expected = "{\n   \"cameraInfo\" : [\n";
  for (int i = 0; i < 30; ++i) expected += block + (i < 29 ? ",\n" : "\n");
  expected += "   ],\n   \"version\" : \"1.0.1\"\n}\n";
  EXPECT_EQ(text, expected);
}

// Random documents of the report's shape, with values of arbitrary bytes.
class RandomReports {
 public:
  explicit RandomReports(unsigned start) : random_(start) {}

  Json::Value next() {
    std::vector<Json::Value> cameras(pick(0, 30));
    for (Json::Value& element : cameras) {
      element = camera(bytes(), bytes(), bytes(), bytes());
    }
    return report(cameras);
  }

 private:
  size_t pick(size_t low, size_t high) {
    return std::uniform_int_distribution<size_t>(low, high)(random_);
  }
  std::string bytes() {
    std::string text(pick(0, 40), '\0');
    for (char& byte : text) byte = static_cast<char>(pick(0, 255));
    return text;
  }

  std::mt19937 random_;
};

void expectLayoutInvariants(const std::string& text) {
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.front(), '{');
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.find('\t'), std::string::npos);
  EXPECT_EQ(text.find('\0'), std::string::npos);
  EXPECT_EQ(text.find(" \n"), std::string::npos);
}

TEST(RenderCameraReport, RandomReportsParseBackUnchanged) {
  RandomReports reports(20261206);
  Json::CharReaderBuilder builder;
  builder["allowSpecialFloats"] = false;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    const Json::Value root = reports.next();
    const std::string text = renderCameraReport(root);
    expectLayoutInvariants(text);
    Json::Value parsed;
    std::string errors;
    ASSERT_TRUE(
        reader->parse(text.data(), text.data() + text.size(), &parsed, &errors))
        << errors;
    EXPECT_EQ(parsed, root);
  }
}

// Beyond the escaping, the layout is StyledWriter's for any value tree.
TEST(RenderCameraReport, MatchesStyledWriterLayout) {
  Json::Value shortArray(Json::arrayValue);
  for (int i = 0; i < 5; ++i) shortArray.append(i);
  Json::Value longLine(Json::arrayValue);
  for (int i = 0; i < 10; ++i) longLine.append("element " + std::to_string(i));
  Json::Value manyElements(Json::arrayValue);
  for (int i = 0; i < 25; ++i) manyElements.append(i);
  Json::Value nested(Json::arrayValue);
  nested.append(shortArray);
  nested.append(Json::Value(Json::objectValue));
  nested.append(Json::Value(Json::arrayValue));

  Json::Value gaps;  // indexes never set read as null
  gaps[2] = "two";
  gaps[5] = Json::Value(Json::objectValue);
  Json::Value longGaps;
  longGaps[30]["x"] = 1;

  Json::Value mixed;
  mixed["a"] = shortArray;
  mixed["b"] = longLine;
  mixed["c"] = manyElements;
  mixed["d"] = nested;
  mixed["e"]["x"] = true;
  mixed["e"]["y"] = Json::Value();
  mixed["e"]["z"] = -3.25;
  mixed["f"] = Json::Value(Json::objectValue);
  mixed["g"] = Json::UInt64(18446744073709551615u);
  mixed["h"] = "text with \" and \\ and \n";

  const Json::Value documents[] = {
      Json::Value(),
      Json::Value(Json::objectValue),
      Json::Value(Json::arrayValue),
      Json::Value("top"),
      shortArray,
      longLine,
      manyElements,
      nested,
      mixed,
      report({camera("n", "v", "p", "d"), camera("", "", "", "")})};
  Json::StyledWriter styled;
  for (const Json::Value& document : documents) {
    const std::string expected = styled.write(document);
    EXPECT_EQ(renderCameraReport(document), expected);
  }
}

}  // namespace

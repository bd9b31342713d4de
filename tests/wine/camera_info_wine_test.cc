// Runs the real camera-info.exe against Wine's own DirectShow system device
// enumerator: each case installs fake video-input devices in the prefix,
// runs the program in a fresh directory and compares the report's bytes
// with the text stated here.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "fake_video_devices.h"
#include "kept_reports.h"

namespace {

const char kEmptyReport[] = "{\n   \"version\" : \"1.0.1\"\n}\n";

// A camera as the report shows it; `instance` is the part of the display
// name behind Wine's software-device prefix, as the report writes it.
struct ExpectedCamera {
  std::string instance;
  std::string name;
  std::string pid;
  std::string vid;
};

// The whole report for these cameras, in this order, written out in full.
std::string expectedReport(const std::vector<ExpectedCamera>& cameras) {
  if (cameras.empty()) return kEmptyReport;
  std::string text = "{\n   \"cameraInfo\" : [\n";
  for (size_t i = 0; i < cameras.size(); ++i) {
    const ExpectedCamera& camera = cameras[i];
    text +=
        "      {\n"
        "         \"detail\" : \"@device:sw:"
        "{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\\\" +
        camera.instance + "\",\n         \"name\" : \"" + camera.name +
        "\",\n         \"pid\" : \"" + camera.pid +
        "\",\n         \"vid\" : \"" + camera.vid + "\"\n      }" +
        (i + 1 < cameras.size() ? ",\n" : "\n");
  }
  return text + "   ],\n   \"version\" : \"1.0.1\"\n}\n";
}

std::wstring programDirectory() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring directory(path, length);
  return directory.substr(0, directory.find_last_of(L"\\/") + 1);
}

std::string readFile(const std::wstring& path, bool* exists = nullptr) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (exists != nullptr) *exists = file != INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string data;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    data.append(buffer, got);
  }
  CloseHandle(file);
  return data;
}

void writeFile(const std::wstring& path, const std::string& data) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written,
            nullptr);
  CloseHandle(file);
  ASSERT_EQ(written, data.size());
}

struct Outcome {
  DWORD exitCode = 0xFFFFFFFF;
  std::string printed;  // stdout and stderr together
  bool reportExists = false;
  std::string report;
};

class CameraInfoOnWine : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static unsigned serial = 0;
    directory_ = std::wstring(temp) + L"camera-info-" +
                 std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++serial);
    ASSERT_TRUE(CreateDirectoryW(directory_.c_str(), nullptr));
  }
  void TearDown() override {
    DeleteFileW(report().c_str());
    DeleteFileW(output().c_str());
    RemoveDirectoryW(report().c_str());
    RemoveDirectoryW(directory_.c_str());
    replaceFakeVideoDevices({});
  }

  std::wstring report() const { return directory_ + L"\\CameraInfo.txt"; }
  std::wstring output() const { return directory_ + L".out"; }

  void install(const std::vector<FakeVideoDevice>& devices) {
    const std::string error = replaceFakeVideoDevices(devices);
    ASSERT_EQ(error, "");
  }

  // Starts camera-info.exe in the test's directory, its output captured.
  Outcome run(const std::wstring& arguments = L"") {
    Outcome outcome;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE out = CreateFileW(output().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                             &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (out == INVALID_HANDLE_VALUE) return outcome;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    const std::wstring program = programDirectory() + L"camera-info.exe";
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr,
                       TRUE, 0, nullptr, directory_.c_str(), &startup,
                       &process)) {
      WaitForSingleObject(process.hProcess, 60000);
      GetExitCodeProcess(process.hProcess, &outcome.exitCode);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    outcome.printed = readFile(output());
    outcome.report = readFile(report(), &outcome.reportExists);
    keepReportForSchemaCheck(report());
    return outcome;
  }

  // Installs the devices, runs the program and expects exactly `expected`.
  void expectReport(const std::vector<FakeVideoDevice>& devices,
                    const std::string& expected) {
    install(devices);
    const Outcome outcome = run();
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_EQ(outcome.printed, "");
    EXPECT_TRUE(outcome.reportExists);
    EXPECT_EQ(outcome.report, expected);
  }

  std::wstring directory_;
};

TEST_F(CameraInfoOnWine, NoDeviceGivesThe27ByteReport) {
  expectReport({}, kEmptyReport);
  EXPECT_EQ(std::string(kEmptyReport).size(), 27u);
}

TEST_F(CameraInfoOnWine, CutsIdsFromUsbPciAndIntegratedPaths) {
  // Wine lists the devices by instance name, ignoring case.
  expectReport(
      {{L"usb#vid_046d&pid_0825&mi_00#7&1b2c3d&0&0000#global",
        L"HD Webcam C270", std::nullopt},
       {L"pci#ven_8086&dev_1234&subsys_00000000#3&11583659&0&a0#global",
        L"PCI Capture", std::nullopt},
       {L"display#int3470#4&1835d135&0&uid13424#global", L"Integrated Camera",
        std::nullopt}},
      expectedReport(
          {{"display#int3470#4&1835d135&0&uid13424#global", "Integrated Camera",
            "13424", "3470"},
           {"pci#ven_8086&dev_1234&subsys_00000000#3&11583659&0&a0#global",
            "PCI Capture", "1234", "8086"},
           {"usb#vid_046d&pid_0825&mi_00#7&1b2c3d&0&0000#global",
            "HD Webcam C270", "0825", "046d"}}));
}

TEST_F(CameraInfoOnWine, NameFallsBackToDescriptionAndPrefersFriendlyName) {
  expectReport({{L"b-description-only", std::nullopt, L"Described"},
                {L"a-both", L"Friendly", L"Described too"}},
               expectedReport({{"a-both", "Friendly", "", ""},
                               {"b-description-only", "Described", "", ""}}));
}

TEST_F(CameraInfoOnWine, SkipsADeviceWithoutNameBetweenTwoGoodOnes) {
  expectReport({{L"a-first", L"First", std::nullopt},
                {L"b-nameless", std::nullopt, std::nullopt},
                {L"c-last", L"Last", std::nullopt}},
               expectedReport(
                   {{"a-first", "First", "", ""}, {"c-last", "Last", "", ""}}));
}

TEST_F(CameraInfoOnWine, WritesNonAsciiAsUtf8AndEscapesQuotes) {
  expectReport(
      {{L"caf\u00e9 \u4e2d\u6587 \U0001F600",
        L"Kamera f\u00fcr B\u00fcro \u4e2d\u6587 \U0001F600", std::nullopt},
       {L"quoted", L"Cam \"Pro\" a\\b/c", std::nullopt}},
      expectedReport({{"caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80",
                       "Kamera f\xC3\xBCr B\xC3\xBCro \xE4\xB8\xAD\xE6\x96\x87 "
                       "\xF0\x9F\x98\x80",
                       "", ""},
                      {"quoted", "Cam \\\"Pro\\\" a\\\\b/c", "", ""}}));
}

TEST_F(CameraInfoOnWine, CutsA300UnitNameTo255) {
  expectReport({{L"long", std::wstring(300, L'N'), std::nullopt}},
               expectedReport({{"long", std::string(255, 'N'), "", ""}}));
}

TEST_F(CameraInfoOnWine, ListsSixtyDevicesInOrder) {
  std::vector<FakeVideoDevice> devices;
  std::vector<ExpectedCamera> expected;
  for (int i = 0; i < 60; ++i) {
    char vid[8];
    char pid[8];
    std::snprintf(vid, sizeof vid, "1d%02d", i);
    std::snprintf(pid, sizeof pid, "0a%02d", i);
    const std::string instance =
        std::string("usb#vid_") + vid + "&pid_" + pid + "&mi_00#dev";
    const std::string name = "Camera " + std::to_string(i);
    // Registered from the last to the first: the order is Wine's, by name.
    devices.insert(
        devices.begin(),
        FakeVideoDevice{std::wstring(instance.begin(), instance.end()),
                        std::wstring(name.begin(), name.end()), std::nullopt});
    expected.push_back({instance, name, pid, vid});
  }
  expectReport(devices, expectedReport(expected));
}

TEST_F(CameraInfoOnWine, ReplacesALongerReportAndIgnoresArguments) {
  install({{L"usb#vid_1&pid_2", L"Cam", std::nullopt}});
  writeFile(report(), std::string(10000, 'x'));
  const Outcome outcome = run(L"--help /o other.txt");
  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_EQ(outcome.printed, "");
  EXPECT_EQ(outcome.report,
            expectedReport({{"usb#vid_1&pid_2", "Cam", "2", "1"}}));
}

TEST_F(CameraInfoOnWine, DirectoryInTheWayGivesNoFileAndStatusZero) {
  ASSERT_TRUE(CreateDirectoryW(report().c_str(), nullptr));
  const Outcome outcome = run();
  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_EQ(outcome.printed, "");
  const DWORD attributes = GetFileAttributesW(report().c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// Measures the report renderer against jsoncpp's StyledWriter on the same
// documents, and the UTF-8 conversion and id rules on realistic device texts.
// Memory use is counted through a replaced operator new.

#include <benchmark/benchmark.h>
#include <json/writer.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "app/report_document.h"
#include "app/utf8.h"
#include "discovery/device_ids.h"
#include "report/report_writer.h"

// The comparison uses jsoncpp's StyledWriter, which it deprecates.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
// GCC pairs the replaced operator delete's free() with the library's new.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<size_t> allocatedBytes{0};
}  // namespace

void* operator new(size_t size) {
  allocatedBytes.fetch_add(size, std::memory_order_relaxed);
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }

namespace {

enum class Texts { kRealistic, kEscapeHeavy };

CameraRecord cameraRecord(Texts texts, int i) {
  const std::u16string n =
      u"0000" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
  if (texts == Texts::kRealistic) {
    return {u"HD Pro Webcam C920", u"046d", u"082d",
            u"@device:pnp:\\\\?\\usb#vid_046d&pid_082d&mi_00#7&1b2c3d4&0&" + n +
                u"#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global"};
  }
  return {u"Cam \"Pro\"\t\u00fc\u4e2d\xd83d\xde00 \\\\ \x01\x1f" + n, u"\"\\\"",
          u"\r\n\b\f",
          u"\\\\?\\usb#vid_\"&pid_\\#\x7f\x1b\u00e9\u00e9\u00e9" + n};
}

Json::Value reportDocument(Texts texts, int cameras) {
  std::vector<CameraRecord> records;
  for (int i = 0; i < cameras; ++i) records.push_back(cameraRecord(texts, i));
  return buildReportDocument(records);
}

void renderBenchmark(benchmark::State& state, Texts texts, bool styled) {
  const int cameras = static_cast<int>(state.range(0));
  const Json::Value document = reportDocument(texts, cameras);
  Json::StyledWriter writer;
  size_t reportBytes = 0;
  const size_t allocatedBefore = allocatedBytes.load();
  for (auto _ : state) {
    std::string text =
        styled ? writer.write(document) : renderCameraReport(document);
    reportBytes = text.size();
    benchmark::DoNotOptimize(text);
  }
  const double allocatedPerRender =
      static_cast<double>(allocatedBytes.load() - allocatedBefore) /
      static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * cameras);
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(reportBytes));
  state.counters["report_bytes"] = static_cast<double>(reportBytes);
  state.counters["alloc_per_byte"] =
      allocatedPerRender / static_cast<double>(reportBytes);
}

void BM_Render_Realistic(benchmark::State& state) {
  renderBenchmark(state, Texts::kRealistic, false);
}
void BM_StyledWriter_Realistic(benchmark::State& state) {
  renderBenchmark(state, Texts::kRealistic, true);
}
void BM_Render_EscapeHeavy(benchmark::State& state) {
  renderBenchmark(state, Texts::kEscapeHeavy, false);
}
void BM_StyledWriter_EscapeHeavy(benchmark::State& state) {
  renderBenchmark(state, Texts::kEscapeHeavy, true);
}

#define CAMERA_COUNTS \
  Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_Render_Realistic)->CAMERA_COUNTS;
BENCHMARK(BM_StyledWriter_Realistic)->CAMERA_COUNTS;
BENCHMARK(BM_Render_EscapeHeavy)->CAMERA_COUNTS;
BENCHMARK(BM_StyledWriter_EscapeHeavy)->CAMERA_COUNTS;

const std::u16string kDisplayNames[] = {
    u"@device:pnp:\\\\?\\usb#vid_046d&pid_082d&mi_00#7&1b2c3d4&0&0000#{"
    u"65e8773d-"
    u"8f56-11d0-a3b9-00a0c9223196}\\global",
    u"@device:pnp:\\\\?\\pci#ven_8086&dev_9a19&subsys_00000000&rev_00#3&"
    u"11583659&0&a0#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global",
    u"@device:pnp:\\\\?\\display#int3470#4&1835d135&0&uid13424#{65e8773d-8f56-"
    u"11d0-a3b9-00a0c9223196}\\{7e1f6b2a-0c3d-4f5e-8a9b-1c2d3e4f5a6b}",
    u"@device:sw:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\OBS Virtual Camera",
};

void BM_ToUtf8(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    for (const std::u16string& name : kDisplayNames) {
      std::string utf8 = toUtf8(name);
      bytes += utf8.size();
      benchmark::DoNotOptimize(utf8);
    }
  }
  state.SetItemsProcessed(state.iterations() * 4);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ToUtf8);

void BM_ParseDeviceIds(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::u16string& name : kDisplayNames) {
      DeviceIds ids = parseDeviceIds(name);
      benchmark::DoNotOptimize(ids);
    }
  }
  state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_ParseDeviceIds);

}  // namespace

BENCHMARK_MAIN();

// Benchmarks of the speed targets: reading a model of 100,000 and a million
// columns, reading a 100 MB IFC file, a palette edit to a rebuilt cage
// through the interactor, and a whole building run (cage building, IFC,
// schedule and JSON writing) for 1,000 and 10,000 columns. Peak memory is
// reported as the counter "peak_MiB" (the process's high-water mark so far).
//
//   build/bench/pier_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/building.h"
#include "app/driver.h"
#include "app/export/exporter.h"
#include "app/generate.h"
#include "host/model_reader.h"

namespace {

using namespace pierhost;

double PeakMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

const ToolLocation& Tool() {
  static const ToolLocation tool{PIER_PLUGIN_DIR "/libpiertool.so", PIER_PLUGIN_DIR "/PierTool"};
  return tool;
}

const HostUtil::PluginModule& Plugin() {
  static const HostUtil::PluginModule plugin = HostUtil::PluginModule::Load(Tool().module_path);
  return plugin;
}

// The model file of a grid of g x g columns over 10 storeys.
std::string BuildingText(int columns) {
  GenerateOptions o;
  o.storeys = 10;
  const int side = static_cast<int>(std::lround(std::sqrt(columns / 10.0)));
  o.grid_x = side;
  o.grid_y = columns / 10 / side;
  return GenerateBuilding(o);
}

std::shared_ptr<const HostElementAdapter::ElementModel> Building(int columns) {
  return HostElementAdapter::ParseModelFile(BuildingText(columns), "generated");
}

// One palette edit: the tool checks it and rebuilds the cage, with the
// table lookups of a stacked cage.
void PaletteEdit(benchmark::State& state, const std::vector<std::string>& picks) {
  const auto model = HostElementAdapter::ParseModelFile(
      R"({"format": "pier-model", "version": 1, "name": "bench", "columns": [
        {"id": "C1", "corners": [[0,0],[400,0],[400,600],[0,600]], "bottom": 0, "top": 3000},
        {"id": "C2", "corners": [[50,50],[350,50],[350,550],[50,550]], "bottom": 3250, "top": 6250}]})",
      "bench");
  ToolRun run(Plugin(), model, Tool().tool_path);
  for (const auto& id : picks) run.Click(id);
  run.Button(kFinish);
  bool flip = false;
  for (auto _ : state) {
    run.Set("Main_Stirrup_Spacing", flip ? "180" : "190");
    flip = !flip;
  }
  state.counters["peak_MiB"] = PeakMiB();
}

// Reading a model file (the text already in memory): the parse, every
// check and the element model built.
void BM_ModelRead(benchmark::State& state) {
  const std::string text = BuildingText(static_cast<int>(state.range(0)));
  std::size_t columns = 0;
  for (auto _ : state) {
    const auto model = HostElementAdapter::ParseModelFile(text, "generated");
    columns = model->GetColumns().size();
  }
  state.counters["columns"] = static_cast<double>(columns);
  state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
  state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_ModelRead)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

void BM_PaletteEditSingle(benchmark::State& state) { PaletteEdit(state, {"C1"}); }
void BM_PaletteEditStacked(benchmark::State& state) { PaletteEdit(state, {"C1", "C2"}); }
BENCHMARK(BM_PaletteEditSingle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaletteEditStacked)->Unit(benchmark::kMicrosecond);

// The phases of a building run, each timed on its own.
struct Run {
  std::shared_ptr<const HostElementAdapter::ElementModel> model;
  BuildingResult result;
  ExportInput input;
  Schedule schedule;
};

Run& BuildingRun(int columns) {
  static std::map<int, Run> runs;
  auto it = runs.find(columns);
  if (it == runs.end()) {
    Run r;
    r.model = Building(columns);
    r.result = ReinforceBuilding(Plugin(), r.model, Tool().tool_path, {});
    r.input = {r.model, r.result.cages, "bench", "2026-01-01"};
    r.schedule = BuildSchedule(r.input);
    it = runs.emplace(columns, std::move(r)).first;
  }
  return it->second;
}

void BM_BuildingCages(benchmark::State& state) {
  const auto model = Building(static_cast<int>(state.range(0)));
  std::size_t bars = 0;
  for (auto _ : state) {
    const auto result = ReinforceBuilding(Plugin(), model, Tool().tool_path, {});
    bars = 0;
    for (const auto& c : result.cages)
      for (const auto& p : c.placements) bars += p.GetBarCount();
    benchmark::DoNotOptimize(result);
  }
  state.counters["columns"] = static_cast<double>(model->GetColumns().size());
  state.counters["bars"] = static_cast<double>(bars);
  state.counters["peak_MiB"] = PeakMiB();
}

void Writer(benchmark::State& state, std::unique_ptr<Exporter> (*make)()) {
  const Run& run = BuildingRun(static_cast<int>(state.range(0)));
  const auto writer = make();
  std::size_t size = 0;
  for (auto _ : state) {
    std::ostringstream out;
    writer->Write(run.input, run.schedule, out);
    size = out.str().size();
  }
  std::size_t bars = 0;
  for (const auto& c : run.input.cages)
    for (const auto& p : c.placements) bars += p.GetBarCount();
  state.counters["MB"] = static_cast<double>(size) / 1e6;
  state.counters["bytes_per_bar"] =
      bars ? static_cast<double>(size) / static_cast<double>(bars) : 0;
  state.counters["peak_MiB"] = PeakMiB();
}

void BM_BuildingSchedule(benchmark::State& state) {
  const Run& run = BuildingRun(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(BuildSchedule(run.input));
}
void BM_BuildingIfc(benchmark::State& state) { Writer(state, &MakeIfcWriter); }
void BM_BuildingScheduleCsv(benchmark::State& state) { Writer(state, &MakeScheduleCsvWriter); }
void BM_BuildingJson(benchmark::State& state) { Writer(state, &MakeModelJsonWriter); }
void BM_BuildingDrawing(benchmark::State& state) { Writer(state, &MakeDrawingSvgWriter); }

// The whole command as a user runs it: cages, then every output written.
void BM_BuildingWhole(benchmark::State& state) {
  const auto model = Building(static_cast<int>(state.range(0)));
  const std::string dir = "/tmp/pier_bench_out";
  for (auto _ : state) {
    const auto result = ReinforceBuilding(Plugin(), model, Tool().tool_path, {});
    ExportAll({model, result.cages, "bench", "2026-01-01"}, dir);
  }
  state.counters["peak_MiB"] = PeakMiB();
}

// Reading a generated IFC file of about 100 MB (10 storeys of a 47 x 47
// grid: 21,496 columns and 21,620 layered walls among slabs, styles,
// property sets and quantities), from the file to the element model. The
// memory counters hold what the reading added to the process at its peak.
void BM_ReadIfc(benchmark::State& state) {
  GenerateOptions o;
  o.storeys = 10;
  o.grid_x = o.grid_y = 47;
  const std::string path = "/tmp/pier_bench_building.ifc";
  std::size_t bytes = 0;
  {
    const std::string text = GenerateIfcBuilding(o);
    bytes = text.size();
    std::ofstream(path, std::ios::binary) << text;
  }
  const auto rss = [](const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::strlen(key))) / 1024.0;
    }
    return 0.0;
  };
  double peak = 0;
  std::size_t columns = 0;
  for (auto _ : state) {
    // The high-water mark starts again from what the process holds now.
    state.PauseTiming();
    std::ofstream("/proc/self/clear_refs") << "5";
    const double before = rss("VmRSS:");
    state.ResumeTiming();
    const auto model = HostElementAdapter::ReadModel(path);
    columns = model->GetColumns().size();
    state.PauseTiming();
    peak = std::max(peak, rss("VmHWM:") - before);
    state.ResumeTiming();
  }
  const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["columns"] = static_cast<double>(columns);
  state.counters["peak_MiB"] = peak;
  state.counters["peak_per_file"] = peak / mib;
  std::remove(path.c_str());
}
BENCHMARK(BM_ReadIfc)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

#define PIER_BUILDING(fn) \
  BENCHMARK(fn)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime()
PIER_BUILDING(BM_BuildingCages)->Iterations(1);
PIER_BUILDING(BM_BuildingSchedule);
PIER_BUILDING(BM_BuildingIfc)->Iterations(1);
PIER_BUILDING(BM_BuildingScheduleCsv)->Iterations(1);
PIER_BUILDING(BM_BuildingJson)->Iterations(1);
PIER_BUILDING(BM_BuildingDrawing)->Iterations(1);
PIER_BUILDING(BM_BuildingWhole)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

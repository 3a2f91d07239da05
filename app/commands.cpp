#include "app/commands.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "app/export/exporter.h"
#include "app/session_file.h"
#include "host/model_reader.h"
#include "tables/length_tables.h"

namespace pierhost {

std::pair<std::string, std::string> ParseSet(const std::string& text) {
  const auto eq = text.find('=');
  if (eq == std::string::npos || eq == 0) {
    throw std::invalid_argument("--set expects NAME=VALUE, got '" + text + "'");
  }
  return {text.substr(0, eq), text.substr(eq + 1)};
}

std::string OutputDate() {
  std::time_t t = std::time(nullptr);
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
    t = static_cast<std::time_t>(std::strtoll(epoch, nullptr, 10));
  }
  char buf[16];
  std::tm tm{};
  gmtime_r(&t, &tm);
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  return buf;
}

void CheckDrawingIssue(const DrawingIssue& issue) {
  for (const auto& [option, value] :
       {std::pair{"--drawing", &issue.number}, std::pair{"--revision", &issue.revision}}) {
    if (value->empty() || value->size() > 40) {
      throw std::invalid_argument(std::string(option) + " must have 1 to 40 characters, got " +
                                  std::to_string(value->size()));
    }
    for (const char ch : *value) {
      const auto c = static_cast<unsigned char>(ch);
      if (c < 0x20 || c == 0x7F) {
        throw std::invalid_argument(std::string(option) + " must not hold control characters");
      }
    }
  }
}

void WriteOutputs(ExportInput input, const std::string& out_dir, const DrawingIssue& issue,
                  Terminal& terminal) {
  input.drawing_number = issue.number;
  input.revision = issue.revision;
  const Schedule schedule = BuildSchedule(input);
  terminal.Out() << ScheduleTable(input, schedule);
  const auto waiting = [&](const std::string& note) { terminal.Note(note); };
  for (const auto& path : ExportAll(input, schedule, out_dir, waiting)) {
    terminal.Note("wrote " + path);
  }
}

namespace {

// Whether the tool went on to a cage palette after Finish.
bool CagePaletteShown(const ToolRun& run) {
  const auto palette = run.Palette();
  if (!palette) return false;
  const std::string file = std::filesystem::path(palette->GetFileName()).filename().string();
  return file == piertool::kSinglePalette || file == piertool::kStackedPalette;
}

// `picked` names the columns of the run, where the command names them.
int Finish(ToolRun& run, const std::shared_ptr<const HostElementAdapter::ElementModel>& model,
           const std::string& out_dir, const DrawingIssue& issue, bool drew, Terminal& terminal,
           const std::vector<std::string>& picked = {}) {
  if (drew && run.Cages().empty()) {
    const std::string of = picked.empty() ? "" : " for " + CageName(picked, 1);
    terminal.Error("no bars were created" + of +
                   ": the cage's checks blocked them (see the messages above)");
    return kExitBlocked;
  }
  if (run.Cages().empty()) return kExitCreated;
  ExportInput input{model, run.Cages(), model->GetName(), OutputDate()};
  WriteOutputs(input, out_dir, issue, terminal);
  return kExitCreated;
}

}  // namespace

int RunCage(const CageOptions& options, const ToolLocation& tool, Terminal& terminal) {
  if (options.picks.empty() || options.picks.size() > 2) {
    throw std::invalid_argument(
        "pick one column, or a column and the column standing on it (--pick ID, twice at most)");
  }
  auto model = HostElementAdapter::ReadModel(options.model, {.all_columns = options.all_columns});
  if (options.picks.size() == 2) {
    // A column and the one on it: the upper aligned on the lower, as a
    // building run aligns its stacks.
    model = HostElementAdapter::AlignStacked(
        model, {{model->Resolve(options.picks[0]), model->Resolve(options.picks[1])}});
  }
  const auto plugin = HostUtil::PluginModule::Load(tool.module_path);
  ToolRun run(plugin, model, tool.tool_path, terminal.Observer());
  for (const auto& id : options.picks) run.Click(id);
  run.Button(kFinish);
  if (!CagePaletteShown(run)) {
    throw std::invalid_argument(
        "the picked elements are not a column (an element with 8 vertices) or a column with the "
        "column standing on it, so the tool offers no cage");
  }
  for (const auto& [name, value] : options.sets) run.Set(name, value);
  run.Move();
  run.Button(kDraw);
  return Finish(run, model, options.out_dir, options.issue, true, terminal, options.picks);
}

int RunSession(const std::string& session_path, const std::string& out_dir,
               const ToolLocation& tool, Terminal& terminal, const DrawingIssue& issue) {
  const SessionFile session = ReadSession(session_path);
  const auto model = HostElementAdapter::ReadModel(session.model_path);
  const auto plugin = HostUtil::PluginModule::Load(tool.module_path);
  ToolRun run(plugin, model, tool.tool_path, terminal.Observer());
  bool drew = false;
  for (std::size_t i = 0; i < session.events.size(); ++i) {
    const auto& e = session.events[i];
    try {
      ApplyEvent(run, e);
      drew = drew || (e.kind == ToolEvent::Kind::Button && e.event_id == kDraw);
    } catch (const std::exception& ex) {
      throw std::invalid_argument(session_path + ": events[" + std::to_string(i) +
                                  "]: " + ex.what());
    }
  }
  return Finish(run, model, out_dir, issue, drew, terminal);
}

namespace {

nlohmann::json SourceJson(const HostElementAdapter::ElementSource& s,
                          const HostElementAdapter::SourceModel* source) {
  nlohmann::json out = {{"global_id", s.global_id},
                        {"name", s.name},
                        {"tag", s.tag},
                        {"type", s.type_name},
                        {"materials", s.materials}};
  out["storey"] = source && s.storey ? source->storeys.at(*s.storey).name : "";
  return out;
}

}  // namespace

int ShowModel(const ModelOptions& options, Terminal& terminal) {
  using HostElementAdapter::ElementKind;
  const auto model =
      HostElementAdapter::ReadModel(options.model, {.all_columns = options.all_columns});
  const auto* source = model->GetSource();
  const auto& elements = model->GetElements();
  if (options.json) {
    nlohmann::json out = {{"name", model->GetName()}, {"file", model->GetSourceName()}};
    nlohmann::json storeys = nlohmann::json::array(), columns = nlohmann::json::array(),
                   refused = nlohmann::json::array(), walls = nlohmann::json::array();
    if (source) {
      out["schema"] = source->schema;
      out["length_unit_mm"] = source->length_unit.millimetres;
      out["columns_in_file"] = source->columns_in_file;
      for (const auto& s : source->storeys) {
        storeys.push_back({{"name", s.name}, {"global_id", s.global_id}, {"level", s.level}});
      }
      for (const auto& r : source->refused) {
        nlohmann::json j = SourceJson(r.source, source);
        j["id"] = r.id;
        j["reason"] = r.reason;
        j["detail"] = r.detail;
        refused.push_back(std::move(j));
      }
    }
    for (const auto& e : elements) {
      if (e.kind != ElementKind::Column && e.kind != ElementKind::Wall) continue;
      nlohmann::json j = SourceJson(e.source, source);
      j["id"] = e.id;
      j["bottom"] = e.bottom;
      j["top"] = e.top;
      nlohmann::json plan = nlohmann::json::array();
      for (const auto& p : e.plan) plan.push_back({p.X(), p.Y()});
      if (e.kind == ElementKind::Column) {
        j["corners"] = std::move(plan);
        columns.push_back(std::move(j));
      } else {
        j["axis"] = std::move(plan);
        j["thickness"] = e.thickness;
        nlohmann::json layers = nlohmann::json::array();
        for (const auto c : e.children) {
          if (elements[c].kind == ElementKind::WallLayer) layers.push_back(elements[c].thickness);
        }
        j["layers"] = std::move(layers);
        walls.push_back(std::move(j));
      }
    }
    out["storeys"] = std::move(storeys);
    out["columns"] = std::move(columns);
    out["refused"] = std::move(refused);
    out["walls"] = std::move(walls);
    terminal.Out() << out.dump(1) << "\n";
    return kExitCreated;
  }
  std::ostringstream s;
  s.precision(10);
  s << model->GetName() << " (" << model->GetSourceName();
  if (source)
    s << ", " << source->schema << ", 1 unit = " << source->length_unit.millimetres << " mm";
  s << ")\n";
  if (source && !source->storeys.empty()) {
    s << "Storeys:";
    for (const auto& st : source->storeys) s << " " << st.name << " (" << st.level / 1000 << " m)";
    s << "\n";
  }
  const auto columns = model->GetColumns();
  s << "Columns taken: " << columns.size();
  if (source) s << " of " << source->columns_in_file;
  s << "\n";
  for (const auto i : columns) {
    const auto& e = elements[i];
    const double a = e.plan[0].GetDistance(e.plan[1]), b = e.plan[1].GetDistance(e.plan[2]);
    s << "  " << e.id << ": " << std::round(a * 10) / 10 << " x " << std::round(b * 10) / 10
      << " mm, z " << e.bottom << " to " << e.top;
    if (source && e.source.storey) s << ", " << source->storeys[*e.source.storey].name;
    s << "\n";
  }
  if (source) {
    for (const auto& r : source->refused) {
      s << "  not taken: " << r.id << ": " << r.reason
        << (r.detail.empty() ? "" : " (" + r.detail + ")") << "\n";
    }
    s << "Walls taken: " << source->walls_taken << " of " << source->walls_in_file << "\n";
  }
  terminal.Out() << s.str();
  return kExitCreated;
}

int WriteTables(const std::string& out_dir, Terminal& terminal) {
  // Each through a fresh temporary file, as the outputs: a link planted
  // beside the tables redirects nothing.
  for (const auto table : lengthtables::kTables) {
    WriteFileAtomically(out_dir, lengthtables::FileName(table), lengthtables::TableCsv(table));
  }
  terminal.Note("wrote the lap and anchorage length tables into " + out_dir);
  return kExitCreated;
}

}  // namespace pierhost

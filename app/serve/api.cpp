#include "app/serve/api.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>
#include <set>
#include <sstream>

#include "app/commands.h"
#include "app/export/exporter.h"
#include "app/export/schedule_rows.h"

namespace pierhost::api {

using nlohmann::json;

namespace {

constexpr std::size_t kMaxEventsPerRequest = 100;
// An array of events holds objects of scalars: nothing nests deeper.
constexpr std::size_t kMaxEventNesting = 4;

// How deep the body's lists and objects nest, counted before it is parsed:
// a body of 60,000 brackets is refused here, never handed to a parser or
// written back into a message, whose recursion would overflow the stack.
std::size_t Nesting(const std::string& body) {
  std::size_t depth = 0, deepest = 0;
  bool in_text = false, escaped = false;
  for (const char ch : body) {
    if (in_text) {
      if (escaped) {
        escaped = false;
      } else if (ch == '\\') {
        escaped = true;
      } else if (ch == '"') {
        in_text = false;
      }
    } else if (ch == '"') {
      in_text = true;
    } else if (ch == '[' || ch == '{') {
      deepest = std::max(deepest, ++depth);
    } else if ((ch == ']' || ch == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

// Text of the request for a message, shortened.
std::string Short(const std::string& text) {
  return text.size() > 40 ? text.substr(0, 37) + "..." : text;
}

// A value of the request for a message: what it is, and scalars themselves,
// shortened. Lists and objects are never written back.
std::string Brief(const json& v) {
  if (v.is_object()) return "an object";
  if (v.is_array()) return "a list";
  if (v.is_null()) return "null";
  return Short(v.dump(-1, ' ', false, json::error_handler_t::replace));
}

// Coordinates to a hundredth of a millimetre: the page draws nothing finer,
// and shorter numbers make shorter answers.
double Round(double v) { return std::round(v * 100.0) / 100.0; }

void AppendPoint(json& flat, const HostGeo::Point3D& p, const HostGeo::Point3D& origin) {
  flat.push_back(Round(p.X() - origin.X()));
  flat.push_back(Round(p.Y() - origin.Y()));
  flat.push_back(Round(p.Z() - origin.Z()));
}

json PlacementsJson(const HostReinf::ModelElementList& placements, const HostGeo::Point3D& origin) {
  json out = json::array();
  for (const auto& placement : placements) {
    json bars = json::array();
    for (const auto& polyline : placement.GetBars()) {
      json flat = json::array();
      for (const auto& p : polyline) AppendPoint(flat, p, origin);
      bars.push_back(std::move(flat));
    }
    out.push_back({{"position", placement.GetPositionNumber()},
                   {"d", placement.GetBendingShape().GetDiameter()},
                   {"bars", std::move(bars)}});
  }
  return out;
}

std::size_t BarCount(const HostReinf::ModelElementList& placements) {
  std::size_t n = 0;
  for (const auto& p : placements) n += p.GetBarCount();
  return n;
}

json ValueJson(const HostBaseElements::PaletteValue& value) {
  return std::visit([](const auto& v) { return json(v); }, value.Raw());
}

json PaletteJson(const HostBaseElements::BuildingElementPaletteService& palette) {
  const auto find = [&](const std::string& name) -> const HostBaseElements::Parameter* {
    for (const auto& element : palette.GetBuildingElements()) {
      if (element->Has(name)) return &(*element)[name];
    }
    return nullptr;
  };
  json pages = json::array();
  for (const auto& page : palette.GetComposite().pages) {
    json parameters = json::array();
    for (const auto& name : page.parameters) {
      const auto* p = find(name);
      if (!p) continue;
      json choices = json::array();
      for (const auto& c : p->choices)
        choices.push_back({{"value", ValueJson(c.value)}, {"text", c.text}});
      json parameter = {{"name", p->name},
                        {"text", p->text},
                        {"unit", p->unit},
                        {"type", HostBaseElements::ToString(p->type)},
                        {"value", ValueJson(p->value())},
                        {"choices", std::move(choices)}};
      if (p->min) parameter["min"] = *p->min;
      if (p->max) parameter["max"] = *p->max;
      parameters.push_back(std::move(parameter));
    }
    pages.push_back(
        {{"name", page.name}, {"text", page.text}, {"parameters", std::move(parameters)}});
  }
  json buttons = json::array();
  for (const auto& b : palette.GetControls()) {
    buttons.push_back({{"text", b.text}, {"event", b.event_id}, {"page", b.page}});
  }
  return {{"file", std::filesystem::path(palette.GetFileName()).filename().string()},
          {"name", palette.GetPartName()},
          {"shown", palette.IsShown()},
          {"pages", std::move(pages)},
          {"buttons", std::move(buttons)}};
}

// The figures of cage `index` of the input: its bars, their mass as the
// schedule has it, and for each of its columns the steel that passes where
// the drawing cuts it against the column's section.
json FiguresJson(const HostElementAdapter::ElementModel& model, const ExportInput& input,
                 const Schedule& schedule, std::size_t index) {
  const CageRecord& cage = input.cages[index];
  double mass = 0;
  for (const auto& line : schedule.lines) {
    if (line.member != cage.name) continue;
    const MarkEntry& m = schedule.marks[line.mark];
    mass += static_cast<double>(line.count) * m.scheduled_length / 1000 * m.unit_mass;
  }
  json columns = json::array();
  for (std::size_t c = 0; c < cage.column_ids.size(); ++c) {
    const auto& id = cage.column_ids[c];
    const auto at = model.Find(id);
    if (!at) continue;
    const auto& e = model.GetElements()[*at];
    if (e.plan.size() < 3) continue;
    double area = 0;
    for (std::size_t i = 0; i < e.plan.size(); ++i) {
      const auto& p = e.plan[i];
      const auto& q = e.plan[(i + 1) % e.plan.size()];
      area += p.X() * q.Y() - q.X() * p.Y();
    }
    area = std::abs(area) / 2;
    // Where the drawing cuts it: the lower column at its mid-height, a
    // column above in the middle of what the cage's bars reach of it (the
    // lap of the bars carried up).
    double z = (e.bottom + e.top) / 2;
    if (c > 0) {
      double reach = e.top;
      bool reached = false;
      for (const auto& placement : cage.placements) {
        for (const auto& bar : placement.GetBars()) {
          double top = -1e300;
          for (const auto& p : bar) top = std::max(top, p.Z());
          if (top > e.bottom + 1) {
            reach = std::min(reach, top);
            reached = true;
          }
        }
      }
      if (!reached) continue;
      z = (e.bottom + reach) / 2;
    }
    double steel = 0;
    std::size_t bars = 0;
    for (const auto& placement : cage.placements) {
      const double d = placement.GetBendingShape().GetDiameter();
      for (const auto& bar : placement.GetBars()) {
        for (std::size_t k = 1; k < bar.size(); ++k) {
          if ((bar[k - 1].Z() - z) * (bar[k].Z() - z) < 0) {
            steel += std::numbers::pi * d * d / 4;
            ++bars;
            break;
          }
        }
      }
    }
    columns.push_back({{"id", id},
                       {"at", c == 0 ? "mid-height" : "lap"},
                       {"z", Round(z)},
                       {"bars", bars},
                       {"steel_mm2", Round(steel)},
                       {"area_mm2", Round(area)},
                       {"ratio_percent", area > 0 ? std::round(steel / area * 1e4) / 1e2 : 0.0}});
  }
  return {{"bars", BarCount(cage.placements)},
          {"mass_kg", std::round(mass * 100) / 100},
          {"columns", std::move(columns)}};
}

// The picked columns' faces as the cage names them, for the view.
json FacesJson(const HostElementAdapter::ElementModel& model,
               const std::vector<std::string>& picked) {
  json out = json::array();
  const HostGeo::Point3D origin = ViewOrigin(model);
  for (const auto& id : picked) {
    const auto at = model.Find(id);
    if (!at) continue;
    const auto& e = model.GetElements()[*at];
    if (e.kind != HostElementAdapter::ElementKind::Column || e.plan.size() < 3) continue;
    const bool first_x = FirstSideIsXFace(e.plan);
    json sides = json::array();
    for (std::size_t i = 0; i < e.plan.size(); ++i) {
      const auto& a = e.plan[i];
      const auto& b = e.plan[(i + 1) % e.plan.size()];
      sides.push_back({{"face", (i % 2 == 0) == first_x ? "X" : "Y"},
                       {"from", {Round(a.X() - origin.X()), Round(a.Y() - origin.Y())}},
                       {"to", {Round(b.X() - origin.X()), Round(b.Y() - origin.Y())}}});
    }
    out.push_back({{"column", id},
                   {"bottom", Round(e.bottom - origin.Z())},
                   {"top", Round(e.top - origin.Z())},
                   {"sides", std::move(sides)}});
  }
  return out;
}

json ChecksJson(const CageChecks& checks) {
  json list = json::array();
  for (const auto& c : checks.checks) {
    list.push_back(
        {{"id", c.id}, {"name", c.name}, {"state", ToString(c.state)}, {"findings", c.findings}});
  }
  return {{"checked", checks.checked},
          {"state", checks.checked ? ToString(checks.state) : "none"},
          {"checks", std::move(list)},
          {"failures", checks.failures}};
}

template <typename T>
json Since(const std::vector<T>& all, std::size_t from) {
  return json(std::vector<T>(all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())),
                             all.end()));
}

// The request's fields, checked: a missing or mistyped field is named.
const json& Field(const json& event, const char* key, std::size_t index) {
  const auto it = event.find(key);
  if (it == event.end()) {
    throw Error(400, "events[" + std::to_string(index) + "] lacks \"" + key + "\"");
  }
  return *it;
}

std::string TextField(const json& event, const char* key, std::size_t index) {
  const json& v = Field(event, key, index);
  if (!v.is_string()) {
    throw Error(
        400, "events[" + std::to_string(index) + "]." + key + " must be a string, got " + Brief(v));
  }
  return v.get<std::string>();
}

Event ParseEvent(const json& e, std::size_t index) {
  const std::string where = "events[" + std::to_string(index) + "]";
  if (!e.is_object()) throw Error(400, where + " must be an object, got " + Brief(e));
  const std::string type = TextField(e, "type", index);
  Event out;
  std::set<std::string> allowed = {"type"};
  if (type == "click") {
    out.kind = Event::Kind::Click;
    out.element = TextField(e, "element", index);
    allowed.insert("element");
  } else if (type == "move") {
    out.kind = Event::Kind::Move;
  } else if (type == "button") {
    out.kind = Event::Kind::Button;
    const json& id = Field(e, "event", index);
    if (!id.is_number_integer()) {
      throw Error(400,
                  where +
                      ".event must be a whole number (1000 Finish, 2000 Draw, 2002 Rebuild), got " +
                      Brief(id));
    }
    // Checked before narrowing: 2^32 + 1000 would wrap onto Finish.
    if (id.is_number_unsigned() &&
        id.get<unsigned long long>() > std::numeric_limits<unsigned long long>::max() / 2) {
      throw Error(400, where + ".event " + Brief(id) + " is out of range");
    }
    try {
      out.event_id = ButtonEvent(id.get<long long>());
    } catch (const std::invalid_argument& x) {
      throw Error(400, where + ".event: " + x.what());
    }
    allowed.insert("event");
  } else if (type == "set") {
    out.kind = Event::Kind::Set;
    out.name = TextField(e, "name", index);
    const json& v = Field(e, "value", index);
    if (v.is_string()) {
      out.value = v.get<std::string>();
    } else if (v.is_number() || v.is_boolean()) {
      out.value = v.dump();
    } else {
      throw Error(400, where + ".value must be a number, a string or true/false, got " + Brief(v));
    }
    allowed.insert({"name", "value"});
  } else if (type == "cancel") {
    out.kind = Event::Kind::Cancel;
  } else {
    throw Error(400, where + ".type '" + Short(type) + "' is none of " + std::string(kEventKinds));
  }
  for (const auto& [key, value] : e.items()) {
    if (!allowed.contains(key)) {
      throw Error(400, where + " has an unknown field \"" + Short(key) + "\"");
    }
  }
  return out;
}

}  // namespace

HostGeo::Point3D ViewOrigin(const HostElementAdapter::ElementModel& model) {
  // The page draws in single precision, which at 100 km from the origin
  // is good to 8 mm only: a model that far out is drawn about a point of
  // its own, its first element's first corner to the metre.
  constexpr double kNear = 1e5;  // mm
  for (const auto& e : model.GetElements()) {
    if (e.geometry.IsLine() || e.geometry.GetVertices().empty()) continue;
    const auto& v = e.geometry.GetVertices().front();
    if (std::abs(v.X()) < kNear && std::abs(v.Y()) < kNear && std::abs(v.Z()) < kNear) break;
    return {std::round(v.X() / 1000) * 1000, std::round(v.Y() / 1000) * 1000,
            std::round(v.Z() / 1000) * 1000};
  }
  return {};
}

json ModelJson(const HostElementAdapter::ElementModel& model) {
  json elements = json::array();
  const HostGeo::Point3D origin = ViewOrigin(model);
  for (const auto& e : model.GetElements()) {
    if (e.geometry.IsLine() || e.geometry.GetVertices().empty()) continue;
    json vertices = json::array();
    for (const auto& v : e.geometry.GetVertices()) AppendPoint(vertices, v, origin);
    json out = {{"id", e.id},
                {"kind", HostElementAdapter::ToString(e.kind)},
                {"vertices", std::move(vertices)}};
    if (e.parent) out["parent"] = model.GetElements()[*e.parent].id;
    elements.push_back(std::move(out));
  }
  return {{"name", model.GetName()},
          {"origin", {origin.X(), origin.Y(), origin.Z()}},
          {"elements", std::move(elements)}};
}

json StateJson(const WebSession& session, const Marks& since, bool full) {
  ToolRun& run = session.Run();
  const auto palette = run.Palette();
  const auto& model = session.Model();
  json preview = {{"count", run.PreviewCount()}, {"bars", BarCount(run.Document().GetPreview())}};
  if (full || run.PreviewCount() != since.previews) {
    preview["placements"] = PlacementsJson(run.Document().GetPreview(), ViewOrigin(*model));
    // What the cage being edited would be once drawn: its figures, and its
    // section with the marks its bars would get among the cages created.
    if (const auto pending = session.WithPreview()) {
      const ExportInput input{model, pending->cages, model->GetName(), OutputDate()};
      const Schedule schedule = BuildSchedule(input);
      preview["figures"] = FiguresJson(*model, input, schedule, pending->index);
      preview["section"] = SectionSvg(input, schedule, pending->index);
    }
  }
  json cages = json::array();
  std::size_t created = 0;
  const auto records = session.AllCages();
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto& cage = *session.Cages()[i];
    const std::size_t bars = cage.Bars();
    created += bars;
    cages.push_back({{"id", cage.id},
                     {"name", records[i].name},
                     {"columns", cage.column_ids},
                     {"bars", bars},
                     {"palette", cage.palette}});
  }
  const auto& messages = run.Messages();
  json kinds = json::array();
  for (std::size_t i = std::min(since.messages, messages.size()); i < messages.size(); ++i) {
    kinds.push_back(ToString(MessageSeverity(messages[i])));
  }
  const auto text_or_null = [](const std::string& text) {
    return text.empty() ? json(nullptr) : json(text);
  };
  return {{"session", session.Id()},
          {"run", session.RunNumber()},
          {"prompt", run.Prompt()},
          {"picked", run.Picked()},
          {"faces", FacesJson(*model, run.Picked())},
          {"palette", palette ? PaletteJson(*palette) : json(nullptr)},
          {"preview", std::move(preview)},
          {"checks", ChecksJson(session.Checks())},
          {"created",
           {{"bars", created},
            {"cages", std::move(cages)},
            {"undo", text_or_null(session.UndoLabel())},
            {"redo", text_or_null(session.RedoLabel())},
            {"replacing", session.Replacing() ? json(*session.Replacing()) : json(nullptr)}}},
          {"messages", Since(messages, since.messages)},
          {"message_kinds", std::move(kinds)},
          {"lines", Since(run.Lines(), since.lines)}};
}

json CreatedJson(const WebSession& session) {
  json cages = json::array();
  std::size_t created = 0;
  const HostGeo::Point3D origin = ViewOrigin(*session.Model());
  const auto records = session.AllCages();
  for (std::size_t i = 0; i < records.size(); ++i) {
    created += BarCount(records[i].placements);
    cages.push_back({{"id", session.Cages()[i]->id},
                     {"name", records[i].name},
                     {"columns", records[i].column_ids},
                     {"placements", PlacementsJson(records[i].placements, origin)}});
  }
  return {{"bars", created}, {"cages", std::move(cages)}};
}

json ScheduleJson(const WebSession& session,
                  const std::shared_ptr<const HostElementAdapter::ElementModel>& model) {
  const ExportInput input{model, session.AllCages(), model->GetName(), OutputDate()};
  if (input.cages.empty()) {
    return {{"header", json::array()},
            {"bars", json::array()},
            {"totals", json::array()},
            {"notes", json::array()},
            {"members", json::array()}};
  }
  const ScheduleRows rows = MakeScheduleRows(input, BuildSchedule(input));
  json header = json::array();
  for (const auto& [key, value] : rows.header) header.push_back({key, value});
  return {{"header", std::move(header)},
          {"bars", rows.bars.rows},
          {"totals", rows.totals.rows},
          {"notes", rows.notes},
          {"members", rows.members.rows}};
}

std::vector<Event> ParseEvents(const std::string& body) {
  if (Nesting(body) > kMaxEventNesting) {
    throw Error(400, "the request body nests lists and objects more than " +
                         std::to_string(kMaxEventNesting) + " deep; events are objects of values");
  }
  json parsed;
  try {
    parsed = json::parse(body);
  } catch (const json::exception& e) {
    // A syntax error, or a number beyond double (1e999).
    // nlohmann's text starts with its own exception id; the rest says where.
    std::string what = e.what();
    if (const auto close = what.find("] "); close != std::string::npos)
      what = what.substr(close + 2);
    // Its "last read" may be a whole string of the body.
    if (what.size() > 200) what = what.substr(0, 197) + "...";
    throw Error(400, "the request body is not JSON: " + what);
  }
  if (parsed.is_object()) return {ParseEvent(parsed, 0)};
  if (!parsed.is_array())
    throw Error(400, "the request body must be an event object or an array of events");
  if (parsed.empty()) throw Error(400, "the request body holds no event");
  if (parsed.size() > kMaxEventsPerRequest) {
    throw Error(400, "the request body holds " + std::to_string(parsed.size()) +
                         " events; send at most " + std::to_string(kMaxEventsPerRequest) +
                         " at a time");
  }
  std::vector<Event> out;
  for (std::size_t i = 0; i < parsed.size(); ++i) out.push_back(ParseEvent(parsed[i], i));
  return out;
}

void Apply(ToolRun& run, const Event& event) {
  try {
    ApplyEvent(run, event);
  } catch (const EventRefused& e) {
    throw Error(422, e.what());
  }
}

File ExportFile(const std::vector<CageRecord>& cages,
                const std::shared_ptr<const HostElementAdapter::ElementModel>& model,
                const std::string& name) {
  if (cages.empty()) {
    throw Error(409,
                "no bars were created in this session yet: pick a column, press Finish, then Draw");
  }
  const ExportInput input{model, cages, model->GetName(), OutputDate()};
  const Schedule schedule = BuildSchedule(input);
  for (const auto& exporter : AllExporters()) {
    if (exporter->FileName() != name) continue;
    std::ostringstream text;
    exporter->Write(input, schedule, text);
    const std::string type =
        name.ends_with(".ifc")   ? "application/x-step"
        : name.ends_with(".csv") ? "text/csv; charset=utf-8"
        : name.ends_with(".svg") ? "image/svg+xml; charset=utf-8"
        : name.ends_with(".pdf") ? "application/pdf"
        : name.ends_with(".xlsx")
            ? "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"
        : name.ends_with(".abs") ? "text/plain; charset=us-ascii"
                                 : "application/json; charset=utf-8";
    return {type, text.str()};
  }
  std::string names;
  for (const auto& exporter : AllExporters())
    names += (names.empty() ? "" : ", ") + exporter->FileName();
  throw Error(404, "there is no file '" + name + "'; the files are " + names);
}

}  // namespace pierhost::api

#include "app/serve/api.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <set>
#include <sstream>

#include "app/commands.h"
#include "app/export/exporter.h"

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
      parameters.push_back({{"name", p->name},
                            {"text", p->text},
                            {"unit", p->unit},
                            {"type", HostBaseElements::ToString(p->type)},
                            {"value", ValueJson(p->value())},
                            {"choices", std::move(choices)}});
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

std::vector<CageRecord> WebSession::AllCages() const {
  std::vector<CageRecord> all = earlier_cages;
  for (const auto& c : run->Cages()) {
    CageRecord copy = c;
    // A later run may reinforce the same columns again: its cages come after
    // those of the earlier runs.
    for (const auto& earlier : earlier_cages) copy.number += earlier.column_ids == c.column_ids;
    copy.name = CageName(copy.column_ids, copy.number);
    all.push_back(std::move(copy));
  }
  return all;
}

Marks Mark(const ToolRun& run) {
  return {run.Messages().size(), run.Lines().size(), run.PreviewCount()};
}

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
  ToolRun& run = *session.run;
  const auto palette = run.Palette();
  json preview = {{"count", run.PreviewCount()}, {"bars", BarCount(run.Document().GetPreview())}};
  if (full || run.PreviewCount() != since.previews) {
    preview["placements"] =
        PlacementsJson(run.Document().GetPreview(), ViewOrigin(*run.Document().GetModel()));
  }
  json cages = json::array();
  std::size_t created = 0;
  for (const auto& c : session.AllCages()) {
    const std::size_t bars = BarCount(c.placements);
    created += bars;
    cages.push_back({{"name", c.name}, {"columns", c.column_ids}, {"bars", bars}});
  }
  return {{"session", session.id},
          {"run", session.run_number},
          {"prompt", run.Prompt()},
          {"picked", run.Picked()},
          {"palette", palette ? PaletteJson(*palette) : json(nullptr)},
          {"preview", std::move(preview)},
          {"created", {{"bars", created}, {"cages", std::move(cages)}}},
          {"messages", Since(run.Messages(), since.messages)},
          {"lines", Since(run.Lines(), since.lines)}};
}

json CreatedJson(const WebSession& session) {
  json cages = json::array();
  std::size_t created = 0;
  for (const auto& c : session.AllCages()) {
    created += BarCount(c.placements);
    cages.push_back(
        {{"name", c.name},
         {"placements",
          PlacementsJson(c.placements, ViewOrigin(*session.run->Document().GetModel()))}});
  }
  return {{"bars", created}, {"cages", std::move(cages)}};
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

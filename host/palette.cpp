#include "host/palette.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "host/json_strict.h"
#include "host/util.h"

namespace HostBaseElements {

namespace js = HostUtil::json_strict;
using js::json;

const char* ToString(ValueType type) {
  switch (type) {
    case ValueType::Number:
      return "number";
    case ValueType::Integer:
      return "integer";
    case ValueType::Switch:
      return "switch";
    case ValueType::Text:
      return "text";
  }
  return "?";
}

std::optional<double> PaletteValue::AsDouble() const {
  if (IsNumber()) return std::get<double>(v_);
  if (IsInteger()) return static_cast<double>(std::get<std::int64_t>(v_));
  return std::nullopt;
}

std::string PaletteValue::ToString() const {
  if (IsNumber()) {
    std::ostringstream s;
    s << std::get<double>(v_);
    return s.str();
  }
  if (IsInteger()) return std::to_string(std::get<std::int64_t>(v_));
  if (IsSwitch()) return std::get<bool>(v_) ? "true" : "false";
  return std::get<std::string>(v_);
}

// ---------------------------------------------------------------------------

namespace {

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::optional<double> ParseNumber(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty()) return std::nullopt;
  double v = 0;
  const char* first = t.data();
  if (*first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, t.data() + t.size(), v);
  if (ec != std::errc() || ptr != t.data() + t.size()) return std::nullopt;
  return v;
}

}  // namespace

[[noreturn]] static void ParamError(const Parameter& p, const std::string& what) {
  throw std::invalid_argument("palette parameter '" + p.name + "' in '" + p.file + "': " + what);
}

double Parameter::Number() const {
  auto v = value_.AsDouble();
  if (!v) ParamError(*this, "holds " + std::string(ToString(type)) + ", not a number");
  return *v;
}

std::int64_t Parameter::Integer() const {
  if (value_.IsInteger()) return std::get<std::int64_t>(value_.Raw());
  if (value_.IsNumber()) {
    const double d = std::get<double>(value_.Raw());
    if (d == std::floor(d)) return static_cast<std::int64_t>(d);
  }
  ParamError(*this, "holds " + value_.ToString() + ", not a whole number");
}

bool Parameter::Switch() const {
  if (!value_.IsSwitch()) ParamError(*this, "holds " + value_.ToString() + ", not a switch");
  return std::get<bool>(value_.Raw());
}

const std::string& Parameter::Text() const {
  if (!value_.IsText()) ParamError(*this, "holds " + value_.ToString() + ", not text");
  return std::get<std::string>(value_.Raw());
}

namespace {

std::string Shown(double v, const std::string& unit) {
  std::ostringstream s;
  s << v;
  return s.str() + (unit.empty() ? "" : " " + unit);
}

}  // namespace

std::optional<PaletteValue> Parameter::Converted(const PaletteValue& value,
                                                 std::string& why) const {
  const std::string shown = "'" + value.ToString() + "'";
  switch (type) {
    case ValueType::Number: {
      std::optional<double> v = value.AsDouble();
      if (!v && value.IsText()) v = ParseNumber(std::get<std::string>(value.Raw()));
      if (!v) {
        why = shown + " is not a number";
      } else if (!std::isfinite(*v)) {
        why = shown + " is not a finite number";
      } else {
        return PaletteValue(*v);
      }
      return std::nullopt;
    }
    case ValueType::Integer: {
      std::optional<double> v = value.AsDouble();
      if (!v && value.IsText()) v = ParseNumber(std::get<std::string>(value.Raw()));
      if (!v || !std::isfinite(*v) || *v != std::floor(*v) || std::abs(*v) > 9.0e15) {
        why = shown + " is not a whole number";
        return std::nullopt;
      }
      return PaletteValue(static_cast<std::int64_t>(*v));
    }
    case ValueType::Switch: {
      if (value.IsSwitch()) return value;
      if (value.IsInteger() &&
          (std::get<std::int64_t>(value.Raw()) == 0 || std::get<std::int64_t>(value.Raw()) == 1)) {
        return PaletteValue(std::get<std::int64_t>(value.Raw()) == 1);
      }
      if (value.IsText()) {
        const std::string t = Trim(std::get<std::string>(value.Raw()));
        if (t == "true" || t == "on" || t == "1") return PaletteValue(true);
        if (t == "false" || t == "off" || t == "0") return PaletteValue(false);
      }
      why = shown + " is not a switch value (true/false, on/off, 1/0)";
      return std::nullopt;
    }
    case ValueType::Text:
      if (!value.IsText()) {
        why = shown + " is not text";
        return std::nullopt;
      }
      return value;
  }
  return std::nullopt;
}

std::string Parameter::Refusal(const PaletteValue& value) const {
  std::string why;
  const auto converted = Converted(value, why);
  if (!converted) return text + ": " + why;
  if (!choices.empty()) {
    std::string allowed;
    bool found = false;
    for (std::size_t i = 0; i < choices.size(); ++i) {
      const auto& c = choices[i];
      // Numbers compare by value: 12 and 12.0 are one diameter.
      const auto a = c.value.AsDouble(), b = converted->AsDouble();
      if (c.value == *converted || (a && b && *a == *b)) found = true;
      allowed += i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ";
      allowed += c.text.empty() ? c.value.ToString() : c.text;
    }
    if (!found) {
      return text + ": " + converted->ToString() + (unit.empty() ? "" : " " + unit) +
             " is not one of the choices; choose " + allowed + (unit.empty() ? "" : " " + unit);
    }
  }
  if (const auto v = converted->AsDouble(); v && ((min && *v < *min) || (max && *v > *max))) {
    std::string range;
    if (min && max)
      range = "between " + Shown(*min, "") + " and " + Shown(*max, unit);
    else if (min)
      range = "at least " + Shown(*min, unit);
    else
      range = "at most " + Shown(*max, unit);
    return text + ": " + Shown(*v, unit) + " is outside what this value can be; it must be " +
           range;
  }
  return {};
}

void Parameter::SetValue(const PaletteValue& value) {
  std::string why;
  auto converted = Converted(value, why);
  if (!converted) ParamError(*this, why);
  if (const std::string refusal = Refusal(*converted); !refusal.empty()) {
    ParamError(*this, refusal);
  }
  value_ = std::move(*converted);
}

// ---------------------------------------------------------------------------

BuildingElement::BuildingElement(std::string file, std::vector<Parameter> params)
    : file_(std::move(file)), params_(std::move(params)) {}

// A palette holds a few dozen parameters: a scan is as quick as an index
// and keeps a copy of the set (one per run of the tool) cheap.
Parameter* BuildingElement::Find(std::string_view name) {
  for (auto& p : params_) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

Parameter& BuildingElement::operator[](std::string_view name) {
  Parameter* p = Find(name);
  if (!p) {
    throw std::invalid_argument("palette '" + file_ + "' has no parameter '" + std::string(name) +
                                "'");
  }
  return *p;
}

const Parameter& BuildingElement::operator[](std::string_view name) const {
  return const_cast<BuildingElement&>(*this)[name];
}

bool BuildingElement::Has(std::string_view name) const {
  return const_cast<BuildingElement&>(*this).Find(name) != nullptr;
}

// ---------------------------------------------------------------------------

namespace {

ValueType ParseType(js::Object& o) {
  const std::string t = o.Text("type");
  if (t == "number") return ValueType::Number;
  if (t == "integer") return ValueType::Integer;
  if (t == "switch") return ValueType::Switch;
  if (t == "text") return ValueType::Text;
  o.Fail("type", "expected \"number\", \"integer\", \"switch\" or \"text\", got \"" + t + "\"");
}

PaletteValue FromJson(const json& j, const std::string& path, const std::string& src) {
  if (j.is_boolean()) return j.get<bool>();
  if (j.is_number_integer() || j.is_number_unsigned())
    return static_cast<std::int64_t>(j.get<long long>());
  if (j.is_number_float()) return js::FiniteNumber(j, path, src);
  if (j.is_string()) return j.get<std::string>();
  js::Fail(src, path, "expected a number, a switch or text, got " + js::Describe(j));
}

}  // namespace

namespace {

// A palette file read once and unchanged since (same time and size) is not
// parsed again: the host hands out fresh copies of its parameter sets.
struct FileStamp {
  long seconds = 0;
  long nanoseconds = 0;
  std::uintmax_t size = 0;
  bool operator==(const FileStamp&) const = default;
};
struct CachedPalette {
  FileStamp stamp;
  PaletteData data;
};

PaletteData Copied(const PaletteData& data) {
  PaletteData out = data;
  for (auto& ele : out.build_ele_list) ele = std::make_shared<BuildingElement>(*ele);
  return out;
}

PaletteData Parsed(const std::string& path);

}  // namespace

PaletteData BuildingElementService::ReadOrThrow(const std::string& path) {
  static std::mutex mutex;
  static std::map<std::string, CachedPalette, std::less<>> cache;
  // One look at the file tells whether it changed since it was read.
  struct stat info {};
  const bool known = ::stat(path.c_str(), &info) == 0;
  const FileStamp stamp{info.st_mtim.tv_sec, info.st_mtim.tv_nsec,
                        static_cast<std::uintmax_t>(info.st_size)};
  if (known) {
    std::lock_guard lock(mutex);
    auto it = cache.find(path);
    if (it != cache.end() && it->second.stamp == stamp) return Copied(it->second.data);
  }
  PaletteData data = Parsed(path);
  if (known) {
    std::lock_guard lock(mutex);
    cache[path] = {stamp, Copied(data)};
  }
  return data;
}

namespace {

PaletteData Parsed(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot open the palette file");
  std::ostringstream text;
  text << in.rdbuf();
  const json root = js::Parse(text.str(), path);
  js::Object top(root, "", path);
  if (top.Text("format") != "pier-palette") top.Fail("format", "expected \"pier-palette\"");
  if (top.Integer("version") != 1)
    top.Fail("version", "this program reads version 1 palette files");
  PaletteData data;
  data.part_name = top.Text("name");
  data.file_name = path;
  data.build_ele_script = {data.part_name, path};
  std::vector<Parameter> params;
  std::set<std::string> names;
  const json& pages = top.Array("pages");
  for (std::size_t i = 0; i < pages.size(); ++i) {
    js::Object pg(pages[i], "pages[" + std::to_string(i) + "]", path);
    PalettePage page;
    page.name = pg.Text("name");
    page.text = pg.TextOr("text", page.name);
    const json& pj = pg.Array("parameters");
    for (std::size_t k = 0; k < pj.size(); ++k) {
      js::Object po(pj[k], pg.PathOf("parameters") + "[" + std::to_string(k) + "]", path);
      Parameter p;
      p.name = po.Text("name");
      if (!names.insert(p.name).second)
        po.Fail("name", "the parameter '" + p.name + "' is defined twice");
      p.text = po.TextOr("text", p.name);
      p.unit = po.TextOr("unit", "");
      p.page = page.name;
      p.file = path;
      p.type = ParseType(po);
      const json& cj = po.Array("choices", true);
      for (std::size_t c = 0; c < cj.size(); ++c) {
        const std::string cpath = po.PathOf("choices") + "[" + std::to_string(c) + "]";
        if (cj[c].is_object()) {
          js::Object co(cj[c], cpath, path);
          Choice choice{FromJson(co.Get("value"), co.PathOf("value"), path), co.TextOr("text", "")};
          co.Finish();
          p.choices.push_back(std::move(choice));
        } else {
          p.choices.push_back({FromJson(cj[c], cpath, path), ""});
        }
      }
      for (const char* key : {"min", "max"}) {
        if (!po.Has(key)) continue;
        if (p.type != ValueType::Number && p.type != ValueType::Integer)
          po.Fail(key, "only numbers and integers have a range");
        (std::string(key) == "min" ? p.min : p.max) =
            js::FiniteNumber(po.Get(key), po.PathOf(key), path);
      }
      const PaletteValue v = FromJson(po.Get("value"), po.PathOf("value"), path);
      try {
        p.SetValue(v);
      } catch (const std::invalid_argument& e) {
        po.Fail("value", e.what());
      }
      po.Finish();
      page.parameters.push_back(p.name);
      params.push_back(std::move(p));
    }
    pg.Finish();
    data.build_ele_composite.pages.push_back(std::move(page));
  }
  const json& buttons = top.Array("buttons", true);
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    js::Object b(buttons[i], "buttons[" + std::to_string(i) + "]", path);
    PaletteButton button;
    button.text = b.Text("text");
    button.event_id = static_cast<int>(b.Integer("event"));
    button.page = b.TextOr("page", "");
    b.Finish();
    data.control_props_list.push_back(std::move(button));
  }
  top.Finish();
  data.build_ele_list.push_back(std::make_shared<BuildingElement>(path, std::move(params)));
  data.result = true;
  return data;
}

}  // namespace

PaletteData BuildingElementService::read_data_from_file(const std::string& path,
                                                        const StringTable& /*str_table*/,
                                                        bool /*reserved*/,
                                                        const StringTable& /*material_str_table*/) {
  try {
    return ReadOrThrow(path);
  } catch (const std::exception& e) {
    std::cerr << "palette not read: " << e.what() << '\n';
    PaletteData failed;
    failed.file_name = path;
    return failed;
  }
}

// ---------------------------------------------------------------------------

BuildingElementPaletteService::BuildingElementPaletteService(
    BuildingElementList build_ele_list, BuildingElementComposite build_ele_composite,
    BuildingElementScript build_ele_script, ControlPropsList control_props_list,
    std::string file_name)
    : build_ele_list_(std::move(build_ele_list)),
      composite_(std::move(build_ele_composite)),
      script_(std::move(build_ele_script)),
      controls_(std::move(control_props_list)),
      file_name_(std::move(file_name)) {}

void BuildingElementPaletteService::show_palette(const std::string& part_name) {
  part_name_ = part_name;
  shown_ = true;
  HostUtil::CurrentSession().SetShownPalette(shared_from_this());
}

void BuildingElementPaletteService::close_palette() {
  shown_ = false;
  auto& session = HostUtil::CurrentSession();
  if (session.GetShownPalette().get() == this) session.SetShownPalette(nullptr);
}

void BuildingElementPaletteService::update_palette(int /*page*/, bool /*full*/) { ++redraws_; }

bool BuildingElementPaletteService::modify_element_property(int /*page*/, const std::string& name,
                                                            const PaletteValue& value) {
  for (auto& ele : build_ele_list_) {
    if (ele->Has(name)) {
      Parameter& p = (*ele)[name];
      p.SetValue(value);
      // A switch may show or hide other fields: the palette is redrawn.
      return p.type == ValueType::Switch;
    }
  }
  throw std::invalid_argument("palette '" + file_name_ + "' has no parameter '" + name + "'");
}

int BuildingElementPaletteService::PageOf(const std::string& name) const {
  for (std::size_t i = 0; i < composite_.pages.size(); ++i) {
    for (const auto& n : composite_.pages[i].parameters) {
      if (n == name) return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace HostBaseElements

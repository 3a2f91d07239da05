// Palettes: parameter sets read from palette files, shown to the user, edited
// by the user and read and written by the tool.
//
// A palette file is JSON:
//   { "format": "pier-palette", "version": 1, "name": "...",
//     "pages": [ { "name": "...", "text": "...",
//                  "parameters": [ { "name": "Main_Diameter", "text": "...",
//                                    "type": "number", "value": 16, "unit": "mm",
//                                    "choices": [ 12, 16, ... ] } ] } ],
//     "buttons": [ { "text": "Draw", "event": 2000 } ] }
// Types are "number", "integer", "switch" and "text". A choice is a value or
// { "value": ..., "text": "..." }; where choices are given they are the only
// values allowed. Numbers and integers may carry "min" and "max", both
// included, in the parameter's unit: a value outside them is refused.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace HostBaseElements {

enum class ValueType { Number, Integer, Switch, Text };
const char* ToString(ValueType type);

// A value as the palette holds it or as the user enters it.
class PaletteValue {
 public:
  PaletteValue() : v_(0.0) {}
  PaletteValue(double v) : v_(v) {}                    // NOLINT: implicit by design
  PaletteValue(int v) : v_(std::int64_t{v}) {}         // NOLINT
  PaletteValue(std::int64_t v) : v_(v) {}              // NOLINT
  PaletteValue(bool v) : v_(v) {}                      // NOLINT
  PaletteValue(std::string v) : v_(std::move(v)) {}    // NOLINT
  PaletteValue(const char* v) : v_(std::string(v)) {}  // NOLINT

  bool IsNumber() const { return std::holds_alternative<double>(v_); }
  bool IsInteger() const { return std::holds_alternative<std::int64_t>(v_); }
  bool IsSwitch() const { return std::holds_alternative<bool>(v_); }
  bool IsText() const { return std::holds_alternative<std::string>(v_); }
  // Numbers and integers as a floating-point number; other kinds have none.
  std::optional<double> AsDouble() const;
  std::string ToString() const;
  bool operator==(const PaletteValue&) const = default;

  const std::variant<double, std::int64_t, bool, std::string>& Raw() const { return v_; }

 private:
  std::variant<double, std::int64_t, bool, std::string> v_;
};

struct Choice {
  PaletteValue value;
  std::string text;  // shown instead of the value where given
};

class Parameter {
 public:
  std::string name;
  std::string text;
  std::string unit;
  std::string page;
  std::string file;  // the palette file it came from, for messages
  ValueType type = ValueType::Number;
  std::vector<Choice> choices;
  std::optional<double> min;  // smallest value allowed, included
  std::optional<double> max;  // largest value allowed, included

  // Why `value` cannot be stored, in the palette's own words: the
  // parameter's label, the value and what is allowed. Empty when it can.
  std::string Refusal(const PaletteValue& value) const;

  const PaletteValue& value() const { return value_; }
  // Typed reads; a parameter of another type is an error naming the
  // parameter and its file.
  double Number() const;         // number or integer parameter
  std::int64_t Integer() const;  // integer parameter
  bool Switch() const;
  const std::string& Text() const;

  // Stores a value, converted to the parameter's type: a whole number for an
  // integer, true/false or 0/1 for a switch, a number given as text where it
  // parses completely. A value that does not fit the type, is not among the
  // allowed choices or lies outside the range is an error naming the
  // parameter, the value and the file; the stored value is then unchanged.
  void SetValue(const PaletteValue& value);

 private:
  // The value converted to the parameter's type, or the reason it cannot be.
  std::optional<PaletteValue> Converted(const PaletteValue& value, std::string& why) const;
  PaletteValue value_;
};

// One parameter set of a palette ("build_ele").
class BuildingElement {
 public:
  BuildingElement(std::string file, std::vector<Parameter> params);

  // The parameter of that name; an unknown name is an error naming the
  // parameter and the palette file.
  Parameter& operator[](std::string_view name);
  const Parameter& operator[](std::string_view name) const;
  bool Has(std::string_view name) const;
  const std::vector<Parameter>& GetParameters() const { return params_; }
  const std::string& GetFile() const { return file_; }

 private:
  Parameter* Find(std::string_view name);
  std::string file_;
  std::vector<Parameter> params_;
};

struct PalettePage {
  std::string name;
  std::string text;
  std::vector<std::string> parameters;  // names, in order
};
struct PaletteButton {
  std::string text;
  int event_id = 0;
  std::string page;  // empty: shown on every page
};

// What a palette file holds besides its parameter values.
struct BuildingElementScript {
  std::string name;
  std::string path;
};
struct BuildingElementComposite {
  std::vector<PalettePage> pages;
};
using ControlPropsList = std::vector<PaletteButton>;
using BuildingElementList = std::vector<std::shared_ptr<BuildingElement>>;

// The seven values read_data_from_file returns.
struct PaletteData {
  bool result = false;
  BuildingElementScript build_ele_script;
  BuildingElementList build_ele_list;
  ControlPropsList control_props_list;
  BuildingElementComposite build_ele_composite;
  std::string part_name;
  std::string file_name;
};

using StringTable = std::map<std::string, std::string, std::less<>>;

class BuildingElementService {
 public:
  // Reads a palette file. A file that cannot be read or parsed gives
  // result false; the host says why on standard error.
  PaletteData read_data_from_file(const std::string& path, const StringTable& str_table,
                                  bool reserved, const StringTable& material_str_table);
  // The same, throwing the reason instead (for the host's own use).
  static PaletteData ReadOrThrow(const std::string& path);
};

// The palette shown to the user.
class BuildingElementPaletteService
    : public std::enable_shared_from_this<BuildingElementPaletteService> {
 public:
  BuildingElementPaletteService(BuildingElementList build_ele_list,
                                BuildingElementComposite build_ele_composite,
                                BuildingElementScript build_ele_script,
                                ControlPropsList control_props_list, std::string file_name);

  void show_palette(const std::string& part_name);
  void close_palette();
  // Redraws the palette after the tool wrote values.
  void update_palette(int page, bool full);
  // Stores an edited value; answers whether the palette must be redrawn.
  // A value that does not fit its parameter is an error (nothing stored).
  bool modify_element_property(int page, const std::string& name, const PaletteValue& value);

  bool IsShown() const { return shown_; }
  int GetRedrawCount() const { return redraws_; }
  const std::string& GetFileName() const { return file_name_; }
  const std::string& GetPartName() const { return part_name_; }
  const BuildingElementList& GetBuildingElements() const { return build_ele_list_; }
  const BuildingElementComposite& GetComposite() const { return composite_; }
  const ControlPropsList& GetControls() const { return controls_; }
  // The page a parameter is on (0-based), for the host's edits.
  int PageOf(const std::string& name) const;

 private:
  BuildingElementList build_ele_list_;
  BuildingElementComposite composite_;
  BuildingElementScript script_;
  ControlPropsList controls_;
  std::string file_name_;
  std::string part_name_;
  bool shown_ = false;
  int redraws_ = 0;
};

}  // namespace HostBaseElements

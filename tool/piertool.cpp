#include "tool/piertool.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "common/geomkit.h"
#include "tool/protocol.h"

namespace piertool {

namespace {

constexpr const char* kSelectPrompt = "Select <Column>";
constexpr const char* kSelectNextPrompt = "Select next <Column> or click Finish";
constexpr const char* kCustomizePrompt = "Customize rebars and finish by Draw button";

constexpr double kCreatedLayer = 65535;

// What Draw says it did.
const std::string kCreatedLine = "created ";
const std::string kNothingCreatedLine = "created nothing: blocked by ";

// One line of text for the console: a caught error never spans lines.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

std::string Format(const std::string& pattern, const std::string& first,
                   const std::string& second) {
  std::string out = pattern;
  out.replace(out.find("{}"), 2, first);
  out.replace(out.find("{}"), 2, second);
  return out;
}

}  // namespace

template <typename Fn>
void GeometrySelectInteractor::CatchAndPrint(Fn&& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    HostUtil::PrintLine(OneLine(e.what()));
  } catch (...) {
    HostUtil::PrintLine("unknown error");
  }
}

GeometrySelectInteractor::GeometrySelectInteractor(HostInput::CoordinateInput& coord_input,
                                                   std::string tool_path,
                                                   HostUtil::StringTableService& str_table_service)
    : coord_input_(coord_input),
      tool_path_(std::move(tool_path)),
      str_table_service_(str_table_service) {
  show_palette(kSelectionPalette, kSelectPrompt);
}

bool GeometrySelectInteractor::show_palette(const std::string& palette_name,
                                            const std::string& messenge) {
  const std::string path = (std::filesystem::path(tool_path_) / palette_name).string();
  auto data = build_ele_service_.read_data_from_file(path, str_table_service_.str_table, false,
                                                     str_table_service_.material_str_table);
  build_ele_script_ = data.build_ele_script;
  build_ele_list_ = data.build_ele_list;
  control_props_list_ = data.control_props_list;
  build_ele_composite_ = data.build_ele_composite;
  file_name_ = data.file_name;
  if (!data.result) return true;
  palette_service_ = std::make_shared<HostBaseElements::BuildingElementPaletteService>(
      build_ele_list_, build_ele_composite_, build_ele_script_, control_props_list_, file_name_);
  palette_service_->show_palette(data.part_name);
  build_ele_ = build_ele_list_.at(0);
  coord_input_.InitFirstElementInput(HostInput::InputStringConvert(messenge));
  return true;
}

void GeometrySelectInteractor::RequirePalette(const char* operation) const {
  if (!palette_service_) {
    throw std::runtime_error(std::string(operation) +
                             ": no palette is open because the palette file '" + file_name_ +
                             "' could not be read");
  }
}

bool GeometrySelectInteractor::process_mouse_msg(const HostInput::MouseMessage& mouse_msg,
                                                 const HostGeo::Point3D& pnt,
                                                 const HostInput::MessageInfo& msg_info) {
  coord_input_.SelectElement(mouse_msg, pnt, msg_info, true, true, true);
  if (coord_input_.IsMouseMove(mouse_msg)) {
    if (preview_) CatchAndPrint([&] { draw_preview(); });
    return true;
  }
  const auto ele = coord_input_.GetSelectedElement();
  std::vector<HostGeo::Point3D> vertices;
  try {
    vertices = ele.GetGeometry().GetVertices();
  } catch (const std::exception&) {
    vertices = ele.GetModelGeometry().GetVertices();
  }
  if (vertices.size() == 8) {
    point_list_.insert(point_list_.end(), vertices.begin(), vertices.end());
    coord_input_.InitFirstElementInput(HostInput::InputStringConvert(kSelectNextPrompt));
    return true;
  }
  on_cancel_function();
  return true;
}

void GeometrySelectInteractor::on_preview_draw() {}

void GeometrySelectInteractor::on_mouse_leave() {}

bool GeometrySelectInteractor::on_cancel_function() {
  RequirePalette("cancel");
  palette_service_->close_palette();
  return true;
}

// ---------------------------------------------------------------------------
// Palette edits and buttons.

void GeometrySelectInteractor::modify_element_property(
    int page, const std::string& name, const HostBaseElements::PaletteValue& value) {
  RequirePalette("a palette edit");
  auto& p = *build_ele_;
  // A value no cage can have is refused at once: the field keeps its value
  // and the cage on screen still matches the fields.
  if (p.Has(name)) {
    if (const std::string refusal = p[name].Refusal(value); !refusal.empty()) {
      HostUtil::ShowMessageBox(refusal, HostUtil::MB_OK);
      return;
    }
  }
  const bool update_palette = palette_service_->modify_element_property(page, name, value);
  // The value as the palette now holds it, as a number where it is one.
  const auto number = [&] { return p[name].Number(); };
  if (name == "Exposure" || name == "Concr_Grade") concre_grade_limit();
  if (name == "Calculate_Type") Draw_Rebar(true, false);
  if (name == "Main_Diameter") {
    if (number() < 12) {
      // A diameter below the minimum may have no lap length in the tables:
      // the rebuild with it is then told as a line and the rule still puts
      // 12 in its place, rather than leaving the palette with a value no
      // cage can be built from.
      CatchAndPrint([&] { Draw_Rebar(true, false); });
      main_diameter_limit();
    } else {
      Draw_Rebar(true, false);
    }
  }
  // The links hold every longitudinal bar of the cage, whichever of their
  // diameters was edited last.
  if (LinkDiameterRuleEdit(name)) ApplyLinkDiameterRule();
  if (name == "Main_Stirrup_Spacing" &&
      (number() > 12 * p["Main_Diameter"].Number() || number() > 200)) {
    stirrup_spacing_limit();
  }
  if ((name == "Add_Stirrup_Top_Spacing" || name == "Add_Stirrup_Bot_Spacing") &&
      number() > 0.6 * p["Main_Stirrup_Spacing"].Number()) {
    add_stirrup_spacing_limit(name);
  }
  CatchAndPrint([&] { Draw_Rebar(false, false); });
  if (update_palette) palette_service_->update_palette(-1, false);
}

void GeometrySelectInteractor::concre_grade_limit() {
  auto& p = *build_ele_;
  const std::string exposure = p["Exposure"].Text();
  const int m = geomkit::concr_exposure(exposure)[2];
  const auto g = p["Concr_Grade"].Integer();
  if (m > g - 1) {
    HostUtil::ShowMessageBox(
        Format("The minimum concrete grade for {} is {}", exposure, geomkit::concre_grade(m)),
        HostUtil::MB_OK);
    p["Concr_Grade"].SetValue(m + 1);
    palette_service_->update_palette(-1, false);
  }
}

void GeometrySelectInteractor::main_diameter_limit() {
  HostUtil::ShowMessageBox("Main Column Rebar Diameter \u00D8min = 12 mm!", HostUtil::MB_OK);
  (*build_ele_)["Main_Diameter"].SetValue(12.0);
  palette_service_->update_palette(-1, false);
}

bool GeometrySelectInteractor::LinkDiameterRuleEdit(const std::string& name) const {
  static const char* const kNames[] = {"Main_Stirrup_Diameter", "Main_Stirrup_Diameter_Above",
                                       "Main_Diameter",         "Main_Diameter_Above",
                                       "Add_X_Diameter",        "Add_Y_Diameter",
                                       "Add_X_Number",          "Add_Y_Number",
                                       "Add_X_Diameter_Above",  "Add_Y_Diameter_Above",
                                       "Add_X_Number_Above",    "Add_Y_Number_Above"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

double GeometrySelectInteractor::LargestHeldBar() {
  // The lower column's links hold its own bars and, where the starters
  // overlap, the upper column's; the upper column's links hold its bars and
  // those carried up into it.
  const auto& p = *build_ele_;
  double largest = 0;
  const auto bars = [&](const char* suffix) {
    const std::string s = suffix;
    largest = std::max(largest, p["Main_Diameter" + s].Number());
    for (const char* face : {"X", "Y"}) {
      const std::string n = std::string("Add_") + face + "_Number" + s;
      if (p[n].Integer() > 0) {
        largest = std::max(largest, p[std::string("Add_") + face + "_Diameter" + s].Number());
      }
    }
  };
  bars("");
  if (p.Has("Main_Diameter_Above")) bars("_Above");
  // Bars created before that reach into the column from below.
  const double below = WithCage([](auto& cage) { return cage.BarsFromBelow().max_diameter; }, 0.0);
  return std::max(largest, below);
}

void GeometrySelectInteractor::ApplyLinkDiameterRule() {
  auto& p = *build_ele_;
  const double quarter = LargestHeldBar() / 4;
  for (const char* name : {"Main_Stirrup_Diameter", "Main_Stirrup_Diameter_Above"}) {
    if (p.Has(name) && p[name].Number() < quarter) stirrup_diameter_limit(name);
  }
}

void GeometrySelectInteractor::stirrup_diameter_limit(const std::string& name) {
  HostUtil::ShowMessageBox("Stirrup diamter cannot smaller than 0.25*<Main Diameter>",
                           HostUtil::MB_OK);
  // The smallest bar of the link list that keeps the rule: at least 8 mm
  // and at least a quarter of the largest bar the links hold.
  auto& p = *build_ele_;
  const double quarter = LargestHeldBar() / 4;
  std::vector<double> diameters;
  for (const auto& c : p[name].choices) diameters.push_back(*c.value.AsDouble());
  if (diameters.empty()) diameters = geomkit::diameter_list();
  const auto it = std::find_if(diameters.begin(), diameters.end(),
                               [&](double d) { return d >= 8 && d >= quarter; });
  p[name].SetValue(it != diameters.end() ? *it : diameters.back());
  palette_service_->update_palette(-1, false);
}

void GeometrySelectInteractor::stirrup_spacing_limit() {
  HostUtil::ShowMessageBox("Stirrup spacing cannot greater than 12*<Main Diameter>/200mm",
                           HostUtil::MB_OK);
  auto& p = *build_ele_;
  p["Main_Stirrup_Spacing"].SetValue(
      geomkit::round_to_10(std::min(12 * p["Main_Diameter"].Number(), 200.0)));
  palette_service_->update_palette(-1, false);
}

void GeometrySelectInteractor::add_stirrup_spacing_limit(const std::string& name) {
  HostUtil::ShowMessageBox("Additional stirrup spacing cannot greater than 0.6*<Main Spacing>",
                           HostUtil::MB_OK);
  auto& p = *build_ele_;
  const double value = geomkit::round_to_10(0.6 * p["Main_Stirrup_Spacing"].Number());
  p[name == "Add_Stirrup_Top_Spacing" ? "Add_Stirrup_Top_Spacing" : "Add_Stirrup_Bot_Spacing"]
      .SetValue(value);
  palette_service_->update_palette(-1, false);
}

void GeometrySelectInteractor::on_control_event(int event_id) {
  if (event_id == kFinish) CatchAndPrint([&] { On_Analysis(); });
  if (event_id == kDraw) Draw_Rebar();
  if (event_id == kRebuild) Draw_Rebar(false, false);
}

// ---------------------------------------------------------------------------
// Analysis, preview and drawing.

void GeometrySelectInteractor::On_Analysis() {
  CatchAndPrint([&] {
    if (point_list_.size() == 8) {
      Column_Only();
      Prepare_Preview();
    }
    if (point_list_.size() == 16) {
      Column_w_above();
      Prepare_Preview();
    }
  });
}

void GeometrySelectInteractor::Column_Only() {
  RequirePalette("Finish");
  palette_service_->close_palette();
  show_palette(kSinglePalette, kCustomizePrompt);
  Column_Module_ = CageModule::Single;
}

void GeometrySelectInteractor::Column_w_above() {
  RequirePalette("Finish");
  palette_service_->close_palette();
  show_palette(kStackedPalette, kCustomizePrompt);
  Column_Module_ = CageModule::Stacked;
}

void GeometrySelectInteractor::BuildCage() {
  // What is on screen must match the fields: a rebuild that fails leaves no
  // cage rather than the one before.
  reinforcement_.clear();
  Column_ = std::monostate();
  switch (Column_Module_) {
    case CageModule::Single:
      Column_ = cage_single::Reinforcement(build_ele_, palette_service_, coord_input_, tool_path_,
                                           str_table_service_, point_list_);
      break;
    case CageModule::Stacked:
      Column_ = cage_stacked::Reinforcement(build_ele_, palette_service_, coord_input_, tool_path_,
                                            str_table_service_, point_list_);
      break;
    case CageModule::None:
      throw std::runtime_error(
          "there is no cage to build yet: pick a column (and the column standing "
          "on it) and press Finish first");
  }
  reinforcement_ =
      WithCage([](auto& cage) { return cage.Rebars(); }, HostReinf::ModelElementList());
}

void GeometrySelectInteractor::Prepare_Preview() {
  BuildCage();
  WithCage([](auto& cage) { cage.Prepare_Parameters(); });
  // The palette's links must hold every bar of the cage from the start, also
  // bars that reach into the column from below.
  ApplyLinkDiameterRule();
  preview_ = true;
}

void GeometrySelectInteractor::draw_preview() {
  HostBaseElements::DrawElementPreview(coord_input_.GetInputViewDocument(), HostGeo::Matrix3D(),
                                       reinforcement_, 0, nullptr);
}

void GeometrySelectInteractor::Draw_Rebar(bool prepare, bool draw) {
  auto& doc = coord_input_.GetInputViewDocument();
  BuildCage();
  if (prepare) WithCage([](auto& cage) { cage.Prepare_Parameters(); });
  HostBaseElements::CommonProperties com_prop;
  com_prop.GetGlobalProperties();
  com_prop.Layer = static_cast<int>(kCreatedLayer);
  for (auto& element : reinforcement_) element.SetCommonProperties(com_prop);
  if (draw) {
    const bool error = WithCage(
        [](auto& cage) {
          cage.check_output();
          return cage.error();
        },
        false);
    if (!error) {
      HostBaseElements::CreateElements(doc, HostGeo::Matrix3D(), reinforcement_, {}, nullptr);
      std::size_t bars = 0;
      for (const auto& placement : reinforcement_) bars += placement.GetBarCount();
      HostUtil::PrintLine(kCreatedLine + std::to_string(bars) + " bars");
    } else {
      HostUtil::PrintLine(kNothingCreatedLine +
                          WithCage([](auto& cage) { return cage.blocked_by(); }, std::string()));
    }
  }
}

bool GeometrySelectInteractor::cage_error() const {
  const auto* single = std::get_if<cage_single::Reinforcement>(&Column_);
  const auto* stacked = std::get_if<cage_stacked::Reinforcement>(&Column_);
  return single ? single->error() : stacked ? stacked->error() : false;
}

}  // namespace piertool

bool check_host_version(const HostBaseElements::BuildingElement* /*build_ele*/,
                        const std::string& version) {
  return HostUtil::HostApiAccepts(version);
}

HostUtil::CreateElementResult create_element(const HostBaseElements::BuildingElement* /*build_ele*/,
                                             HostBaseElements::ModelDocument* /*doc*/) {
  return {};
}

HostInput::BaseInteractor* create_interactor(HostInput::CoordinateInput& coord_input,
                                             const std::string& tool_path,
                                             HostUtil::StringTableService& str_table_service) {
  return new piertool::GeometrySelectInteractor(coord_input, tool_path, str_table_service);
}

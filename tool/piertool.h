// piertool: the plug-in module the host loads when the user starts the tool.
// It offers the three entry functions and the interactor that collects the
// picked columns, shows the palettes, checks every palette edit and builds,
// previews and creates the cage.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cage/cage_single.h"
#include "cage/cage_stacked.h"
#include "host/host.h"
#include "host/plugin_api.h"

namespace piertool {

// Which cage builder a finished selection uses.
enum class CageModule { None, Single, Stacked };

class GeometrySelectInteractor : public HostInput::BaseInteractor {
 public:
  // Reads and shows the selection palette from `tool_path` and prompts for a column.
  GeometrySelectInteractor(HostInput::CoordinateInput& coord_input, std::string tool_path,
                           HostUtil::StringTableService& str_table_service);

  // Host events.
  bool process_mouse_msg(const HostInput::MouseMessage& mouse_msg, const HostGeo::Point3D& pnt,
                         const HostInput::MessageInfo& msg_info) override;
  void on_preview_draw() override;
  void on_mouse_leave() override;
  bool on_cancel_function() override;
  void modify_element_property(int page, const std::string& name,
                               const HostBaseElements::PaletteValue& value) override;
  void on_control_event(int event_id) override;

  // Reads the palette file `palette_name` from the tool's folder, shows it and
  // sets the prompt. A file that cannot be read leaves everything as it was.
  bool show_palette(const std::string& palette_name, const std::string& messenge = "");

  // Palette rules.
  void concre_grade_limit();
  void main_diameter_limit();
  // Shows the link rule's message and writes the smallest link of the list
  // that holds the largest bar into `name` (the lower or the upper links).
  void stirrup_diameter_limit(const std::string& name = "Main_Stirrup_Diameter");
  void stirrup_spacing_limit();
  void add_stirrup_spacing_limit(const std::string& name);

  // Analysis, preview and drawing.
  void On_Analysis();
  void Column_Only();
  void Column_w_above();
  void Prepare_Preview();
  void draw_preview();
  void Draw_Rebar(bool prepare = false, bool draw = true);

  // State, for the host and for checking the tool.
  const std::vector<HostGeo::Point3D>& point_list() const { return point_list_; }
  bool preview() const { return preview_; }
  const HostReinf::ModelElementList& reinforcement() const { return reinforcement_; }
  CageModule Column_Module() const { return Column_Module_; }
  const std::shared_ptr<HostBaseElements::BuildingElementPaletteService>& palette_service() const {
    return palette_service_;
  }
  const std::shared_ptr<HostBaseElements::BuildingElement>& build_ele() const { return build_ele_; }
  const std::string& file_name() const { return file_name_; }
  // The current cage, if one was built.
  bool has_cage() const { return !std::holds_alternative<std::monostate>(Column_); }
  bool cage_error() const;

 private:
  void RequirePalette(const char* operation) const;
  // Whether an edit of `name` can break the link diameter rule.
  bool LinkDiameterRuleEdit(const std::string& name) const;
  // The largest longitudinal bar the links hold: the palette's, and those
  // that reach into the column from below, mm.
  double LargestHeldBar();
  // The link rule against every bar the links hold, for the lower and the
  // upper column's links.
  void ApplyLinkDiameterRule();
  void BuildCage();
  template <typename Fn>
  void CatchAndPrint(Fn&& fn);
  // Calls fn with the current cage, of whichever module; without a cage,
  // returns `none`.
  template <typename Fn, typename R = void>
  R WithCage(Fn&& fn, R none = R()) {
    if (auto* single = std::get_if<cage_single::Reinforcement>(&Column_)) return fn(*single);
    if (auto* stacked = std::get_if<cage_stacked::Reinforcement>(&Column_)) return fn(*stacked);
    return none;
  }
  template <typename Fn>
  void WithCage(Fn&& fn) {
    if (auto* single = std::get_if<cage_single::Reinforcement>(&Column_)) fn(*single);
    if (auto* stacked = std::get_if<cage_stacked::Reinforcement>(&Column_)) fn(*stacked);
  }

  HostInput::CoordinateInput& coord_input_;
  std::string tool_path_;
  HostUtil::StringTableService& str_table_service_;
  std::vector<HostGeo::Point3D> point_list_;
  HostBaseElements::BuildingElementService build_ele_service_;
  std::shared_ptr<HostBaseElements::BuildingElementPaletteService> palette_service_;
  HostBaseElements::BuildingElementScript build_ele_script_;
  HostBaseElements::BuildingElementList build_ele_list_;
  HostBaseElements::ControlPropsList control_props_list_;
  HostBaseElements::BuildingElementComposite build_ele_composite_;
  std::string file_name_;
  std::shared_ptr<HostBaseElements::BuildingElement> build_ele_;
  bool preview_ = false;
  HostReinf::ModelElementList reinforcement_;
  CageModule Column_Module_ = CageModule::None;
  std::variant<std::monostate, cage_single::Reinforcement, cage_stacked::Reinforcement> Column_;
};

}  // namespace piertool

// The tool's entry functions. The host reaches them, and the interactor,
// through the module's one C entry point (tool/plugin_entry.cpp).

// Whether the tool runs in a host of API version `version`: one of the major
// version it was built against.
bool check_host_version(const HostBaseElements::BuildingElement* build_ele,
                        const std::string& version);
// The tool creates nothing through this entry.
HostUtil::CreateElementResult create_element(const HostBaseElements::BuildingElement* build_ele,
                                             HostBaseElements::ModelDocument* doc);
// A new interactor; the caller owns it.
HostInput::BaseInteractor* create_interactor(HostInput::CoordinateInput& coord_input,
                                             const std::string& tool_path,
                                             HostUtil::StringTableService& str_table_service);

// model.json: every created placement with its bars as polylines, for other
// programs. Coordinates in mm, rounded to 0.01 mm.
#include <cmath>

#include <nlohmann/json.hpp>

#include "app/export/exporter.h"

namespace pierhost {

namespace {

double R2(double v) {
  const double r = std::round(v * 100.0) / 100.0;
  return r == 0 ? 0.0 : r;  // no "-0"
}

class ModelJsonWriter : public Exporter {
 public:
  std::string FileName() const override { return "model.json"; }

  void Write(const ExportInput& input, const Schedule& schedule, std::ostream& out) const override {
    using nlohmann::ordered_json;
    ordered_json root;
    root["format"] = "pier-cages";
    root["version"] = 1;
    root["project"] = input.project;
    root["date"] = input.date;
    ordered_json marks = ordered_json::array();
    for (const auto& m : schedule.marks) {
      ordered_json j;
      j["mark"] = m.mark;
      j["type_and_size"] = TypeAndSize(m.shape.diameter);
      j["diameter"] = m.shape.diameter;
      j["shape_code"] = m.shape.code;
      if (!m.shape.sketch.empty()) j["sketch"] = m.shape.sketch;
      for (const auto& [key, value] : {std::pair{"A", m.shape.A}, {"B", m.shape.B}, {"C", m.shape.C},
                                       {"D", m.shape.D}, {"E", m.shape.E}}) {
        if (value != 0) j[key] = value;
      }
      j["exact_length"] = R2(m.shape.exact_length);
      j["length"] = m.scheduled_length;
      j["unit_mass"] = m.unit_mass;
      marks.push_back(j);
    }
    root["marks"] = marks;
    ordered_json cages = ordered_json::array();
    for (std::size_t c = 0; c < input.cages.size(); ++c) {
      const auto& cage = input.cages[c];
      ordered_json jc;
      jc["name"] = cage.name;
      jc["columns"] = cage.column_ids;
      ordered_json placements = ordered_json::array();
      for (std::size_t p = 0; p < cage.placements.size(); ++p) {
        const auto& pl = cage.placements[p];
        ordered_json jp;
        jp["mark"] = schedule.marks[schedule.placement_marks[c][p]].mark;
        jp["position"] = pl.GetPositionNumber();
        jp["layer"] = pl.GetCommonProperties().Layer;
        jp["shape"] = HostReinf::ToString(pl.GetBendingShape().GetShapeType());
        jp["diameter"] = pl.GetBendingShape().GetDiameter();
        jp["count"] = pl.GetBarCount();
        if (pl.GetRule() == HostReinf::BarPlacement::Rule::Spacing) jp["spacing"] = pl.GetRuleValue();
        ordered_json bars = ordered_json::array();
        for (const auto& bar : pl.GetBars()) {
          ordered_json poly = ordered_json::array();
          for (const auto& p3 : bar) poly.push_back({R2(p3.X()), R2(p3.Y()), R2(p3.Z())});
          bars.push_back(poly);
        }
        jp["bars"] = bars;
        placements.push_back(jp);
      }
      jc["placements"] = placements;
      cages.push_back(jc);
    }
    root["cages"] = cages;
    out << root.dump(1) << '\n';
  }
};

}  // namespace

std::unique_ptr<Exporter> MakeModelJsonWriter() { return std::make_unique<ModelJsonWriter>(); }

}  // namespace pierhost

// model.json: every created placement with its bars as polylines, for other
// programs. Coordinates in mm, rounded to 0.01 mm; one bar per line. The
// text is written straight out, without building a document in memory, so
// that a whole building's bars take little more room than their text.
#include <charconv>
#include <cmath>

#include <nlohmann/json.hpp>

#include "app/export/exporter.h"
#include "app/export/ifc_writer.h"
#include "app/export/text.h"

namespace pierhost {

namespace {

// A value rounded to hundredths (`decimals` unless told).
std::string Num(double v, int decimals = 2) { return Rounded(v, decimals); }

// Bytes that are not UTF-8 (an id from a model written elsewhere) become
// U+FFFD rather than failing the whole file.
std::string Quoted(const std::string& s) {
  return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

class ModelJsonWriter : public Exporter {
 public:
  std::string FileName() const override { return "model.json"; }

  void Write(const ExportInput& input, const Schedule& schedule, std::ostream& out) const override {
    std::string text;
    text.reserve(1 << 16);
    const auto flush = [&] {
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      text.clear();
    };
    text +=
        "{\n \"format\": \"pier-cages\",\n \"version\": 2,\n \"units\": {\"length\": \"mm\", "
        "\"mass\": \"kg\"},\n \"project\": " +
        Quoted(input.project) + ",\n \"date\": " + Quoted(input.date) + ",\n \"marks\": [";
    for (std::size_t i = 0; i < schedule.marks.size(); ++i) {
      const auto& m = schedule.marks[i];
      text += i ? ",\n  " : "\n  ";
      text += "{\"mark\": " + Quoted(m.mark) +
              ", \"type_and_size\": " + Quoted(TypeAndSize(m.shape.diameter)) + ", \"diameter\": ";
      text += Num(m.shape.diameter);
      text += ", \"shape_code\": " + Quoted(m.shape.code);
      if (!m.shape.sketch.empty()) text += ", \"sketch\": " + Quoted(m.shape.sketch);
      for (const auto& [key, value] : {std::pair{"A", m.shape.A},
                                       {"B", m.shape.B},
                                       {"C", m.shape.C},
                                       {"D", m.shape.D},
                                       {"E", m.shape.E}}) {
        if (value == 0) continue;
        text += std::string(", \"") + key + "\": ";
        text += Num(value);
      }
      text += ", \"exact_length\": ";
      text += Num(m.shape.exact_length);
      text += ", \"length\": ";
      text += Num(m.scheduled_length);
      text += ", \"unit_mass\": ";
      text += Num(m.unit_mass, 3);
      text += "}";
    }
    text += "\n ],\n \"cages\": [";
    for (std::size_t c = 0; c < input.cages.size(); ++c) {
      const auto& cage = input.cages[c];
      text += c ? ",\n  " : "\n  ";
      text += "{\"name\": " + Quoted(cage.name) + ", \"columns\": [";
      for (std::size_t k = 0; k < cage.column_ids.size(); ++k)
        text += (k ? ", " : "") + Quoted(cage.column_ids[k]);
      text += "], \"placements\": [";
      for (std::size_t p = 0; p < cage.placements.size(); ++p) {
        const auto& pl = cage.placements[p];
        const auto& shape = pl.GetBendingShape();
        text += p ? ",\n   " : "\n   ";
        text += "{\"mark\": " + Quoted(schedule.marks[schedule.placement_marks[c][p]].mark) +
                ", \"position\": " + Integer(pl.GetPositionNumber()) +
                ", \"layer\": " + Integer(pl.GetCommonProperties().Layer) + ", \"shape\": \"" +
                HostReinf::ToString(shape.GetShapeType()) + "\", \"diameter\": ";
        text += Num(shape.GetDiameter());
        text += ", \"bend_radius\": ";
        text += Num(shape.GetBendRadius());
        text += ", \"length\": ";
        text += Num(schedule.marks[schedule.placement_marks[c][p]].shape.exact_length);
        text += ", \"count\": " + Integer(pl.GetBarCount());
        // The bars' spacing as they stand; the palette's ("nominal_spacing")
        // is its upper bound.
        if (pl.GetBarCount() > 1) {
          text += ", \"spacing\": ";
          text += Num(ActualSpacing(pl));
        }
        if (pl.GetRule() == HostReinf::BarPlacement::Rule::Spacing) {
          text += ", \"nominal_spacing\": ";
          text += Num(pl.GetRuleValue());
        }
        if (pl.GetBarCount() > 0) {
          // The first bar's centreline: its straight legs and its bends as
          // arcs of the bend radius; the other bars are the same shape moved
          // as their corners are.
          const auto t = pl.GetBarTranslation(0);
          std::vector<HostGeo::Point3D> corners;
          for (const auto& q : shape.GetPolyline()) corners.push_back(q + t);
          const ifc::IndexedCurve curve = ifc::FilletPolyline(corners, shape.GetBendRadius());
          text += ", \"centreline\": {\"points\": [";
          for (std::size_t i = 0; i < curve.points.size(); ++i) {
            const auto& q = curve.points[i];
            text += (i ? ", [" : "[") + Num(q.X()) + ", " + Num(q.Y()) + ", " + Num(q.Z()) + "]";
          }
          text += "], \"segments\": [";
          for (std::size_t i = 0; i < curve.segments.size(); ++i) {
            const auto& segment = curve.segments[i];
            text += i ? ", [" : "[";
            for (std::size_t k = 0; k < segment.indices.size(); ++k) {
              text += (k ? ", " : "") + Integer(segment.indices[k] - 1);
            }
            text += "]";
          }
          text += "]}";
        }
        text += ", \"bars\": [";
        for (std::size_t k = 0; k < pl.GetBarCount(); ++k) {
          const auto t = pl.GetBarTranslation(k);
          text += k ? ",\n    [" : "\n    [";
          const auto& poly = shape.GetPolyline();
          for (std::size_t i = 0; i < poly.size(); ++i) {
            text += i ? ", [" : "[";
            text += Num(poly[i].X() + t.X());
            text += ", ";
            text += Num(poly[i].Y() + t.Y());
            text += ", ";
            text += Num(poly[i].Z() + t.Z());
            text += "]";
          }
          text += "]";
          if (text.size() > (1 << 16)) flush();
        }
        text += pl.GetBarCount() ? "\n   ]}" : "]}";
      }
      text += "\n  ]}";
    }
    text += "\n ]\n}\n";
    flush();
  }
};

}  // namespace

std::unique_ptr<Exporter> MakeModelJsonWriter() { return std::make_unique<ModelJsonWriter>(); }

}  // namespace pierhost

// model.json: every created placement with its bars as polylines, for other
// programs. Coordinates in mm, rounded to 0.01 mm; one bar per line. The
// text is written straight out, without building a document in memory, so
// that a whole building's bars take little more room than their text.
#include <charconv>
#include <cmath>

#include <nlohmann/json.hpp>

#include "app/export/exporter.h"

namespace pierhost {

namespace {

// Shortest text of a value rounded to a step (0.01 unless told).
class Numbers {
 public:
  std::string_view operator()(double v, double step = 0.01) {
    double r = std::round(v / step) * step;
    if (r == 0) r = 0;  // no "-0"
    auto [end, ec] = std::to_chars(buf_, buf_ + sizeof buf_, r);
    return {buf_, static_cast<std::size_t>(end - buf_)};
  }

 private:
  char buf_[40];
};

// Bytes that are not UTF-8 (an id from a model written elsewhere) become
// U+FFFD rather than failing the whole file.
std::string Quoted(const std::string& s) {
  return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

class ModelJsonWriter : public Exporter {
 public:
  std::string FileName() const override { return "model.json"; }

  void Write(const ExportInput& input, const Schedule& schedule, std::ostream& out) const override {
    Numbers num;
    std::string text;
    text.reserve(1 << 16);
    const auto flush = [&] {
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      text.clear();
    };
    text += "{\n \"format\": \"pier-cages\",\n \"version\": 1,\n \"project\": " +
            Quoted(input.project) + ",\n \"date\": " + Quoted(input.date) + ",\n \"marks\": [";
    for (std::size_t i = 0; i < schedule.marks.size(); ++i) {
      const auto& m = schedule.marks[i];
      text += i ? ",\n  " : "\n  ";
      text += "{\"mark\": " + Quoted(m.mark) +
              ", \"type_and_size\": " + Quoted(TypeAndSize(m.shape.diameter)) + ", \"diameter\": ";
      text += num(m.shape.diameter);
      text += ", \"shape_code\": " + Quoted(m.shape.code);
      if (!m.shape.sketch.empty()) text += ", \"sketch\": " + Quoted(m.shape.sketch);
      for (const auto& [key, value] : {std::pair{"A", m.shape.A},
                                       {"B", m.shape.B},
                                       {"C", m.shape.C},
                                       {"D", m.shape.D},
                                       {"E", m.shape.E}}) {
        if (value == 0) continue;
        text += std::string(", \"") + key + "\": ";
        text += num(value);
      }
      text += ", \"exact_length\": ";
      text += num(m.shape.exact_length);
      text += ", \"length\": ";
      text += num(m.scheduled_length);
      text += ", \"unit_mass\": ";
      text += num(m.unit_mass, 0.001);
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
                ", \"position\": " + std::to_string(pl.GetPositionNumber()) +
                ", \"layer\": " + std::to_string(pl.GetCommonProperties().Layer) +
                ", \"shape\": \"" + HostReinf::ToString(shape.GetShapeType()) +
                "\", \"diameter\": ";
        text += num(shape.GetDiameter());
        text += ", \"count\": " + std::to_string(pl.GetBarCount());
        if (pl.GetRule() == HostReinf::BarPlacement::Rule::Spacing) {
          text += ", \"spacing\": ";
          text += num(pl.GetRuleValue());
        }
        text += ", \"bars\": [";
        for (std::size_t k = 0; k < pl.GetBarCount(); ++k) {
          const auto t = pl.GetBarTranslation(k);
          text += k ? ",\n    [" : "\n    [";
          const auto& poly = shape.GetPolyline();
          for (std::size_t i = 0; i < poly.size(); ++i) {
            text += i ? ", [" : "[";
            text += num(poly[i].X() + t.X());
            text += ", ";
            text += num(poly[i].Y() + t.Y());
            text += ", ";
            text += num(poly[i].Z() + t.Z());
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

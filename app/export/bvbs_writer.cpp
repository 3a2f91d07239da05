// bars.abs: one bending-machine record a mark (app/export/bvbs.h).
#include <cmath>
#include <numbers>

#include "app/export/bvbs.h"
#include "app/export/exporter.h"
#include "app/export/text.h"

namespace pierhost {
namespace bvbs {

int Checksum(std::string_view text_through_c) {
  unsigned sum = 0;
  for (const char ch : text_through_c) sum += static_cast<unsigned char>(ch);
  return 96 - static_cast<int>(sum % 32);
}

namespace {

// Text as a field holds it: printable ASCII without the separator.
std::string Field(std::string_view text) {
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && ch != '@') out += ch;
  }
  return out;
}

// Lengths in whole millimetres, other values to a thousandth.
std::string Mm(double v) { return Fixed(std::round(v), 0); }

}  // namespace

std::string Format(const Record& r) {
  std::string text = "BF2D@Hj" + Field(r.project) + "@r" + Field(r.drawing) + "@i" +
                     Field(r.revision) + "@p" + Field(r.mark) + "@l" + Mm(r.length) + "@n" +
                     Integer(r.count) + "@e" + Fixed(r.unit_mass, 3) + "@d" + Shortest(r.diameter) +
                     "@g" + Field(r.grade) + "@s" + Mm(r.mandrel) + "@v@";
  text += "G";
  for (std::size_t i = 0; i < r.legs.size(); ++i) {
    const double angle = i + 1 < r.legs.size() ? r.legs[i].angle : 0;
    text += "l" + Mm(r.legs[i].length) + "@w" + Rounded(angle, 1) + "@";
  }
  text += "C";
  text += Integer(Checksum(text)) + "@\r\n";
  return text;
}

}  // namespace bvbs

namespace {

using HostGeo::Point3D;
using HostGeo::Vector3D;

// The legs of a shape without a standard code: its corner polyline on the
// centreline, each bend signed by its turn about the bar's plane.
std::vector<bvbs::Leg> PolylineLegs(const std::vector<Point3D>& p) {
  std::vector<bvbs::Leg> legs;
  Vector3D normal;
  for (std::size_t i = 1; i + 1 < p.size() && normal.GetLength() < 1e-9; ++i) {
    normal = Vector3D(p[i - 1], p[i]).Cross(Vector3D(p[i], p[i + 1]));
  }
  if (normal.GetLength() > 0) normal = normal.Normalized();
  for (std::size_t i = 0; i + 1 < p.size(); ++i) {
    bvbs::Leg leg{p[i].GetDistance(p[i + 1]), 0};
    if (leg.length < 1e-6) continue;
    if (i + 2 < p.size()) {
      const Vector3D a = Vector3D(p[i], p[i + 1]).Normalized();
      const Vector3D b = Vector3D(p[i + 1], p[i + 2]).Normalized();
      const double turn = std::atan2(a.Cross(b).Dot(normal), a.Dot(b));
      leg.angle = turn * 180 / std::numbers::pi;
    }
    legs.push_back(leg);
  }
  // Corners that do not bend (two legs in line) are one leg.
  std::vector<bvbs::Leg> merged;
  for (const auto& leg : legs) {
    if (!merged.empty() && std::abs(merged.back().angle) < 1e-6) {
      merged.back().length += leg.length;
      merged.back().angle = leg.angle;
    } else {
      merged.push_back(leg);
    }
  }
  return merged;
}

// The legs of a mark as the schedule dimensions it, in bending order.
std::vector<bvbs::Leg> Legs(const MarkEntry& mark, const HostReinf::BendingShape& shape) {
  const BarShape& s = mark.shape;
  if (s.code == "00") return {{s.A, 0}};
  if (s.code == "26") {
    const double slope = std::atan2(s.crank_offset, s.crank_rise) * 180 / std::numbers::pi;
    return {{s.A, slope}, {s.B, -slope}, {s.C, 0}};
  }
  if (s.code == "51" || s.code == "52") {
    const double hook = s.code == "51" ? 90 : 135;
    return {{s.C, hook}, {s.A, 90}, {s.B, 90}, {s.A, 90}, {s.B, hook}, {s.D, 0}};
  }
  return PolylineLegs(shape.GetPolyline());
}

class BvbsWriter : public Exporter {
 public:
  std::string FileName() const override { return "bars.abs"; }

  void Write(const ExportInput& input, const Schedule& schedule, std::ostream& out) const override {
    // A mark's count over the whole export, and one of its shapes.
    std::vector<long long> count(schedule.marks.size(), 0);
    std::vector<const HostReinf::BendingShape*> shape(schedule.marks.size(), nullptr);
    for (std::size_t c = 0; c < input.cages.size(); ++c) {
      const auto& placements = input.cages[c].placements;
      for (std::size_t p = 0; p < placements.size(); ++p) {
        const std::size_t m = schedule.placement_marks[c][p];
        count[m] += static_cast<long long>(placements[p].GetBarCount());
        if (!shape[m]) shape[m] = &placements[p].GetBendingShape();
      }
    }
    for (std::size_t m = 0; m < schedule.marks.size(); ++m) {
      if (!shape[m] || count[m] == 0) continue;
      const MarkEntry& mark = schedule.marks[m];
      const double r = mark.shape.bend_radius - mark.shape.diameter / 2;
      out << bvbs::Format({
          .project = input.project,
          .drawing = input.drawing_number,
          .revision = input.revision,
          .mark = mark.mark,
          .length = mark.scheduled_length,
          .count = count[m],
          .unit_mass = mark.unit_mass,
          .diameter = mark.shape.diameter,
          .grade = "B500B",
          .mandrel = mark.shape.code == "00" ? 0 : 2 * r,
          .legs = Legs(mark, *shape[m]),
      });
    }
  }
};

}  // namespace

std::unique_ptr<Exporter> MakeBvbsWriter() { return std::make_unique<BvbsWriter>(); }

}  // namespace pierhost

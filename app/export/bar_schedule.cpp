#include "app/export/bar_schedule.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <tuple>

#include "app/export/text.h"
#include "common/geomkit.h"

namespace pierhost {

using HostGeo::Point3D;
using HostReinf::BendingShapeType;

double ScheduledLength(double exact_mm) {
  // Round up to 5 mm, after taking off the noise of the bar's computed
  // geometry (a side of a column turned in plan measures 540.004 mm): to
  // a tenth of a millimetre first.
  const double cleaned = std::round(exact_mm * 10.0) / 10.0;
  return std::ceil(cleaned / 5.0) * 5.0;
}

double FormulaLength(const BarShape& s) {
  const double r = s.bend_radius - s.diameter / 2;  // the scheduling radius: inside the bend
  const double d = s.diameter;
  if (s.code == "00") return s.A;
  if (s.code == "26") return s.A + s.B + s.C;
  if (s.code == "51") return 2 * (s.A + s.B + s.C) - 2.5 * r - 5 * d;
  if (s.code == "52") return 2 * (s.A + s.B + s.C) - 1.5 * r - 3 * d;
  return s.exact_length;
}

double ActualSpacing(const HostReinf::BarPlacement& placement) {
  const std::size_t n = placement.GetBarCount();
  if (n < 2) return 0;
  return (placement.GetBarTranslation(n - 1) - placement.GetBarTranslation(0)).GetLength() /
         static_cast<double>(n - 1);
}

double UnitMass(double d) {
  // 7850 kg/m3 x pi d^2 / 4, printed with three decimals.
  return std::round(7850.0 * std::numbers::pi * d * d / 4.0 / 1e6 * 1000.0) / 1000.0;
}

std::string TypeAndSize(double d) { return "H" + Shortest(d); }

namespace {

double PlanDistanceToLine(const Point3D& p, const Point3D& a, const Point3D& b) {
  // Distance from p to the line through a and b, in space.
  const HostGeo::Vector3D ab(a, b), ap(a, p);
  const double len = ab.GetLength();
  return len > 0 ? ab.Cross(ap).GetLength() / len : ap.GetLength();
}

std::string Deg(double a) { return Shortest(a); }

}  // namespace

BarShape DescribeShape(const HostReinf::BendingShape& shape) {
  BarShape out;
  const auto& p = shape.GetPolyline();
  out.diameter = shape.GetDiameter();
  out.bend_radius = shape.GetBendRadius();
  const double d = out.diameter, R = out.bend_radius;
  const auto& hs = shape.GetStartHook();
  const auto& he = shape.GetEndHook();
  const bool hooks = hs.present() || he.present();
  if (shape.GetShapeType() == BendingShapeType::LongitudinalBar && p.size() == 2) {
    out.code = "00";
    out.exact_length = p[0].GetDistance(p[1]);
    out.A = ScheduledLength(out.exact_length);
    return out;
  }
  if (shape.GetShapeType() == BendingShapeType::Stirrup && p.size() >= 5) {
    // The closing corner is the one point the bar passes twice; the three
    // square corners follow it.
    std::size_t first = 0;
    for (std::size_t i = 0; i + 4 < p.size() && first == 0; ++i) {
      if (p[i].GetDistance(p[i + 4]) < 1e-6) first = i;
    }
    const double a_c = p[first + 2].GetDistance(p[first + 3]);
    const double b_c = p[first + 1].GetDistance(p[first + 2]);
    const double ts = hs.present() ? hs.length : 0, te = he.present() ? he.length : 0;
    const double as = hs.present() ? hs.angle : 0, ae = he.present() ? he.angle : 0;
    // The bar wraps round the mandrel at every corner: three quarter turns,
    // and at the closing corner one hook bend for each hooked end; an end
    // without a hook stops square at that corner.
    const double closing_bends = (hs.present() ? 1 : 0) + (he.present() ? 1 : 0);
    out.exact_length = 2 * a_c + 2 * b_c - (6 + closing_bends) * R + ts + te +
                       R * (1.5 * std::numbers::pi + (as + ae) / 180.0 * std::numbers::pi);
    // A and B to the outside of the bar; C and D the hooks' end
    // projections, from the outside of the bar at the closing corner's bend
    // to the bar's end: the straight tail, the bend's inner radius and the
    // bar.
    const double to_outside = R + d / 2;
    out.A = ScheduledLength(a_c + d);
    out.B = ScheduledLength(b_c + d);
    if (hs.present()) out.C = ScheduledLength(ts + to_outside);
    if (he.present()) out.D = ScheduledLength(te + to_outside);
    if (hs.present() && he.present())
      out.shorter_tail = std::min(ts, te);
    else if (hooks)
      out.shorter_tail = std::max(ts, te);
    out.shorter_projection = out.shorter_tail > 0 ? out.shorter_tail + to_outside : 0;
    // A closed link with both hooks at one corner, of equal projections:
    // 51 for 90-degree hooks, 52 for 135-degree ones. Any other link is
    // drawn with its dimensions.
    const bool pair = hs.present() && he.present() && as == ae && out.C == out.D;
    if (pair && as == 90) {
      out.code = "51";
    } else if (pair && as == 135) {
      out.code = "52";
    } else if (!hooks) {
      out.code = "99";
      out.sketch = "closed loop without hooks";
    } else {
      out.code = "99";
      std::string angles = Deg(hs.present() ? as : ae);
      if (hs.present() && he.present() && as != ae) angles = Deg(as) + " and " + Deg(ae);
      out.sketch = "closed link, " + angles + " degree hooks";
    }
    return out;
  }
  if (shape.GetShapeType() != BendingShapeType::Stirrup &&
      shape.GetShapeType() != BendingShapeType::Mesh && p.size() == 4 && !hooks) {
    const HostGeo::Vector3D lower(p[0], p[1]), upper(p[2], p[3]);
    const double a = lower.GetLength(), b = p[1].GetDistance(p[2]), c = upper.GetLength();
    // A crank keeps its two legs parallel; any other four-point bar is not one.
    if (a > 0 && c > 0 && lower.Cross(upper).GetLength() <= 1e-6 * a * c && lower.Dot(upper) > 0) {
      // Lower leg, inclined part along its slope, upper leg, offset.
      out.code = "26";
      out.exact_length = a + b + c;
      out.A = ScheduledLength(a);
      out.B = ScheduledLength(b);
      out.C = ScheduledLength(c);
      out.crank_offset = PlanDistanceToLine(p[3], p[0], p[1]);
      out.crank_rise = HostGeo::Vector3D(p[1], p[2]).Dot(lower * (1.0 / a));
      // The offset overall: from the outside of the lower leg to the
      // outside of the upper one.
      out.D = ScheduledLength(out.crank_offset + d);
      return out;
    }
  }
  out.code = "99";
  out.sketch = shape.GetShapeType() == BendingShapeType::CrossTie
                   ? "cross-tie, 135 degree hooks round the bars it holds"
                   : std::string("bar of ") + HostReinf::ToString(shape.GetShapeType()) + " shape";
  out.exact_length = shape.GetPolylineLength();
  out.A = ScheduledLength(out.exact_length);
  return out;
}

namespace {

// Identity of a bar for marking: diameter, shape and scheduled dimensions.
using MarkKey = std::tuple<std::string, double, double, double, double, double, double, double>;

MarkKey KeyOf(const BarShape& s) {
  return {s.code, s.diameter, s.A, s.B, s.C, s.D, s.E, std::round(s.exact_length * 10) / 10};
}

double LowestZ(const HostReinf::BarPlacement& p) {
  double z = 1e300;
  for (const auto& pt : p.GetBendingShape().GetPolyline()) z = std::min(z, pt.Z());
  return z + (p.GetBarCount() ? p.GetBarTranslation(0).Z() : p.GetFromPoint().Z());
}

}  // namespace

Schedule BuildSchedule(const ExportInput& input) {
  Schedule out;
  struct Seen {
    BarShape shape;
    MarkEntry::Group group;
    std::size_t first;
  };
  std::map<MarkKey, std::size_t> index;  // key -> position in `seen`
  std::vector<Seen> seen;
  std::vector<std::vector<std::size_t>> seen_of_placement;
  std::size_t sequence = 0;
  for (const auto& cage : input.cages) {
    double bottom = 0;
    bool have_bottom = false;
    if (input.model && !cage.column_ids.empty()) {
      if (auto i = input.model->Find(cage.column_ids.front())) {
        bottom = input.model->GetElements()[*i].bottom;
        have_bottom = true;
      }
    }
    std::vector<std::size_t> per;
    for (const auto& placement : cage.placements) {
      const BarShape shape = DescribeShape(placement.GetBendingShape());
      MarkEntry::Group group = MarkEntry::Group::Standing;
      if (placement.GetBendingShape().GetShapeType() == BendingShapeType::Stirrup) {
        group = MarkEntry::Group::Stirrup;
      } else if (have_bottom && LowestZ(placement) > bottom + 1.0) {
        group = MarkEntry::Group::Starter;
      }
      const MarkKey key = KeyOf(shape);
      auto it = index.find(key);
      if (it == index.end()) {
        it = index.emplace(key, seen.size()).first;
        seen.push_back({shape, group, sequence});
      } else if (group < seen[it->second].group) {
        seen[it->second].group = group;
      }
      ++sequence;
      per.push_back(it->second);
    }
    seen_of_placement.push_back(std::move(per));
  }
  // Marks in a stable order: stirrups, standing bars, starters, each in the
  // order they were first created.
  std::vector<std::size_t> order(seen.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return std::tie(seen[a].group, seen[a].first) < std::tie(seen[b].group, seen[b].first);
  });
  std::vector<std::size_t> mark_of_seen(seen.size());
  for (std::size_t m = 0; m < order.size(); ++m) {
    const Seen& s = seen[order[m]];
    mark_of_seen[order[m]] = m;
    MarkEntry entry;
    entry.mark = Integer(m + 1);
    if (entry.mark.size() < 2) entry.mark.insert(0, 2 - entry.mark.size(), '0');
    entry.shape = s.shape;
    entry.group = s.group;
    entry.scheduled_length = ScheduledLength(FormulaLength(s.shape));
    entry.unit_mass = UnitMass(s.shape.diameter);
    out.marks.push_back(entry);
  }
  // Lines per cage and mark, in mark order.
  std::map<double, Schedule::DiameterTotal> totals;
  for (std::size_t c = 0; c < input.cages.size(); ++c) {
    const auto& cage = input.cages[c];
    std::vector<std::size_t> marks;
    std::map<std::size_t, ScheduleLine> lines;
    for (std::size_t p = 0; p < cage.placements.size(); ++p) {
      const std::size_t m = mark_of_seen[seen_of_placement[c][p]];
      marks.push_back(m);
      auto& line = lines[m];
      line.member = cage.name;
      line.mark = m;
      line.count += cage.placements[p].GetBarCount();
      line.spacing = std::max(line.spacing, ActualSpacing(cage.placements[p]));
    }
    out.placement_marks.push_back(std::move(marks));
    for (auto& [m, line] : lines) {
      const MarkEntry& e = out.marks[m];
      auto& t = totals[e.shape.diameter];
      t.diameter = e.shape.diameter;
      t.length_m += static_cast<double>(line.count) * e.scheduled_length / 1000.0;
      out.lines.push_back(line);
    }
  }
  for (auto& [d, t] : totals) {
    t.mass_kg = t.length_m * UnitMass(d);
    out.total_mass_kg += t.mass_kg;
    out.totals.push_back(t);
  }
  for (const auto& e : out.marks) {
    if (e.scheduled_length > 12000) {
      out.notes.push_back(
          "mark " + e.mark + ": " + Fixed(e.scheduled_length, 0) +
          " mm is longer than the 12 m stock length; it cannot be delivered in one piece");
    }
    const double least = geomkit::MinLinkEndProjection(e.shape.diameter);
    if (e.shape.shorter_projection > 0 && e.shape.shorter_projection < least - 0.05) {
      out.notes.push_back("mark " + e.mark + ": a hook's end projection of " +
                          Fixed(e.shape.shorter_projection, 1) + " mm is below the " +
                          Fixed(least, 0) + " mm least end projection for " +
                          Shortest(e.shape.diameter) + " mm links");
    }
    if (e.shape.code == "26" && e.shape.crank_offset > 0 &&
        e.shape.crank_rise < 6 * e.shape.crank_offset) {
      out.notes.push_back("mark " + e.mark + ": its crank of 1:" +
                          Fixed(e.shape.crank_rise / e.shape.crank_offset, 1) +
                          " is steeper than 1:6");
    }
  }
  return out;
}

std::vector<std::vector<std::size_t>> IdenticalCages(const ExportInput& input,
                                                     const Schedule& schedule) {
  using Lines = std::vector<std::pair<std::size_t, std::size_t>>;  // (mark, count)
  std::map<std::string, std::size_t> index_of;
  for (std::size_t c = 0; c < input.cages.size(); ++c) index_of.emplace(input.cages[c].name, c);
  std::vector<Lines> lines(input.cages.size());
  for (const auto& line : schedule.lines) {
    if (auto it = index_of.find(line.member); it != index_of.end()) {
      lines[it->second].emplace_back(line.mark, line.count);
    }
  }
  std::vector<std::vector<std::size_t>> groups;
  std::map<Lines, std::size_t> group_of;
  for (std::size_t c = 0; c < input.cages.size(); ++c) {
    auto [it, added] = group_of.emplace(lines[c], groups.size());
    if (added) groups.emplace_back();
    groups[it->second].push_back(c);
  }
  return groups;
}

std::vector<CageGroup> CageGroups(const ExportInput& input, const Schedule& schedule) {
  std::vector<CageGroup> out;
  for (const auto& identical : IdenticalCages(input, schedule)) {
    std::map<std::vector<double>, std::size_t> by_levels;
    for (std::size_t c : identical) {
      std::vector<double> levels;
      for (const auto& id : input.cages[c].column_ids) {
        if (!input.model) continue;
        if (const auto i = input.model->Find(id)) {
          levels.push_back(input.model->GetElements()[*i].bottom);
          levels.push_back(input.model->GetElements()[*i].top);
        }
      }
      auto [it, added] = by_levels.emplace(levels, out.size());
      if (added) out.push_back({"G" + Integer(out.size() + 1), {}, {}});
      out[it->second].cages.push_back(c);
    }
  }
  for (auto& group : out) {
    // The first member by name, cut short, and how many more.
    group.members = FirstCharacters(input.cages[group.cages.front()].name, 40);
    if (group.members.size() < input.cages[group.cages.front()].name.size()) group.members += "...";
    if (group.cages.size() > 1)
      group.members += " and " + Integer(group.cages.size() - 1) + " more";
  }
  return out;
}

}  // namespace pierhost

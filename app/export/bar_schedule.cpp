#include "app/export/bar_schedule.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <sstream>
#include <tuple>

namespace pierhost {

using HostGeo::Point3D;
using HostReinf::BendingShapeType;

double ScheduledLength(double exact_mm) {
  // Round up to 5 mm, after taking off floating-point noise.
  const double cleaned = std::round(exact_mm * 1000.0) / 1000.0;
  return std::ceil(cleaned / 5.0) * 5.0;
}

double UnitMass(double d) {
  // 7850 kg/m3 x pi d^2 / 4, printed with three decimals.
  return std::round(7850.0 * std::numbers::pi * d * d / 4.0 / 1e6 * 1000.0) / 1000.0;
}

std::string TypeAndSize(double d) {
  std::ostringstream s;
  s << "H" << d;
  return s.str();
}

namespace {

double PlanDistanceToLine(const Point3D& p, const Point3D& a, const Point3D& b) {
  // Distance from p to the line through a and b, in space.
  const HostGeo::Vector3D ab(a, b), ap(a, p);
  const double len = ab.GetLength();
  return len > 0 ? ab.Cross(ap).GetLength() / len : ap.GetLength();
}

std::string Deg(double a) {
  std::ostringstream s;
  s << a;
  return s.str();
}

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
    out.A = ScheduledLength(a_c + d);
    out.B = ScheduledLength(b_c + d);
    out.C = ScheduledLength(ts);
    out.D = ScheduledLength(te);
    if (hs.present() && he.present())
      out.shorter_tail = std::min(ts, te);
    else if (hooks)
      out.shorter_tail = std::max(ts, te);
    if (as == 90 && ae == 90) {
      out.code = "51";
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
      out.D = ScheduledLength(out.crank_offset);
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

double MinEndProjection(double d) {
  // Minimum end projections of links, by bar size.
  if (d <= 6) return 100;
  if (d <= 8) return 115;
  if (d <= 10) return 130;
  if (d <= 12) return 160;
  if (d <= 16) return 210;
  if (d <= 20) return 260;
  if (d <= 25) return 320;
  return 400;
}

std::string Fixed(double v, int decimals) {
  std::ostringstream s;
  s.setf(std::ios::fixed);
  s.precision(decimals);
  s << v;
  return s.str();
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
    std::ostringstream name;
    name.width(2);
    name.fill('0');
    name << m + 1;
    entry.mark = name.str();
    entry.shape = s.shape;
    entry.group = s.group;
    entry.scheduled_length = ScheduledLength(s.shape.exact_length);
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
      if (cage.placements[p].GetRule() == HostReinf::BarPlacement::Rule::Spacing) {
        line.spacing = line.spacing == 0
                           ? cage.placements[p].GetRuleValue()
                           : std::max(line.spacing, cage.placements[p].GetRuleValue());
      }
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
    if (e.shape.shorter_tail > 0 && e.shape.shorter_tail < MinEndProjection(e.shape.diameter)) {
      out.notes.push_back("mark " + e.mark + ": link tail of " + Fixed(e.shape.shorter_tail, 0) +
                          " mm is below the " + Fixed(MinEndProjection(e.shape.diameter), 0) +
                          " mm minimum end projection for " + Fixed(e.shape.diameter, 0) +
                          " mm links");
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

}  // namespace pierhost

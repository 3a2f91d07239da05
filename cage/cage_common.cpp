#include "cage/cage_common.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "common/geomkit.h"
#include "common/invariant.h"
#include "placement/pierplace.h"
#include "placement/placekit.h"
#include "shapes/shapekit.h"

namespace cage_common {

void MoveInto(Placements& to, Placements from) {
  to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

Placements CageList(Placements links, const Placements& ties, Placements longitudinal) {
  links.reserve(links.size() + ties.size() + longitudinal.size());
  links.insert(links.end(), ties.begin(), ties.end());
  MoveInto(links, std::move(longitudinal));
  return links;
}

using HostGeo::Point2D;
using HostGeo::Point3D;

namespace {
Point2D Plan(const Point3D& p) { return {p.Values()[0], p.Values()[1]}; }

std::string Num(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}
}  // namespace

PointList OrientGroup(const PointList& point_list, std::size_t s, bool& rotated) {
  if (point_list.size() < s + 8) {
    throw std::invalid_argument("a column needs 8 corner points from position " +
                                std::to_string(s) + "; the point list holds " +
                                std::to_string(point_list.size()));
  }
  const double a = HostGeo::CalcAngle(Plan(point_list[s]), Plan(point_list[s + 1])).GetDeg();
  const double r = RoundTo(std::abs(a), 1);
  rotated = 45 < r && r < 135;
  PointList group = rotated ? geomkit::Rotate(point_list, s)
                            : PointList(point_list.begin() + static_cast<std::ptrdiff_t>(s),
                                        point_list.begin() + static_cast<std::ptrdiff_t>(s) + 8);
  group = geomkit::Rearrange(group);
  // The cage is laid out with the section on the left of each side, as the
  // host lists corners. A list in the other sense is turned round: the same
  // corners counter-clockwise, from the one that makes the first edge point
  // the same way as before reversed, which gives the cage of the same column
  // listed counter-clockwise.
  double area2 = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const auto p = group[i].Values(), q = group[(i + 1) % 4].Values();
    area2 += p[0] * q[1] - q[0] * p[1];
  }
  if (area2 < 0)
    group = {group[1], group[0], group[3], group[2], group[5], group[4], group[7], group[6]};
  return group;
}

void CheckCornerList(const PointList& c, const std::string& what) {
  if (c.size() != 8) {
    throw std::invalid_argument(what + " needs 8 corner points, got " + std::to_string(c.size()));
  }
  for (std::size_t i = 0; i < 8; ++i) {
    if (!c[i].IsFinite()) {
      throw std::invalid_argument(what + ": corner " + std::to_string(i) +
                                  " is not a finite point");
    }
  }
  for (std::size_t i = 0; i < 4; ++i) {
    const std::size_t j = (i + 1) % 4;
    if (Plan(c[i]).GetDistance(Plan(c[j])) < 1e-6) {
      throw std::invalid_argument(what + ": corners " + std::to_string(i) + " and " +
                                  std::to_string(j) +
                                  " coincide in plan; the section has no width");
    }
  }
  // Opposite sides equal and corners square: a rectangle.
  for (std::size_t i = 0; i < 4; ++i) {
    const Point2D p = Plan(c[i]), q = Plan(c[(i + 1) % 4]), r = Plan(c[(i + 2) % 4]);
    const double ux = q.X() - p.X(), uy = q.Y() - p.Y(), vx = r.X() - q.X(), vy = r.Y() - q.Y();
    const double cosine = (ux * vx + uy * vy) / (std::hypot(ux, uy) * std::hypot(vx, vy));
    if (std::abs(cosine) > 1e-4) {
      throw std::invalid_argument(what + ": the section is not rectangular (the corner at point " +
                                  std::to_string((i + 1) % 4) + " is " +
                                  Num(std::acos(std::clamp(cosine, -1.0, 1.0)) * 180 / M_PI) +
                                  " degrees); the cage needs a rectangular column");
    }
  }
  if (!(c[7].Values()[2] > c[0].Values()[2])) {
    throw std::invalid_argument(what + ": its top (z = " + Num(c[7].Values()[2]) +
                                ") does not lie above its bottom (z = " + Num(c[0].Values()[2]) +
                                ")");
  }
}

Section Measure(const PointList& c) {
  Section s;
  s.Top = c[7].Values()[2];
  s.Bottom = c[0].Values()[2];
  s.Height = s.Top - s.Bottom;
  const double first = std::abs(c[0].GetDistance(c[1]));
  const double last = std::abs(c[3].GetDistance(c[0]));
  s.Width = std::min(first, last);
  s.Length = std::max(first, last);
  return s;
}

HostGeo::Angle PlanAngle(const PointList& point_list) {
  return HostGeo::CalcAngle(Plan(point_list[0]), Plan(point_list[1]));
}

int Direction(const PointList& point_list) {
  return point_list[0].Values()[0] > point_list[1].Values()[0] ? 1 : -1;
}

// ---------------------------------------------------------------------------

std::string Mm(double value) {
  const double r = std::round(value);
  if (std::abs(value - r) < 0.05) return Num(r);
  std::ostringstream s;
  s.setf(std::ios::fixed);
  s.precision(1);
  s << value;
  return s.str();
}

std::string DescribeColumn(const PointList& c) {
  const Section s = Measure(c);
  const double first = c[0].GetDistance(c[1]), second = c[1].GetDistance(c[2]);
  return Mm(first) + " x " + Mm(second) + " mm from z = " + Mm(s.Bottom) + " to " + Mm(s.Top);
}

// ---------------------------------------------------------------------------

void CopyMaterial(HostBaseElements::BuildingElement& p, CageValues& v) {
  v.Exposure = p["Exposure"].Text();
  v.Concr_Cover = p["Concr_Cover"].Number();
  v.Concr_Grade = static_cast<int>(p["Concr_Grade"].Integer());
}

void CopyBars(HostBaseElements::BuildingElement& p, CageValues& v) {
  v.Main_Diameter = p["Main_Diameter"].Number();
  v.Add_X_Number = static_cast<double>(p["Add_X_Number"].Integer());
  v.Add_X_Diameter = p["Add_X_Diameter"].Number();
  v.Add_Y_Number = static_cast<double>(p["Add_Y_Number"].Integer());
  v.Add_Y_Diameter = p["Add_Y_Diameter"].Number();
  v.Main_Stirrup_Diameter = p["Main_Stirrup_Diameter"].Number();
  v.Main_Stirrup_Spacing = p["Main_Stirrup_Spacing"].Number();
  v.Add_Stirrup_Top = p["Add_Stirrup_Top"].Switch();
  v.Add_Stirrup_Top_Length = p["Add_Stirrup_Top_Length"].Number();
  v.Add_Stirrup_Top_Spacing = p["Add_Stirrup_Top_Spacing"].Number();
  v.Add_Stirrup_Bot = p["Add_Stirrup_Bot"].Switch();
  v.Add_Stirrup_Bot_Length = p["Add_Stirrup_Bot_Length"].Number();
  v.Add_Stirrup_Bot_Spacing = p["Add_Stirrup_Bot_Spacing"].Number();
  // Palettes written before these values existed keep the code's defaults.
  if (p.Has("Aggregate_Size")) v.Aggregate_Size = p["Aggregate_Size"].Number();
  if (p.Has("Cross_Ties")) v.Cross_Ties = p["Cross_Ties"].Switch();
  if (p.Has("Restraint_Distance")) v.Restraint_Distance = p["Restraint_Distance"].Number();
  v.concrete_cover_props = HostReinf::ConcreteCoverProperties::all(v.Concr_Cover);
}

double BendingRoller(double diameter) { return geomkit::MandrelFactor(diameter); }

// ---------------------------------------------------------------------------

namespace {
Point2D Add(const Point2D& a, const Point2D& b) { return {a.X() + b.X(), a.Y() + b.Y()}; }
Point2D Scale(const Point2D& a, double k) { return {a.X() * k, a.Y() * k}; }
Point2D Sub(const Point2D& a, const Point2D& b) { return {a.X() - b.X(), a.Y() - b.Y()}; }
double Dot2(const Point2D& a, const Point2D& b) { return a.X() * b.X() + a.Y() * b.Y(); }
Point2D Unit(const Point2D& from, const Point2D& to) {
  const Point2D d = Sub(to, from);
  return Scale(d, 1 / std::sqrt(Dot2(d, d)));
}
}  // namespace

Point2D SectionLayout::CornerBar(std::size_t k) const {
  // Along the face leaving the corner and along the one arriving at it.
  const Point2D a = Along(k), b = Inward(k);
  return Add(corners[k], Add(Scale(a, corner_inset), Scale(b, corner_inset)));
}
Point2D SectionLayout::SideBar(std::size_t f, std::size_t j) const {
  const FaceBars& face = faces[f];
  return Add(corners[f], Add(Scale(Along(f), face.along.at(j)), Scale(Inward(f), face.depth)));
}
Point2D SectionLayout::Diagonal(std::size_t k) const {
  const Point2D d = Add(Along(k), Inward(k));
  return Scale(d, 1 / std::hypot(d.X(), d.Y()));
}

SectionLayout LayoutSection(const PointList& c, const SectionBars& b) {
  SectionLayout out;
  for (std::size_t k = 0; k < 4; ++k) out.corners[k] = Plan(c[k]);
  for (std::size_t f = 0; f < 4; ++f) {
    out.lengths[f] = out.corners[f].GetDistance(out.corners[(f + 1) % 4]);
    out.along[f] = Unit(out.corners[f], out.corners[(f + 1) % 4]);
    // Corners run counter-clockwise: the section lies on the left of a face.
    out.inward[f] = {-out.along[f].Y(), out.along[f].X()};
  }
  out.corner_inset = geomkit::CornerBarInset(b.cover, b.link_diameter, b.Main_Diameter);
  out.corner_diameter = b.Main_Diameter;
  const double o = b.cover + b.link_diameter + b.Main_Diameter;
  for (std::size_t f = 0; f < 4; ++f) {
    const bool x = f % 2 == 0;
    const double d = x ? b.Add_X_Diameter : b.Add_Y_Diameter;
    const auto n = static_cast<std::size_t>(std::max(0.0, x ? b.Add_X_Number : b.Add_Y_Number));
    FaceBars& face = out.faces[f];
    face.diameter = d;
    face.depth = b.cover + b.link_diameter + d / 2;
    const double side = out.FaceLength(f);
    for (std::size_t j = 0; j < n; ++j) {
      face.along.push_back(o + static_cast<double>(j + 1) * (side - 2 * o) /
                                   static_cast<double>(n + 1));
    }
  }
  return out;
}

// ---------------------------------------------------------------------------

std::vector<LinkRun> LayoutLinks(double first, double last, double main_spacing,
                                 const std::vector<LinkZone>& zones) {
  constexpr double kTol = 1e-6;
  if (!(last - first > kTol)) return {{first, first, 1, 0}};
  struct Stretch {
    double a, b, s;
    double Length() const { return b - a; }
  };
  // Every zone boundary inside the column is a break; between breaks the
  // densest zone that covers the stretch applies.
  std::vector<double> breaks{first, last};
  for (const auto& z : zones) {
    for (double at : {z.lo, z.hi}) {
      if (at > first + kTol && at < last - kTol) breaks.push_back(at);
    }
  }
  std::sort(breaks.begin(), breaks.end());
  std::vector<Stretch> parts;
  for (std::size_t i = 0; i + 1 < breaks.size(); ++i) {
    const double a = breaks[i], b = breaks[i + 1];
    if (b - a <= kTol) continue;
    const double mid = (a + b) / 2;
    double s = main_spacing;
    for (const auto& z : zones) {
      if (z.lo <= mid && mid <= z.hi) s = std::min(s, z.spacing);
    }
    if (!parts.empty() && parts.back().s == s) {
      parts.back().b = b;
    } else {
      parts.push_back({a, b, s});
    }
  }
  // A stretch shorter than its own pitch would bring two links closer than
  // any zone asks for. A dense one grows into a sparser neighbour (a denser
  // zone is never wrong); a sparse one joins its denser neighbour.
  for (bool changed = true; changed && parts.size() > 1;) {
    changed = false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      Stretch& p = parts[i];
      if (p.Length() >= p.s - kTol) continue;
      Stretch* prev = i > 0 ? &parts[i - 1] : nullptr;
      Stretch* next = i + 1 < parts.size() ? &parts[i + 1] : nullptr;
      Stretch* sparser = nullptr;
      if (prev && prev->s > p.s) sparser = prev;
      if (next && next->s > p.s && (!sparser || next->s > sparser->s)) sparser = next;
      if (sparser && sparser->Length() > p.s - p.Length() + kTol) {
        const double grow = p.s - p.Length();
        if (sparser == next) {
          p.b += grow;
          next->a = p.b;
        } else {
          p.a -= grow;
          prev->b = p.a;
        }
      } else {
        // Join the denser neighbour (or the only one).
        Stretch* other = !prev ? next : !next ? prev : (prev->s <= next->s ? prev : next);
        other->a = std::min(other->a, p.a);
        other->b = std::max(other->b, p.b);
        other->s = std::min(other->s, p.s);
        parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(i));
      }
      changed = true;
      break;
    }
    // Neighbours that ended up alike are one stretch.
    for (std::size_t i = 1; i < parts.size(); ++i) {
      if (parts[i].s == parts[i - 1].s) {
        parts[i - 1].b = parts[i].b;
        parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(i));
        changed = true;
        break;
      }
    }
  }
  std::vector<LinkRun> runs;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const Stretch& p = parts[i];
    geomkit::Invariant(std::abs(p.a - (i == 0 ? first : parts[i - 1].b)) <= kTol,
                       "the link stretches run on from one another");
    const int gaps = std::max(1, static_cast<int>(std::ceil(p.Length() / p.s - 1e-9)));
    const double pitch = p.Length() / gaps;
    geomkit::Invariant(pitch > 0 && pitch <= p.s + kTol, "a link stretch keeps within its spacing");
    if (i == 0) {
      runs.push_back({p.a, p.b, gaps + 1, pitch});
    } else {
      runs.push_back({p.a + pitch, p.b, gaps, pitch});
    }
  }
  geomkit::Invariant(!parts.empty() && std::abs(parts.back().b - last) <= kTol,
                     "the link stretches end at the last link");
  return runs;
}

StirrupZones ZonesOf(CageValues& v, const PointList& c, HostGeo::Angle angle,
                     std::vector<LinkZone> laps, double hook_room) {
  return {
      .Width = c[0].GetDistance(c[1]),
      .Height = c[1].GetDistance(c[2]),
      .steel_grade = v.steel_grade,
      .concrete_cover_props = v.concrete_cover_props,
      .Concr_Cover = v.Concr_Cover,
      .Concr_Grade = v.Concr_Grade,
      .Main_Diameter = v.Main_Diameter,
      .Main_Stirrup_Diameter = v.Main_Stirrup_Diameter,
      .Main_Stirrup_Spacing = v.Main_Stirrup_Spacing,
      .Add_Stirrup_Top = v.Add_Stirrup_Top,
      .Add_Stirrup_Top_Length = v.Add_Stirrup_Top_Length,
      .Add_Stirrup_Top_Spacing = v.Add_Stirrup_Top_Spacing,
      .Add_Stirrup_Bot = v.Add_Stirrup_Bot,
      .Add_Stirrup_Bot_Length = v.Add_Stirrup_Bot_Length,
      .Add_Stirrup_Bot_Spacing = v.Add_Stirrup_Bot_Spacing,
      .bottom_point = c[0],
      .top_point = c[4],
      .angle = angle,
      .laps = std::move(laps),
      .hook_room = hook_room,
  };
}

std::vector<LinkRun> StirrupLevels(const StirrupZones& z) {
  const double bottom = z.bottom_point.Values()[2], top = z.top_point.Values()[2];
  const double half = z.Main_Stirrup_Diameter / 2;
  std::vector<LinkZone> zones = z.laps;
  if (z.Add_Stirrup_Top) {
    zones.push_back({top - z.Add_Stirrup_Top_Length, top, z.Add_Stirrup_Top_Spacing});
  } else {
    z.Add_Stirrup_Top_Length = 0;
  }
  if (z.Add_Stirrup_Bot) {
    zones.push_back({bottom, bottom + z.Add_Stirrup_Bot_Length, z.Add_Stirrup_Bot_Spacing});
  } else {
    z.Add_Stirrup_Bot_Length = 0;
  }
  // The first and the last link keep the cover from the column's ends.
  return LayoutLinks(bottom + z.Concr_Cover + half, top - z.Concr_Cover - half,
                     z.Main_Stirrup_Spacing, zones);
}

double MinHookTail(double link_diameter) { return std::max(5 * link_diameter, 50.0); }

double LinkHookRoom(const SectionLayout& l, double ds, double Main_Diameter,
                    const std::vector<std::pair<Point2D, double>>& extra) {
  if (Main_Diameter > 16) return 1e300;  // 90-degree hooks
  const double ri = geomkit::InnerBendRadius(ds), R = ri + ds / 2;
  const Point2D x = l.Along(0), y = l.Inward(0);
  const double inner = l.faces[0].depth - l.faces[0].diameter / 2;  // cover + link
  const Point2D centre = Add(l.corners[0], Add(Scale(x, inner + ri), Scale(y, inner + ri)));
  const Point2D dir = Scale(Add(x, y), 1 / std::numbers::sqrt2);
  const double h = R / std::numbers::sqrt2;
  std::vector<std::pair<Point2D, double>> bars = extra;
  for (std::size_t k = 1; k < 4; ++k) bars.push_back({l.CornerBar(k), l.corner_diameter});
  for (std::size_t f = 0; f < 4; ++f) {
    for (std::size_t j = 0; j < l.faces[f].along.size(); ++j) {
      bars.push_back({l.SideBar(f, j), l.faces[f].diameter});
    }
  }
  double room = 1e300;
  // The two tails leave the bend on either side of the diagonal.
  for (const Point2D& start :
       {Add(centre, Sub(Scale(x, h), Scale(y, h))), Add(centre, Sub(Scale(y, h), Scale(x, h)))}) {
    for (const auto& [p, d] : bars) {
      const double need = (d + ds) / 2;
      const Point2D rel = Sub(p, start);
      const double along = Dot2(rel, dir);
      const double h2 = Dot2(rel, rel) - along * along;
      if (h2 >= need * need - 1e-9 || along + need < 0) continue;
      room = std::min(room, std::max(0.0, along - std::sqrt(need * need - h2)));
    }
  }
  return room;
}

Placements BuildStirrups(const StirrupZones& z, const std::vector<LinkRun>& runs) {
  Placements result;
  // Every hook gets the tail that gives the least end projection a bar
  // schedule allows for a link (ten diameters and 90 mm of straight, the
  // projection rounded up to 5 mm), so that the link is bent as scheduled.
  // 135-degree hooks where the bars next to the corner leave that much room
  // on the diagonal; elsewhere hooks of 90 degrees, whose tails lie along
  // the legs.
  const double Hook_length = geomkit::MinLinkTail(z.Main_Stirrup_Diameter);
  const bool bent_back = z.Main_Diameter <= 16 &&
                         z.hook_room >= std::max(Hook_length, MinHookTail(z.Main_Stirrup_Diameter));
  const double Hook_angle = bent_back ? 135 : 90;
  const double free = z.Concr_Cover + z.Main_Stirrup_Diameter / 2;
  const double bottom = z.bottom_point.Values()[2];
  for (const auto& run : runs) {
    // The placement's line runs from the cover below the run's first link
    // to the cover above its last, so that its links stand at the run's
    // levels; a hair over the pitch keeps the host at the run's gaps.
    const auto placed = placekit::Close_Stirrup({
        .bending_roller = BendingRoller(z.Main_Stirrup_Diameter),
        .steel_grade = z.steel_grade,
        .concrete_cover_props = z.concrete_cover_props,
        .Concr_Cover = z.Concr_Cover,
        .Concr_Grade = z.Concr_Grade,
        .Spacing = run.count > 1 ? run.pitch * (1 + 1e-9) : 1.0,
        .point1 = geomkit::Offset_z(z.bottom_point, run.first - free - bottom),
        .point2 = geomkit::Offset_z(z.bottom_point, run.last + free - bottom),
        .diameter = z.Main_Stirrup_Diameter,
        .Width = z.Width,
        .Height = z.Height,
        .rotation = HostGeo::RotationAngles(0, 0, z.angle.GetDeg()),
        .Concr_Bottom = z.Concr_Cover,
        .Concr_Top = z.Concr_Cover,
        .Hook_Length = Hook_length,
        .Hook_Angle = Hook_angle,
    });
    result.insert(result.end(), placed.begin(), placed.end());
  }
  return result;
}

// ---------------------------------------------------------------------------

namespace {

// The bars along face f, corner bars included, as plan points in order.
std::vector<Point2D> BarsAlongFace(const SectionLayout& l, std::size_t f) {
  std::vector<Point2D> out{l.CornerBar(f)};
  for (std::size_t j = 0; j < l.faces[f].along.size(); ++j) out.push_back(l.SideBar(f, j));
  out.push_back(l.CornerBar((f + 1) % 4));
  return out;
}

}  // namespace

std::vector<std::size_t> BarsToRestrain(const SectionLayout& l, std::size_t face, double limit) {
  const auto bars = BarsAlongFace(l, face);
  const std::size_t n = bars.size() - 2;  // side bars: 1..n
  std::vector<std::size_t> held;
  std::size_t last = 0;  // the last restrained bar so far
  for (std::size_t i = 1; i <= n; ++i) {
    if (bars[i].GetDistance(bars[last]) <= limit + 1e-9) continue;
    // Nearer the far corner than the limit: so are all after it.
    if (bars[i].GetDistance(bars[n + 1]) <= limit + 1e-9) break;
    // Hold the farthest bar that still reaches back to this one.
    std::size_t j = i;
    while (j + 1 <= n && bars[j + 1].GetDistance(bars[i]) <= limit + 1e-9) ++j;
    held.push_back(j - 1);
    last = j;
  }
  return held;
}

std::vector<Unrestrained> UnrestrainedBars(const SectionLayout& l, double limit) {
  std::vector<Unrestrained> out;
  for (std::size_t f = 0; f < 4; ++f) {
    const auto bars = BarsAlongFace(l, f);
    for (std::size_t i = 1; i + 1 < bars.size(); ++i) {
      const double d =
          std::min(bars[i].GetDistance(bars.front()), bars[i].GetDistance(bars.back()));
      if (d > limit + 1e-9) out.push_back({f, i - 1, d});
    }
  }
  return out;
}

namespace {

struct TieLine {
  std::size_t face;  // 0 (across the X faces) or 1 (across the Y faces)
  std::size_t index;
};

// What every tie of a cage is laid out against: the section, the tie's
// diameter and bend, and the section's bars where the layout puts them.
struct TieSetting {
  TieSetting(const SectionLayout& l, double tie_diameter)
      : layout(l), dt(tie_diameter), R(geomkit::InnerBendRadius(tie_diameter) + tie_diameter / 2) {
    for (std::size_t k = 0; k < 4; ++k) section.push_back({l.CornerBar(k), l.corner_diameter});
    for (std::size_t f = 0; f < 4; ++f) {
      for (std::size_t j = 0; j < l.faces[f].along.size(); ++j) {
        section.push_back({l.SideBar(f, j), l.faces[f].diameter});
      }
    }
  }
  const SectionLayout& layout;
  double dt;
  double R;  // the centreline radius of the tie's bends
  std::vector<std::pair<Point2D, double>> section;
};

// One tie: round bar `a` on face `face` and bar `b` on the opposite face
// (each held in the tie's bend on its face side); `side` (+1 or -1) picks
// which side of the bars the tie's leg passes, so that hooks swap from level
// to level. `others` are the places (along the face) of the bars the other
// ties across the same faces hold; `extra` further bars to keep clear of.
struct TieRequest {
  std::size_t face;
  Point2D a;
  double da;
  Point2D b;
  double db;
  int side;
  const std::vector<double>& others;
  const std::vector<std::pair<Point2D, double>>& extra;
};

struct TieGeometry {
  std::vector<Point2D> path;  // tail, bend corners, leg, bend corners, tail
};

// The tie's plan polyline. Its tails run back into the section at 45
// degrees, 10 diameters where there is room: short of the middle (so that
// the two never meet), inside the links and clear of every other bar and
// tie.
TieGeometry TiePath(const TieSetting& s, const TieRequest& t) {
  const SectionLayout& l = s.layout;
  const double dt = s.dt, R = s.R, ri = R - dt / 2;
  const std::size_t f = t.face;
  const Point2D u = l.Inward(f);
  const Point2D v = Scale(l.Along(f), t.side);
  // Each bar sits in the bend, touching it on the face side.
  const Point2D ca = Add(t.a, Scale(u, std::max(0.0, ri - t.da / 2)));
  const Point2D cb = Sub(t.b, Scale(u, std::max(0.0, ri - t.db / 2)));
  const double t45 = std::numbers::sqrt2 - 1;  // tan 22.5 degrees
  const Point2D k1a = Add(ca, Add(Scale(u, -R), Scale(v, R)));
  const Point2D k2a = Add(ca, Add(Scale(u, -R), Scale(v, -t45 * R)));
  const Point2D k1b = Add(cb, Add(Scale(u, R), Scale(v, R)));
  const Point2D k2b = Add(cb, Add(Scale(u, R), Scale(v, -t45 * R)));
  const Point2D dir_a = Scale(Sub(u, v), 1 / std::numbers::sqrt2);
  const Point2D dir_b = Scale(Sub(Scale(u, -1), v), 1 / std::numbers::sqrt2);
  const double across = l.FaceLength((f + 1) % 4);
  const double mid = across / 2 - dt / 2;
  const Point2D along_f = l.Along(f);
  // How far a tail may run from `from` along the unit direction `dir`
  // before it comes within reach of a bar (but those the tie holds), leaves
  // the box the links enclose, passes `mid_depth` from face f or comes
  // within a tie's diameter of the leg of another tie across the same faces.
  const auto room_from = [&](const Point2D& from, const Point2D& dir, double mid_depth) {
    double room = 1e300;
    for (std::size_t h = 0; h < 4; ++h) {
      const double inner = l.faces[h].depth - l.faces[h].diameter / 2 + dt / 2;
      const double depth = Dot2(Sub(from, l.corners[h]), l.Inward(h));
      const double rate = Dot2(dir, l.Inward(h));
      if (rate < -1e-12) room = std::min(room, (depth - inner) / -rate);
      if (h == f && rate > 1e-12) room = std::min(room, (mid_depth - depth) / rate);
    }
    const auto clear_of = [&](const Point2D& p, double d) {
      for (const Point2D* held : {&t.a, &t.b}) {
        const Point2D gap = Sub(*held, p);
        if (Dot2(gap, gap) < 1e-18) return;
      }
      const double need = (d + dt) / 2;
      const Point2D rel = Sub(p, from);
      const double along = Dot2(rel, dir);
      const double h2 = Dot2(rel, rel) - along * along;
      if (h2 >= need * need || along + need < 0) return;
      room = std::min(room, along - std::sqrt(need * need - h2));
    };
    for (const auto& [p, d] : s.section) clear_of(p, d);
    for (const auto& [p, d] : t.extra) clear_of(p, d);
    const double al = Dot2(Sub(from, l.corners[f]), along_f);
    const double rate = Dot2(dir, along_f);
    for (double q : t.others) {
      const double body = q + t.side * R;
      if (std::abs(rate) < 1e-12 || (body - al) * rate <= 0) continue;
      const double target = body - (rate > 0 ? dt : -dt);
      room = std::min(room, (target - al) / rate);
    }
    return std::max(0.0, room);
  };
  const auto tail = [&](const Point2D& k2, const Point2D& dir, double mid_depth) {
    // The room is measured from the arc's end, t45 R beyond the corner.
    const Point2D start = Add(k2, Scale(dir, t45 * R));
    return std::clamp(room_from(start, dir, mid_depth), 0.0, 10 * dt);
  };
  const double length = std::min(tail(k2a, dir_a, mid), tail(k2b, dir_b, across - mid));
  const Point2D ta = Add(k2a, Scale(dir_a, length + t45 * R));
  const Point2D tb = Add(k2b, Scale(dir_b, length + t45 * R));
  return {{ta, k2a, k1a, k1b, k2b, tb}};
}

// A polyline whose corners are rounded with radius r, as the bar is bent:
// its straight pieces and arcs, for distances in plan.
class RoundedPath {
 public:
  RoundedPath(const std::vector<Point2D>& path, double r) : r_(r) {
    const std::size_t n = path.size();
    arcs_.reserve(n);
    lines_.reserve(n);
    Point2D start = path.front();  // where the current straight piece starts
    for (std::size_t i = 1; i + 1 < n; ++i) {
      const Point2D in = Unit(path[i - 1], path[i]), out = Unit(path[i], path[i + 1]);
      const double c = std::clamp(Dot2(in, out), -1.0, 1.0);  // the cosine of the turn
      if (c > 1 - 1e-15) continue;
      // tan and cos of half the turn, from its cosine.
      const double t = r * std::sqrt((1 - c) / std::max(1 + c, 1e-300));
      const double half_cos = std::sqrt((1 + c) / 2);
      const Point2D arc_a = Sub(path[i], Scale(in, t)), arc_b = Add(path[i], Scale(out, t));
      const Point2D bend = Sub(out, in);
      const Point2D inward = Scale(bend, 1 / std::sqrt(Dot2(bend, bend)));
      lines_.push_back({start, arc_a});
      arcs_.push_back({Add(path[i], Scale(inward, r / std::max(half_cos, 1e-300))), arc_a, arc_b});
      start = arc_b;
    }
    lines_.push_back({start, path.back()});
  }

  double Distance(const Point2D& p) const {
    double best2 = 1e300;
    for (const auto& [s, e] : lines_) {
      const Point2D se = Sub(e, s);
      const double len2 = Dot2(se, se);
      const double t = len2 > 0 ? std::clamp(Dot2(Sub(p, s), se) / len2, 0.0, 1.0) : 0.0;
      const Point2D gap = Sub(p, Add(s, Scale(se, t)));
      best2 = std::min(best2, Dot2(gap, gap));
    }
    double best = std::sqrt(best2);
    for (const auto& arc : arcs_) {
      const Point2D ca = Sub(arc.a, arc.centre), cb = Sub(arc.b, arc.centre);
      const Point2D cp = Sub(p, arc.centre);
      // p's direction lies between those of the arc's ends.
      const double cross_ab = ca.X() * cb.Y() - ca.Y() * cb.X();
      const double cross_ap = ca.X() * cp.Y() - ca.Y() * cp.X();
      const double cross_pb = cp.X() * cb.Y() - cp.Y() * cb.X();
      const bool within =
          cross_ab >= 0 ? (cross_ap >= 0 && cross_pb >= 0) : (cross_ap <= 0 && cross_pb <= 0);
      if (within) best = std::min(best, std::abs(std::sqrt(Dot2(cp, cp)) - r_));
    }
    return best;
  }

 private:
  struct Arc {
    Point2D centre, a, b;
  };
  double r_;
  std::vector<Arc> arcs_;
  std::vector<std::pair<Point2D, Point2D>> lines_;
};

// Whether the tie, as bent, keeps clear of the bars in `extra`.
bool TieClear(const TieGeometry& g, const TieSetting& s,
              const std::vector<std::pair<Point2D, double>>& extra) {
  if (extra.empty()) return true;
  const double dt = s.dt;
  const RoundedPath rounded(g.path, s.R);
  for (const auto& [p, d] : extra) {
    if (rounded.Distance(p) < (d + dt) / 2 - 1e-6) return false;
  }
  return true;
}

std::vector<TieLine> TieLines(const SectionLayout& l, double limit) {
  std::vector<TieLine> out;
  for (std::size_t f : {0u, 1u}) {
    for (std::size_t j : BarsToRestrain(l, f, limit)) out.push_back({f, j});
  }
  return out;
}

// How many ties lie above and below the link at level i of n: across the
// X faces just above it and across the Y faces just below, except at the
// lowest level (both above) and the highest (both below).
struct TieStack {
  int above = 0;
  int below = 0;
};
TieStack StackAt(std::size_t i, std::size_t n, bool x, bool y) {
  const int xs = x ? 1 : 0, ys = y ? 1 : 0;
  if (i == 0) return {xs + ys, 0};
  if (i + 1 == n) return {0, xs + ys};
  return {xs, ys};
}

// The vertical offset from its link of a tie across the faces `face`.
double TieOffset(std::size_t face, std::size_t i, std::size_t n, bool x, bool y, double ds,
                 double dt) {
  const double near = ds / 2 + dt / 2;
  const bool bottom = i == 0, top = i + 1 == n && n > 1;
  if (face == 0) return top ? -(near + (y ? dt : 0)) : near;
  if (bottom) return near + (x ? dt : 0);
  return -near;
}

}  // namespace

namespace {

// A bar's plan position where it passes level z, if it does; a bar that ends
// within `reach` of z counts at its end. `bottom` and `top` are its extent.
std::optional<Point2D> PlanAt(const std::vector<Point3D>& bar, double z, double reach,
                              double bottom, double top) {
  if (z < bottom - reach || z > top + reach) return std::nullopt;
  z = std::clamp(z, bottom, top);
  for (std::size_t i = 1; i < bar.size(); ++i) {
    const Point3D &p = bar[i - 1], &q = bar[i];
    const double lo = std::min(p.Z(), q.Z()), hi = std::max(p.Z(), q.Z());
    if (z < lo - 1e-9 || z > hi + 1e-9 || hi - lo < 1e-9) continue;
    const double t = (z - p.Z()) / (q.Z() - p.Z());
    return Point2D{p.X() + t * (q.X() - p.X()), p.Y() + t * (q.Y() - p.Y())};
  }
  return std::nullopt;
}

}  // namespace

CrossTieResult CrossTies(const CrossTieArgs& a) {
  CrossTieResult out;
  const auto lines = TieLines(a.layout, a.limit);
  if (lines.empty()) return out;
  const bool x_ties = std::any_of(lines.begin(), lines.end(), [](auto& t) { return t.face == 0; });
  const bool y_ties = std::any_of(lines.begin(), lines.end(), [](auto& t) { return t.face == 1; });
  const double dt = a.link_diameter, ds = a.link_diameter;
  std::vector<double> levels;
  for (const auto& run : a.runs) {
    for (int k = 0; k < run.count; ++k) levels.push_back(run.first + k * run.pitch);
  }
  const auto props = HostReinf::ReinforcementShapeProperties::rebar(
      dt, BendingRoller(dt), a.steel_grade, a.Concr_Grade, HostReinf::BendingShapeType::CrossTie);
  const Point2D origin = a.layout.corners[0];
  // Ties of one shape at evenly spaced levels make one placement.
  struct Group {
    std::vector<Point2D> path;
    std::vector<double> z;
  };
  std::vector<Group> groups;
  // The group of the tie of this shape, new if there is none yet.
  const auto group_of = [&](std::vector<Point2D> path) {
    for (std::size_t k = 0; k < groups.size(); ++k) {
      const auto& g = groups[k].path;
      if (g.size() != path.size()) continue;
      bool same = true;
      for (std::size_t i = 0; i < path.size() && same; ++i) {
        const Point2D gap = Sub(g[i], path[i]);
        same = Dot2(gap, gap) < 1e-12;
      }
      if (same) return k;
    }
    groups.push_back({std::move(path), {}});
    return groups.size() - 1;
  };
  // Most levels see the same bars as the level two below (the same side of
  // the alternation): their ties are the same and are worked out once. What
  // a level sees is told by which straight piece of each bar meets the tie;
  // where a piece is inclined (a crank), the level is worked out anew.
  struct Piece {
    double lo, hi;
    bool upright;
    Point2D at;  // where an upright piece stands
  };
  std::vector<std::vector<Piece>> pieces;
  std::vector<std::pair<double, double>> extent;
  for (const auto& [bar, bar_d] : a.bars) {
    std::vector<Piece> ps;
    double lo = 1e300, hi = -1e300;
    for (std::size_t k = 0; k < bar.size(); ++k) {
      lo = std::min(lo, bar[k].Z());
      hi = std::max(hi, bar[k].Z());
      if (k == 0) continue;
      const Point3D &p = bar[k - 1], &q = bar[k];
      ps.push_back({std::min(p.Z(), q.Z()), std::max(p.Z(), q.Z()),
                    p.X() == q.X() && p.Y() == q.Y(), Point2D{p.X(), p.Y()}});
    }
    pieces.push_back(std::move(ps));
    extent.push_back({lo, hi});
  }
  // Only bars within reach of a tie line matter to the ties across a pair
  // of faces: those whose place along the faces comes within the band the
  // ties' legs, bends and tails take.
  const TieSetting setting(a.layout, dt);
  const double R = setting.R;
  const double band =
      std::max(R, (std::numbers::sqrt2 - 1) * R + (10 * dt + R) / std::numbers::sqrt2) + dt / 2;
  std::array<std::vector<std::size_t>, 2> relevant;
  for (std::size_t f : {0u, 1u}) {
    double lo = 1e300, hi = -1e300;
    for (const auto& line : lines) {
      if (line.face != f) continue;
      lo = std::min(lo, a.layout.faces[f].along[line.index]);
      hi = std::max(hi, a.layout.faces[f].along[line.index]);
    }
    for (std::size_t k = 0; k < a.bars.size(); ++k) {
      double first = 1e300, last = -1e300;
      for (const auto& p : a.bars[k].first) {
        const double at = Dot2(Sub(Point2D{p.X(), p.Y()}, a.layout.corners[f]), a.layout.Along(f));
        first = std::min(first, at);
        last = std::max(last, at);
      }
      const double reach = band + a.bars[k].second / 2 + a.layout.faces[f].diameter;
      if (last >= lo - reach && first <= hi + reach) relevant[f].push_back(k);
    }
  }
  const HostGeo::RotationAngles unturned(0, 0, 0);
  struct Seen {
    std::vector<int> key;
    std::size_t group = 0;
    bool clear = true;
    bool valid = false;
  };
  std::vector<std::array<Seen, 2>> seen(lines.size());
  // Ties worked out so far, per line: between which bars, on which side,
  // past which bars nearby.
  struct Known {
    int side;
    Point2D a, b;
    std::vector<std::pair<Point2D, double>> near;
    std::size_t group;
    bool clear;
  };
  std::vector<std::vector<Known>> known_of(lines.size());
  const auto same_place = [](const Point2D& x, const Point2D& y) {
    return x.X() == y.X() && x.Y() == y.Y();
  };
  // The places along their faces of the bars the other ties across the
  // same faces hold, per line.
  std::vector<std::vector<double>> others_of(lines.size());
  for (std::size_t li = 0; li < lines.size(); ++li) {
    for (const auto& o : lines) {
      if (o.face == lines[li].face && o.index != lines[li].index)
        others_of[li].push_back(a.layout.faces[o.face].along[o.index]);
    }
  }
  std::vector<std::pair<Point2D, double>> others_here;
  std::array<std::vector<std::pair<Point2D, double>>, 2> low_of, high_of;
  std::array<std::vector<int>, 2> key_of;
  std::array<bool, 2> moving{}, worked{};
  for (std::size_t i = 0; i < levels.size(); ++i) {
    // Which piece of each bar meets the ties across each pair of faces
    // through their thickness: a bar counts where it passes both faces of the
    // tie, or ends within a tie's diameter of them (then at its end).
    for (std::size_t f : {0u, 1u}) {
      const double level = levels[i] + TieOffset(f, i, levels.size(), x_ties, y_ties, ds, dt);
      key_of[f].clear();
      moving[f] = false;
      worked[f] = false;
      for (std::size_t k : relevant[f]) {
        if (level < extent[k].first - dt / 2 || level > extent[k].second + dt / 2) continue;
        const double lo = std::max(level - dt / 2, extent[k].first);
        const double hi = std::min(level + dt / 2, extent[k].second);
        for (std::size_t j = 0; j < pieces[k].size(); ++j) {
          const Piece& piece = pieces[k][j];
          if (hi < piece.lo || lo > piece.hi) continue;
          key_of[f].push_back(static_cast<int>(k * 8 + j));
          moving[f] = moving[f] || !piece.upright;
        }
      }
    }
    // Where every bar stands through the tie's thickness, worked out only
    // where a tie is: an inclined bar moves within it, so each counts at the
    // tie's lower and upper face.
    const auto positions = [&](std::size_t f, double level) {
      if (worked[f]) return;
      worked[f] = true;
      low_of[f].clear();
      high_of[f].clear();
      for (std::size_t k : relevant[f]) {
        if (level < extent[k].first - dt / 2 || level > extent[k].second + dt / 2) continue;
        const auto& [bar, bar_d] = a.bars[k];
        const auto [lo, hi] = extent[k];
        if (level - dt / 2 < lo || level + dt / 2 > hi) {
          // Near an end the bar counts at its end.
          const auto p = PlanAt(bar, level - dt / 2, dt, lo, hi);
          const auto q = PlanAt(bar, level + dt / 2, dt, lo, hi);
          if (p && q) {
            low_of[f].push_back({*p, bar_d});
            high_of[f].push_back({*q, bar_d});
          }
          continue;
        }
        // Within one upright piece: one place through the tie's thickness.
        const Piece* within = nullptr;
        for (const auto& piece : pieces[k]) {
          if (piece.upright && piece.lo <= level - dt / 2 && piece.hi >= level + dt / 2) {
            within = &piece;
            break;
          }
        }
        if (within) {
          low_of[f].push_back({within->at, bar_d});
          high_of[f].push_back({within->at, bar_d});
          continue;
        }
        const auto p = PlanAt(bar, level - dt / 2, dt, lo, hi);
        const auto q = PlanAt(bar, level + dt / 2, dt, lo, hi);
        if (p && q) {
          low_of[f].push_back({*p, bar_d});
          high_of[f].push_back({*q, bar_d});
        }
      }
    };
    for (std::size_t li = 0; li < lines.size(); ++li) {
      const TieLine& line = lines[li];
      const std::size_t f = line.face;
      const double level = levels[i] + TieOffset(f, i, levels.size(), x_ties, y_ties, ds, dt);
      Seen& memo = seen[li][i % 2];
      if (memo.valid && !moving[f] && memo.key == key_of[f]) {
        if (!memo.clear) out.clashes.push_back(level);
        groups[memo.group].z.push_back(level);
        continue;
      }
      positions(f, level);
      const auto& low = low_of[f];
      const auto& high = high_of[f];
      const std::size_t n = a.layout.faces[f].along.size();
      const double d = a.layout.faces[f].diameter;
      // The held bars where they stand at this level (a bar cranked near the
      // top has moved in): the nearest to where the section puts them, at
      // whichever face of the tie it stands further out.
      const auto find = [&](const Point2D& nominal) {
        std::size_t best = low.size();
        double best2 = d * d;
        for (std::size_t k = 0; k < low.size(); ++k) {
          const Point2D gap = Sub(low[k].first, nominal);
          if (Dot2(gap, gap) < best2) {
            best2 = Dot2(gap, gap);
            best = k;
          }
        }
        return best;
      };
      const auto held = [&](std::size_t k, std::size_t face, const Point2D& nominal) {
        if (k == low.size()) return nominal;
        const auto depth = [&](const Point2D& p) {
          return Dot2(Sub(p, a.layout.corners[face]), a.layout.Inward(face));
        };
        return depth(low[k].first) <= depth(high[k].first) ? low[k].first : high[k].first;
      };
      const Point2D nominal_a = a.layout.SideBar(f, line.index);
      const Point2D nominal_b = a.layout.SideBar(f + 2, n - 1 - line.index);
      const std::size_t ia = find(nominal_a), ib = find(nominal_b);
      const Point2D pa = held(ia, f, nominal_a), pb = held(ib, f + 2, nominal_b);
      // Only bars near the tie's line can meet it: its legs and bends lie
      // within R of the held bars' line, its tails within their 45-degree
      // reach beyond that.
      const double line_along = Dot2(Sub(pa, a.layout.corners[f]), a.layout.Along(f));
      others_here.clear();
      for (std::size_t k = 0; k < low.size(); ++k) {
        if (k == ia || k == ib) continue;
        const bool upright = same_place(low[k].first, high[k].first);
        for (const auto* set : {&low, &high}) {
          const auto& bar = (*set)[k];
          const double off = Dot2(Sub(bar.first, a.layout.corners[f]), a.layout.Along(f));
          if (std::abs(off - line_along) <= band + bar.second / 2) others_here.push_back(bar);
          if (upright) break;  // the same place at both faces of the tie
        }
      }
      const std::vector<double>& others = others_of[li];
      // The hooks swap sides from level to level; where the one side runs
      // into a bar carried through, the other is taken. A tie between the
      // same bars past the same bars nearby was worked out before.
      const int preferred = i % 2 == 0 ? 1 : -1;
      Known* known = nullptr;
      for (auto& k : known_of[li]) {
        if (k.side != preferred || !same_place(k.a, pa) || !same_place(k.b, pb) ||
            k.near.size() != others_here.size()) {
          continue;
        }
        bool same = true;
        for (std::size_t q = 0; q < k.near.size() && same; ++q) {
          same = same_place(k.near[q].first, others_here[q].first) &&
                 k.near[q].second == others_here[q].second;
        }
        if (same) {
          known = &k;
          break;
        }
      }
      if (known) {
        if (!known->clear) out.clashes.push_back(level);
        groups[known->group].z.push_back(level);
        memo = {key_of[f], known->group, known->clear, !moving[f]};
        continue;
      }
      TieGeometry chosen;
      bool clear = false;
      for (int side : {preferred, -preferred}) {
        TieGeometry g = TiePath(setting, {.face = f,
                                          .a = pa,
                                          .da = d,
                                          .b = pb,
                                          .db = d,
                                          .side = side,
                                          .others = others,
                                          .extra = others_here});
        if (TieClear(g, setting, others_here)) {
          chosen = std::move(g);
          clear = true;
          break;
        }
        if (side == preferred) chosen = std::move(g);
      }
      if (!clear) out.clashes.push_back(level);
      std::vector<Point2D> local;
      for (const auto& p : chosen.path) local.push_back(Sub(p, origin));
      const std::size_t group = group_of(std::move(local));
      groups[group].z.push_back(level);
      known_of[li].push_back({preferred, pa, pb, others_here, group, clear});
      memo = {key_of[f], group, clear, !moving[f]};
    }
  }
  for (auto& g : groups) {
    const auto shape = HostReinf::GeneralReinfShapeBuilder::create_freeform_shape_with_hooks(
        g.path, unturned, props, 0, -1, -1);
    std::sort(g.z.begin(), g.z.end());
    // Split into stretches of one pitch.
    for (std::size_t i = 0; i < g.z.size();) {
      std::size_t j = i + 1;
      if (j < g.z.size()) {
        const double pitch = g.z[j] - g.z[i];
        while (j + 1 < g.z.size() && std::abs(g.z[j + 1] - g.z[j] - pitch) < 1e-6) ++j;
        ++j;
      }
      const Point3D from(origin.X(), origin.Y(), g.z[i] - dt / 2);
      const Point3D to(origin.X(), origin.Y(), g.z[j - 1] + dt / 2);
      out.placements.push_back(
          HostReinf::LinearBarPlacementBuilder::create_linear_bar_placement_from_to_by_count(
              2, shape, from, to, 0, 0, static_cast<double>(j - i)));
      i = j;
    }
  }
  return out;
}

CrossTieResult CageTies(const CageValues& v, const SectionLayout& layout,
                        const std::vector<LinkRun>& runs, const Placements& longitudinal,
                        const BarsFromBelow& below) {
  if (!v.Cross_Ties) return {};
  // Every longitudinal bar standing in the column: this cage's and those
  // that reach into it from below.
  std::vector<std::pair<std::vector<Point3D>, double>> bars;
  for (const auto& placement : longitudinal) {
    for (auto& bar : placement.GetBars()) {
      bars.push_back({std::move(bar), placement.GetBendingShape().GetDiameter()});
    }
  }
  for (std::size_t i = 0; i < below.bars.size(); ++i) {
    bars.push_back({below.bars[i], below.diameters[i]});
  }
  return CrossTies({.layout = layout,
                    .runs = runs,
                    .link_diameter = v.Main_Stirrup_Diameter,
                    .steel_grade = v.steel_grade,
                    .Concr_Grade = v.Concr_Grade,
                    .limit = v.Restraint_Distance,
                    .bars = std::move(bars)});
}

double PitchNeededForTies(const SectionLayout& layout, double link_diameter, double limit,
                          std::size_t i, std::size_t n) {
  const auto lines = TieLines(layout, limit);
  const bool x = std::any_of(lines.begin(), lines.end(), [](auto& t) { return t.face == 0; });
  const bool y = std::any_of(lines.begin(), lines.end(), [](auto& t) { return t.face == 1; });
  const int ties = StackAt(i, n, x, y).above + StackAt(i + 1, n, x, y).below;
  return link_diameter + ties * link_diameter;
}

// ---------------------------------------------------------------------------

HostReinf::BarPlacement CornerBar(const StraightBarsArgs& b, double Move_length, double dir_x,
                                  double dir_y, double delta_z) {
  const CageValues& v = b.values;
  return shapekit::Longit_Count_Move({
      .bending_roller = BendingRoller(b.diameter),
      .steel_grade = v.steel_grade,
      .concrete_cover_props = v.concrete_cover_props,
      .Concr_Cover = v.Concr_Cover,
      .Concr_Grade = v.Concr_Grade,
      .point1 = b.start_point,
      .point2 = b.end_point,
      .diameter = b.diameter,
      .Height = b.Height,
      .X_Angel = 0,
      .Y_Angle = 270,
      .Z_Angle = 0,
      .Number = b.number,
      .Concr_Bottom = b.Concr_Bottom,
      .Concr_Top = b.Concr_Top,
      .Move_length = Move_length,
      .angle = b.angle,
      .dir_x = dir_x,
      .dir_y = dir_y,
      .delta_x = 0,
      .delta_y = 0,
      .delta_z = delta_z,
      .direction = static_cast<double>(b.direction),
  });
}

HostReinf::BarPlacement SideBars(const StraightBarsArgs& b, const SideMove& m) {
  const CageValues& v = b.values;
  // Side bars keep no cover of their own: their place is all in the moves
  // and the placement's end covers.
  return pierplace::Longit_Count_Move_2direct({
      .bending_roller = BendingRoller(b.diameter),
      .steel_grade = v.steel_grade,
      .concrete_cover_props = HostReinf::ConcreteCoverProperties::all(0),
      .Concr_Cover = 0,
      .Concr_Grade = v.Concr_Grade,
      .point1 = b.start_point,
      .point2 = b.end_point,
      .diameter = b.diameter,
      .Height = b.Height,
      .X_Angel = 0,
      .Y_Angle = 270,
      .Z_Angle = 0,
      .Number = b.number,
      .Concr_Bottom = b.Concr_Bottom,
      .Concr_Top = b.Concr_Top,
      .Move_length1 = m.Move_length1,
      .Move_length2 = m.Move_length2,
      .angle = b.angle,
      .dir_x1 = m.dir_x1,
      .dir_y1 = m.dir_y1,
      .dir_x2 = m.dir_x2,
      .dir_y2 = m.dir_y2,
      .delta_x = 0,
      .delta_y = 0,
      .delta_z = m.delta_z,
      .direction = static_cast<double>(b.direction),
  });
}

// ---------------------------------------------------------------------------

namespace {
bool InsideSection(const PointList& c, const Point3D& p) {
  for (std::size_t i = 0; i < 4; ++i) {
    const Point2D a = Plan(c[i]), b = Plan(c[(i + 1) % 4]);
    if ((b.X() - a.X()) * (p.Y() - a.Y()) - (b.Y() - a.Y()) * (p.X() - a.X()) < -1e-6) return false;
  }
  return true;
}
}  // namespace

BarsFromBelow FindBarsFromBelow(const HostBaseElements::ModelDocument& doc,
                                const PointList& corners) {
  BarsFromBelow out;
  const double bottom = corners[0].Values()[2], top = corners[7].Values()[2];
  for (const auto& batch : doc.GetCreatedBatches()) {
    for (const auto& placement : batch.elements) {
      const auto& shape = placement.GetBendingShape();
      const auto type = shape.GetShapeType();
      if (type == HostReinf::BendingShapeType::Stirrup ||
          type == HostReinf::BendingShapeType::CrossTie ||
          type == HostReinf::BendingShapeType::Mesh) {
        continue;
      }
      for (auto& bar : placement.GetBars()) {
        double lo = 1e300, hi = -1e300;
        for (const auto& p : bar) {
          lo = std::min(lo, p.Z());
          hi = std::max(hi, p.Z());
        }
        if (!(lo < bottom - 1e-6 && hi > bottom + 1e-6)) continue;
        if (!InsideSection(corners, bar.back()) && !InsideSection(corners, bar.front())) continue;
        const double d = shape.GetDiameter();
        const double reach = std::min(hi, top);
        out.lap_top = out.bars.empty() ? reach : std::max(out.lap_top, reach);
        out.max_diameter = std::max(out.max_diameter, d);
        if (d > geomkit::kLapLinkDiameter) out.lap_diameter = std::max(out.lap_diameter, d);
        out.bars.push_back(std::move(bar));
        out.diameters.push_back(d);
      }
    }
  }
  return out;
}

double SmallestBar(const CageValues& v) {
  double d = v.Main_Diameter;
  if (v.Add_X_Number > 0) d = std::min(d, v.Add_X_Diameter);
  if (v.Add_Y_Number > 0) d = std::min(d, v.Add_Y_Diameter);
  return d;
}

double LinkSpacingLimit(const CageValues& v, double least_dimension) {
  return geomkit::MaxLinkSpacing(SmallestBar(v), least_dimension);
}

std::vector<LinkZone> LapZonesFromBelow(const BarsFromBelow& below, double bottom,
                                        const CageValues& v, double least_dimension) {
  if (below.lap_diameter <= 0) return {};
  double spacing = geomkit::kReducedLinkSpacingFactor * LinkSpacingLimit(v, least_dimension);
  if (v.Add_Stirrup_Bot) spacing = std::min(spacing, v.Add_Stirrup_Bot_Spacing);
  return {{bottom, below.lap_top, spacing}};
}

std::vector<std::pair<std::string, double>> HeldBars(const CageValues& v,
                                                     const BarsFromBelow& below) {
  std::vector<std::pair<std::string, double>> bars{{"corner bars", v.Main_Diameter}};
  if (v.Add_X_Number > 0) bars.push_back({"side bars of the X faces", v.Add_X_Diameter});
  if (v.Add_Y_Number > 0) bars.push_back({"side bars of the Y faces", v.Add_Y_Diameter});
  if (below.any()) bars.push_back({"bars from the column below", below.max_diameter});
  return bars;
}

// ---------------------------------------------------------------------------

double RoundTo(double value, int decimals) {
  // Half to even on the decimal digit, after taking off floating-point noise.
  static constexpr double kScales[] = {1, 10, 100, 1000, 10000};
  const double scale =
      decimals >= 0 && decimals <= 4 ? kScales[decimals] : std::pow(10.0, decimals);
  const double scaled = value * scale;
  const double cleaned = std::round(scaled * 1e6) / 1e6;
  return std::nearbyint(cleaned) / scale;
}

void CheckWallRatio(double Column_Width, double Column_Length) {
  if (Column_Length / Column_Width > 4)
    HostUtil::ShowMessageBox(kWallRatioMessage, HostUtil::MB_OK);
}

bool CheckMinWidth(const std::vector<double>& sides) {
  // Sides of real models carry rounding noise: a side within 0.1 mm of the
  // limit is taken as meeting it.
  double smallest = sides.front();
  for (double s : sides) smallest = std::min(smallest, s);
  if (smallest < 200 - 0.1) {
    HostUtil::ShowMessageBox(kMinWidthMessage, HostUtil::MB_OK);
    return true;
  }
  return false;
}

double BarArea(double count, double d) { return count * 0.00785 * d * d; }

double SteelArea(double Main_Diameter, double Add_X_Number, double Add_X_Diameter,
                 double Add_Y_Number, double Add_Y_Diameter) {
  // Side bars stand on both faces of their direction.
  return 0.0314 * Main_Diameter * Main_Diameter + 2 * BarArea(Add_X_Number, Add_X_Diameter) +
         2 * BarArea(Add_Y_Number, Add_Y_Diameter);
}

double MaxSteelArea(double Column_Width, double Column_Length) {
  return 0.09 * Column_Length * Column_Width / 100;
}

bool CheckSteelRatio(double steel_area, double Asmax) {
  if (steel_area > Asmax) {
    HostUtil::ShowMessageBox(kSteelRatioMessage, HostUtil::MB_OK);
    return true;
  }
  return false;
}

void CheckCover(const std::string& Exposure, double Main_Diameter, double Concr_Cover,
                double Main_Stirrup_Diameter) {
  const double cmin =
      std::max({Main_Diameter, static_cast<double>(geomkit::concr_exposure(Exposure)[0]), 10.0});
  const double cdev = geomkit::concr_exposure(Exposure)[1];
  const double cnom_check = cmin + cdev;
  if (cnom_check > Concr_Cover + Main_Stirrup_Diameter) {
    HostUtil::ShowMessageBox(kCoverMessage, HostUtil::MB_OK);
  }
}

// ---------------------------------------------------------------------------

Finding Blocking(const std::string& label, const std::string& what) {
  return {true, label, "Blocked: " + what + " No bars are created."};
}

Finding Warning(const std::string& what) {
  return {false, "", "Warning: " + what + " The bars can still be created."};
}

bool Report(const std::vector<Finding>& findings, std::vector<std::string>& blocked) {
  bool blocks = false;
  for (const auto& f : findings) {
    HostUtil::ShowMessageBox(f.text, HostUtil::MB_OK);
    if (f.blocks) blocked.push_back(f.label);
    blocks = blocks || f.blocks;
  }
  return blocks;
}

std::string JoinLabels(const std::vector<std::string>& labels) {
  std::string out;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    out += i == 0 ? "" : i + 1 == labels.size() ? " and " : ", ";
    out += labels[i];
  }
  return out;
}

namespace {
const char* FaceName(std::size_t f) { return f % 2 == 0 ? "X faces" : "Y faces"; }
}  // namespace

void CheckClearSpacing(const SectionLayout& l, double aggregate_size, std::vector<Finding>& out) {
  // X faces and Y faces each once: the opposite face is its mirror.
  for (std::size_t f : {0u, 1u}) {
    const auto bars = BarsAlongFace(l, f);
    const double d_side = l.faces[f].diameter;
    double worst = 1e300, need = 0;
    for (std::size_t i = 0; i + 1 < bars.size(); ++i) {
      const double d1 = i == 0 ? l.corner_diameter : d_side;
      const double d2 = i + 2 == bars.size() ? l.corner_diameter : d_side;
      const double clear = bars[i].GetDistance(bars[i + 1]) - (d1 + d2) / 2;
      const double minimum = geomkit::MinClearSpacing(std::max(d1, d2), aggregate_size);
      if (clear - minimum < worst - need) {
        worst = clear;
        need = minimum;
      }
    }
    if (bars.size() > 2 && worst < need - 1e-6) {
      out.push_back(
          Blocking(std::string("the clear spacing on the ") + FaceName(f),
                   "the bars on the " + std::string(FaceName(f)) + " stand " + Mm(worst) +
                       " mm apart (clear); neighbouring bars need at least " + Mm(need) +
                       " mm, the largest of the bar diameter, the aggregate size + 5 mm and "
                       "20 mm (EN 1992-1-1 8.2(2)). Use fewer or thinner side bars."));
    }
  }
}

void CheckLinkDiameter(double link_diameter,
                       const std::vector<std::pair<std::string, double>>& bars,
                       std::vector<Finding>& out) {
  const std::pair<std::string, double>* largest = nullptr;
  for (const auto& b : bars) {
    if (!largest || b.second > largest->second) largest = &b;
  }
  if (!largest) return;
  const double need = geomkit::MinLinkDiameter(largest->second);
  if (link_diameter < need - 1e-9) {
    out.push_back(
        Blocking("the link diameter",
                 "the " + Mm(link_diameter) + " mm links hold the " + Mm(largest->second) + " mm " +
                     largest->first + "; links need at least " + Mm(need) +
                     " mm, the larger of 6 mm and a quarter of the largest bar (EN 1992-1-1 "
                     "9.5.3(1))."));
  }
}

void CheckMinimumSteel(double steel_area_cm2, double Column_Width, double Column_Length,
                       std::vector<Finding>& out) {
  const double need = geomkit::kMinSteelRatio * Column_Width * Column_Length / 100;
  if (steel_area_cm2 < need - 1e-9) {
    std::ostringstream s;
    s.setf(std::ios::fixed);
    s.precision(2);
    s << "the longitudinal bars give " << steel_area_cm2 << " cm2, less than 0.2 % of the "
      << Mm(Column_Width) << " x " << Mm(Column_Length) << " mm section (" << need
      << " cm2, EN 1992-1-1 9.5.2(2)).";
    out.push_back(Warning(s.str()));
  }
}

void CheckRestraint(const SectionLayout& l, const CageValues& v, std::vector<Finding>& out) {
  if (v.Cross_Ties) return;
  const auto left = UnrestrainedBars(l, v.Restraint_Distance);
  if (left.empty()) return;
  std::string list;
  for (std::size_t f : {0u, 1u}) {
    std::string bars;
    double worst = 0;
    for (const auto& u : left) {
      if (u.face != f) continue;
      bars += (bars.empty() ? "" : ", ") + std::to_string(u.index + 1);
      worst = std::max(worst, u.distance);
    }
    if (bars.empty()) continue;
    list += std::string(list.empty() ? "" : "; ") + "side bars " + bars + " of the " + FaceName(f) +
            " (up to " + Mm(worst) + " mm)";
  }
  out.push_back(Warning("cross-ties are switched off, and these bars stand further than " +
                        Mm(v.Restraint_Distance) + " mm from a restrained bar: " + list +
                        " (EN 1992-1-1 9.5.3(6))."));
}

namespace {

// The largest gap between neighbouring links that overlaps [lo, hi].
double LargestPitchWithin(const std::vector<LinkRun>& runs, double lo, double hi, int& inside) {
  std::vector<double> z;
  for (const auto& r : runs) {
    for (int k = 0; k < r.count; ++k) z.push_back(r.first + k * r.pitch);
  }
  double worst = 0;
  inside = 0;
  for (std::size_t i = 0; i < z.size(); ++i) {
    if (z[i] >= lo - 1e-6 && z[i] <= hi + 1e-6) ++inside;
    if (i + 1 < z.size() && z[i + 1] > lo + 1e-6 && z[i] < hi - 1e-6) {
      worst = std::max(worst, z[i + 1] - z[i]);
    }
  }
  return worst;
}

}  // namespace

void CheckLinkZones(const ZoneCheck& c, std::vector<Finding>& out) {
  const CageValues& v = c.values;
  const double scl = geomkit::MaxLinkSpacing(c.smallest_bar, c.least_dimension);
  const double reduced = geomkit::kReducedLinkSpacingFactor * scl;
  if (v.Main_Stirrup_Spacing > scl + 1e-9) {
    out.push_back(Warning("the main link spacing of " + Mm(v.Main_Stirrup_Spacing) +
                          " mm is more than " + Mm(scl) + " mm, the smallest of 20 times the " +
                          Mm(c.smallest_bar) + " mm bars, the column's " + Mm(c.least_dimension) +
                          " mm side and 400 mm (EN 1992-1-1 9.5.3(3))."));
  }
  if (c.runs.empty()) return;
  const double first = c.runs.front().first, last = c.runs.back().last;
  // The column's ends lie the cover and half a link beyond the end links.
  const double end_gap = v.Concr_Cover + v.Main_Stirrup_Diameter / 2;
  const double bottom = first - end_gap, top = last + end_gap;
  int inside = 0;
  const struct {
    const char* end;
    const char* zone;
    double lo, hi;
  } ends[] = {{"bottom", "bottom", bottom, bottom + c.larger_dimension},
              {"top", "top", top - c.larger_dimension, top}};
  for (const auto& e : ends) {
    const double worst = LargestPitchWithin(c.runs, e.lo, e.hi, inside);
    if (worst > reduced + 1e-6) {
      out.push_back(Warning("within " + Mm(c.larger_dimension) + " mm of the column's " + e.end +
                            " (its larger side) the links stand up to " + Mm(worst) +
                            " mm apart; EN 1992-1-1 9.5.3(4) asks for at most 0.6 x " + Mm(scl) +
                            " = " + Mm(reduced) + " mm there. Switch on or lengthen the " + e.zone +
                            " zone, or make it denser."));
    }
  }
  for (const auto& lap : c.laps_needing_links) {
    const double worst = LargestPitchWithin(c.runs, lap.lo, lap.hi, inside);
    if (worst > reduced + 1e-6 || inside < geomkit::kLinksWithinLap) {
      out.push_back(Warning(
          "over the lap from z = " + Mm(lap.lo) + " to " + Mm(lap.hi) + " the links stand up to " +
          Mm(worst) + " mm apart with " + std::to_string(inside) +
          " links within it; EN 1992-1-1 9.5.3(4) asks for at most " + Mm(reduced) +
          " mm and at least 3 links over laps of bars above "
          "14 mm."));
    }
  }
}

void CheckBarsFromBelow(const BarsFromBelow& below, const SectionLayout& l, const CageValues& v,
                        std::vector<Finding>& out) {
  std::vector<std::pair<Point2D, double>> own;
  for (std::size_t k = 0; k < 4; ++k) own.push_back({l.CornerBar(k), l.corner_diameter});
  for (std::size_t f = 0; f < 4; ++f) {
    for (std::size_t j = 0; j < l.faces[f].along.size(); ++j) {
      own.push_back({l.SideBar(f, j), l.faces[f].diameter});
    }
  }
  const double inner = v.Concr_Cover + v.Main_Stirrup_Diameter;
  double outside = 0, overlap = 0, apart = 0;
  for (std::size_t i = 0; i < below.bars.size(); ++i) {
    // The bar's leg in this column stands where it ends.
    const auto& top = below.bars[i].back().Z() >= below.bars[i].front().Z() ? below.bars[i].back()
                                                                            : below.bars[i].front();
    const Point2D p{top.X(), top.Y()};
    const double d = below.diameters[i];
    for (std::size_t f = 0; f < 4; ++f) {
      const double depth = Dot2(Sub(p, l.corners[f]), l.Inward(f));
      outside = std::max(outside, inner + d / 2 - depth);
    }
    double nearest = 1e300;
    for (const auto& [q, dq] : own) {
      const double clear = p.GetDistance(q) - (d + dq) / 2;
      overlap = std::max(overlap, -clear);
      nearest = std::min(nearest, clear);
    }
    apart = std::max(apart, nearest - geomkit::MaxLapClearDistance(d));
  }
  // Bars in contact stand exactly their radii apart; a hundredth of a
  // millimetre is what rotated coordinates may add.
  constexpr double kContact = 0.01;
  if (outside > kContact) {
    out.push_back(Blocking("bars from below outside the links",
                           "bars from the column below stand up to " + Mm(outside) +
                               " mm outside this column's links."));
  }
  if (overlap > kContact) {
    out.push_back(Blocking("bars from below running into this column's bars",
                           "bars from the column below run into this column's own bars (they "
                           "overlap by up to " +
                               Mm(overlap) + " mm)."));
  }
  if (apart > kContact) {
    out.push_back(Warning("bars from the column below stand up to " + Mm(apart) +
                          " mm further from this column's bars than a lap allows (the smaller "
                          "of 4 diameters and 50 mm clear, EN 1992-1-1 8.7.2(3))."));
  }
}

void CheckTieClashes(const std::vector<double>& levels, std::vector<Finding>& out) {
  if (levels.empty()) return;
  out.push_back(Blocking("cross-ties running into bars carried through",
                         "at " + std::to_string(levels.size()) + " link level" +
                             (levels.size() == 1 ? "" : "s") +
                             " (the first at z = " + Mm(levels.front()) +
                             ") a cross-tie cannot pass the bars carried through the column on "
                             "either side. Change the side bars so that those of this column and "
                             "of the column above line up."));
}

void CheckTieRoom(const SectionLayout& layout, const CageValues& v,
                  const std::vector<LinkRun>& runs, std::vector<Finding>& out) {
  if (!v.Cross_Ties) return;
  std::vector<double> z;
  for (const auto& r : runs) {
    for (int k = 0; k < r.count; ++k) z.push_back(r.first + k * r.pitch);
  }
  for (std::size_t i = 0; i + 1 < z.size(); ++i) {
    const double need =
        PitchNeededForTies(layout, v.Main_Stirrup_Diameter, v.Restraint_Distance, i, z.size());
    if (z[i + 1] - z[i] < need - 1e-6) {
      out.push_back(Blocking("the room for the cross-ties",
                             "links " + Mm(z[i + 1] - z[i]) + " mm apart at z = " + Mm(z[i]) +
                                 " leave no room for the cross-ties beside them, which need " +
                                 Mm(need) + " mm. Space the links wider."));
      return;
    }
  }
}

// ---------------------------------------------------------------------------

double MainSpacingLimit(double Main_Diameter, double smallest_bar, double least_dimension) {
  return std::min(
      {12 * Main_Diameter, 200.0, geomkit::MaxLinkSpacing(smallest_bar, least_dimension)});
}

void WriteSpacings(HostBaseElements::BuildingElement& build_ele, double limit) {
  // To the nearest 10 mm, but never over the limit.
  const auto within = [](double value, double max) {
    const double r = geomkit::round_to_10(value);
    return r <= max + 1e-9 ? r : std::floor(max / 10) * 10;
  };
  const double main = within(std::min(12 * build_ele["Main_Diameter"].Number(), 200.0), limit);
  build_ele["Main_Stirrup_Spacing"].SetValue(main);
  const double extra = within(0.6 * main, geomkit::kReducedLinkSpacingFactor * limit);
  build_ele["Add_Stirrup_Top_Spacing"].SetValue(extra);
  build_ele["Add_Stirrup_Bot_Spacing"].SetValue(extra);
}

double SideBarEndCover(double o, double side_length, double n, double d) {
  return o + (side_length - 2 * o) / (n + 1) - d / 2;
}

}  // namespace cage_common

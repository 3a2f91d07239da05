#include "cage/cage_stacked.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include "cage/cage_common.h"
#include "common/geomkit.h"
#include "placement/pierplace.h"

namespace cage_stacked {

using HostGeo::Point2D;
using HostGeo::Point3D;

namespace {

Point2D Plan(const Point3D& p) { return {p.Values()[0], p.Values()[1]}; }

Point2D Add(const Point2D& a, const Point2D& b) { return {a.X() + b.X(), a.Y() + b.Y()}; }
Point2D Sub(const Point2D& a, const Point2D& b) { return {a.X() - b.X(), a.Y() - b.Y()}; }
Point2D Scale(const Point2D& a, double k) { return {a.X() * k, a.Y() * k}; }
double Dot(const Point2D& a, const Point2D& b) { return a.X() * b.X() + a.Y() * b.Y(); }
double Length(const Point2D& a) { return std::hypot(a.X(), a.Y()); }

// Largest crank of a corner bar and of a side bar, mm: further off, bars end
// below the slab and starters take their place.
constexpr double kCornerCrank = 50;
constexpr double kSideCrank = 35;
// A move shorter than this is no crank: the bar runs straight on.
constexpr double kNoCrank = 0.5;

// The crank of a bar of diameter d moved by `offset` from 200 below the
// lower column's top to the upper column's bottom. Its upper bend is
// rounded: the bend ends at the upper column's bottom, so the bar stands in
// its place beside the upper column's bar wherever that one is.
std::vector<Point2D> CrankTo(double H, double S, double offset, double lap, double d) {
  const double R = (cage_common::BendingRoller(d) + 1) * d / 2;
  const double rise = S + 200;
  const double turn = std::atan2(offset, rise);
  const double before = R * std::tan(turn / 2);
  return pierplace::crank_shape(H - 200, rise - before * std::cos(turn), offset,
                                lap + before * std::cos(turn));
}

// The upper column normalised on its own may start at another corner than
// the lower one (an edge at exactly 45 degrees can go either way). Its
// corners are turned so that each stands over the lower corner of the same
// number: its first edge is the one closest in direction to the lower
// column's first edge.
PointList AlignUpper(const PointList& lower, const PointList& upper, std::size_t& shift) {
  const double target = HostGeo::CalcAngle(Plan(lower[0]), Plan(lower[1])).Get();
  std::size_t best = 0;
  double best_cos = -2;
  for (std::size_t k = 0; k < 4; ++k) {
    const double a = HostGeo::CalcAngle(Plan(upper[k]), Plan(upper[(k + 1) % 4])).Get();
    const double c = std::cos(a - target);
    if (c > best_cos + 1e-12) {
      best_cos = c;
      best = k;
    }
  }
  shift = best;
  if (best == 0) return upper;
  PointList out(8);
  for (std::size_t i = 0; i < 4; ++i) {
    out[i] = upper[(i + best) % 4];
    out[i + 4] = upper[4 + (i + best) % 4];
  }
  return out;
}

double Deg(double rad) { return rad / std::numbers::pi * 180.0; }

std::string Num(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

// Whether a point lies over the section of a counter-clockwise corner list.
bool InsidePlan(const PointList& corners, const Point3D& p) {
  for (std::size_t i = 0; i < 4; ++i) {
    const Point2D a = Plan(corners[i]), b = Plan(corners[(i + 1) % 4]);
    if ((b.X() - a.X()) * (p.Y() - a.Y()) - (b.Y() - a.Y()) * (p.X() - a.X()) < -1e-6) return false;
  }
  return true;
}

}  // namespace

Reinforcement::Reinforcement(
    std::shared_ptr<HostBaseElements::BuildingElement> build_ele,
    std::shared_ptr<HostBaseElements::BuildingElementPaletteService> palette_service,
    HostInput::CoordinateInput& coord_input, std::string tool_path,
    HostUtil::StringTableService& /*str_table_service*/, const PointList& point_list) {
  if (point_list.size() != 16) {
    throw std::invalid_argument(
        "the cage of a column with a column above needs the 8 corners of "
        "each of the two columns (16 points); it was given " +
        std::to_string(point_list.size()) + " points");
  }
  bool upper_rotated = false;
  Column_ = cage_common::OrientGroup(point_list, 0, rotate_);
  Column_above_ = cage_common::OrientGroup(point_list, 8, upper_rotated);
  cage_common::CheckCornerList(Column_, "the picked column");
  cage_common::CheckCornerList(Column_above_, "the column above");
  // The second column must stand on the first: above its top, its centre
  // over the first one's section.
  if (Column_above_[0].Values()[2] < Column_[7].Values()[2]) {
    throw std::invalid_argument(
        "the second picked column does not stand on the first: its bottom (z = " +
        Num(Column_above_[0].Values()[2]) +
        ") lies below the first one's top (z = " + Num(Column_[7].Values()[2]) + ")");
  }
  if (!InsidePlan(Column_, geomkit::MidPoint(Column_above_[0], Column_above_[2]))) {
    throw std::invalid_argument(
        "the second picked column does not stand on the first: its centre lies outside "
        "the first one's section");
  }
  // The column above as its own cage lays it out, and turned to stand
  // corner over corner on this one.
  Column_above_own_ = Column_above_;
  Column_above_ = AlignUpper(Column_, Column_above_, upper_shift_);
  point_list_ = Column_;
  point_list_.insert(point_list_.end(), Column_above_.begin(), Column_above_.end());
  build_ele_ = std::move(build_ele);
  tool_path_ = std::move(tool_path);
  palette_service_ = std::move(palette_service);
  if (!build_ele_) throw std::invalid_argument("the cage needs the palette's parameter set");
  const auto lower = cage_common::Measure(Column_);
  Column_Top_ = lower.Top;
  Column_Bottom_ = lower.Bottom;
  Column_Height_ = lower.Height;
  Column_Width_ = lower.Width;
  Column_Length_ = lower.Length;
  const auto upper = cage_common::Measure(Column_above_);
  Column_above_Top_ = upper.Top;
  Column_above_Bottom_ = upper.Bottom;
  Column_above_Height_ = upper.Height;
  Column_above_Width_ = upper.Width;
  Column_above_Length_ = upper.Length;
  error_ = false;
  angle_ = cage_common::PlanAngle(point_list_);
  direction_ = cage_common::Direction(point_list_);
  check_input();
  below_ = cage_common::FindBarsFromBelow(coord_input.GetInputViewDocument(), Column_);
  prepare_parameter();
}

void Reinforcement::prepare_parameter() {
  auto& p = *build_ele_;
  cage_common::CopyMaterial(p, v_);
  Calculate_Type_ = p["Calculate_Type"].Text();
  Concr_Cover_Above_ = p["Concr_Cover_Above"].Number();
  Main_Diameter_Above_ = p["Main_Diameter_Above"].Number();
  Add_X_Number_Above_ = static_cast<double>(p["Add_X_Number_Above"].Integer());
  Add_X_Diameter_Above_ = p["Add_X_Diameter_Above"].Number();
  Add_Y_Number_Above_ = static_cast<double>(p["Add_Y_Number_Above"].Integer());
  Add_Y_Diameter_Above_ = p["Add_Y_Diameter_Above"].Number();
  Main_Stirrup_Diameter_Above_ = p["Main_Stirrup_Diameter_Above"].Number();
  cage_common::CopyBars(p, v_);
  // The floor between the two columns.
  Slab_Above_ = Column_above_[0].Values()[2] - Column_[7].Values()[2];
  v_.steel_grade = 4;
  // Starter bars are sized by the lower column's bar diameters.
  Main_Starter_ = StarterLength(v_.Main_Diameter);
  AddX_Starter_ = StarterLength(v_.Add_X_Diameter);
  AddY_Starter_ = StarterLength(v_.Add_Y_Diameter);
  layout_ = cage_common::LayoutSection(
      Column_, {v_.Concr_Cover, v_.Main_Stirrup_Diameter, v_.Main_Diameter, v_.Add_X_Number,
                v_.Add_X_Diameter, v_.Add_Y_Number, v_.Add_Y_Diameter});
  // The column above's own values: its faces are those of its own cage.
  upper_layout_ = cage_common::LayoutSection(
      Column_above_own_,
      {Concr_Cover_Above_, Main_Stirrup_Diameter_Above_, Main_Diameter_Above_, Add_X_Number_Above_,
       Add_X_Diameter_Above_, Add_Y_Number_Above_, Add_Y_Diameter_Above_});
}

double Reinforcement::StarterLength(double diameter) const {
  const double d = std::trunc(diameter);
  const std::string text = Calculate_Type_ == "Tension"
                               ? geomkit::lap_length_for_tension(tool_path_, d, v_.Concr_Grade)
                               : geomkit::lap_length_for_anchorage(tool_path_, d, v_.Concr_Grade);
  return geomkit::round_up(static_cast<double>(std::stoll(text)));
}

Placements Reinforcement::Rebars() {
  Placements links = Stirrup();
  Placements longitudinal = cage_common::LongitudinalOf(*this);
  const auto& ties = Ties(&longitudinal).placements;
  if (error_) return {};
  return cage_common::CageList(std::move(links), ties, std::move(longitudinal));
}

cage_common::StirrupZones Reinforcement::Zones() {
  return cage_common::ZonesOf(
      v_, Column_, angle_,
      cage_common::LapZonesFromBelow(below_, Column_Bottom_, v_, Column_Width_), HookRoom());
}

const std::vector<std::pair<HostGeo::Point2D, double>>& Reinforcement::BarsAround() {
  if (around_) return *around_;
  // Bars from below, and the bars carried up: where they stand and where
  // they go, as the links near the top see both.
  std::vector<std::pair<HostGeo::Point2D, double>> out;
  for (std::size_t i = 0; i < below_.bars.size(); ++i) {
    const auto& top = below_.bars[i].back();
    out.push_back({{top.X(), top.Y()}, below_.diameters[i]});
  }
  const Carried& c = CarriedUp();
  for (const auto* set : {&c.corners, &c.faces}) {
    for (const auto& bars : *set) {
      if (bars.kind == Carried::Kind::Straight) continue;
      for (std::size_t j = 0; j < bars.to.size(); ++j) {
        out.push_back({bars.to[j], bars.diameter});
        if (bars.kind != Carried::Kind::Cranked) continue;
        // A cranked bar sweeps from its place to the upper one through the
        // top links: every point on the way counts.
        const Point2D move = Sub(bars.to[j], bars.from[j]);
        const int steps = static_cast<int>(std::ceil(Length(move) / (bars.diameter / 2)));
        for (int k = 1; k < steps; ++k) {
          out.push_back(
              {Add(bars.from[j], Scale(move, static_cast<double>(k) / steps)), bars.diameter});
        }
      }
    }
  }
  around_ = std::move(out);
  return *around_;
}

double Reinforcement::HookRoom() {
  if (!hook_room_) {
    hook_room_ = cage_common::LinkHookRoom(layout_, v_.Main_Stirrup_Diameter, v_.Main_Diameter,
                                           BarsAround());
  }
  return *hook_room_;
}

const std::vector<cage_common::LinkRun>& Reinforcement::LinkRuns() {
  if (!runs_) runs_ = cage_common::StirrupLevels(Zones());
  return *runs_;
}

Placements Reinforcement::Stirrup() { return cage_common::BuildStirrups(Zones(), LinkRuns()); }

Placements Reinforcement::CrossTies() { return Ties().placements; }

const cage_common::CrossTieResult& Reinforcement::Ties(const Placements* longitudinal) {
  if (ties_) return *ties_;
  const Placements own = longitudinal ? Placements{} : cage_common::LongitudinalOf(*this);
  ties_ =
      cage_common::CageTies(v_, layout_, LinkRuns(), longitudinal ? *longitudinal : own, below_);
  return *ties_;
}

MainRebarPlacementArgs Reinforcement::CornerArgs(std::size_t k) const {
  const auto& C = Column_;
  const auto& A = Column_above_;
  // The reference side of each corner runs from the corner along the next
  // face counter-clockwise, so that the offsets are measured in the
  // directions the crank turns them.
  switch (k) {
    case 0:
      return {A[0], C[0], C[1], C[0], C[3], 0, 1, 1, -1, 1};
    case 1:
      return {A[1], C[1], C[2], C[1], C[2], 90, -1, -1, -1, 1};
    case 2:
      return {A[2], C[2], C[3], C[2], C[1], 180, -1, -1, 1, -1};
    default:
      return {A[3], C[3], C[0], C[3], C[0], 270, 1, 1, 1, -1};
  }
}

Placements Reinforcement::MainRebars() {
  Placements result;
  for (std::size_t k = 0; k < 4; ++k) {
    const auto part = Main_Rebar_Placement(CornerArgs(k));
    result.insert(result.end(), part.begin(), part.end());
  }
  return result;
}

Placements Reinforcement::AddX() {
  const auto& C = Column_;
  const auto& A = Column_above_;
  Placements result =
      Add_Rebar_Placement({A[0], C[0], C[1], C[0], C[1], 90, 1, 1, -1, 1, v_.Add_X_Diameter,
                           Add_X_Diameter_Above_, AddX_Starter_, v_.Add_X_Number, "X"});
  const auto second =
      Add_Rebar_Placement({A[3], C[3], C[2], C[2], C[3], -90, 1, 1, 1, -1, v_.Add_X_Diameter,
                           Add_X_Diameter_Above_, AddX_Starter_, v_.Add_X_Number, "X"});
  result.insert(result.end(), second.begin(), second.end());
  return result;
}

Placements Reinforcement::AddY() {
  const auto& C = Column_;
  const auto& A = Column_above_;
  Placements result =
      Add_Rebar_Placement({A[1], C[1], C[2], C[1], C[2], 180, -1, -1, -1, 1, v_.Add_Y_Diameter,
                           Add_Y_Diameter_Above_, AddY_Starter_, v_.Add_Y_Number, "Y"});
  const auto second =
      Add_Rebar_Placement({A[0], C[0], C[3], C[3], C[0], 0, 1, 1, 1, -1, v_.Add_Y_Diameter,
                           Add_Y_Diameter_Above_, AddY_Starter_, v_.Add_Y_Number, "Y"});
  result.insert(result.end(), second.begin(), second.end());
  return result;
}

Point3D Reinforcement::LowerCentre() const { return geomkit::MidPoint(Column_[0], Column_[2]); }

std::array<double, 2> Reinforcement::distance_point_toline(const Point3D& point_ref,
                                                           const Point3D& point_line1,
                                                           const Point3D& point_line2) const {
  const double l = point_line1.GetDistance(point_line2);
  if (!(l > 0)) {
    throw std::invalid_argument("the reference line from " + HostGeo::ToString(point_line1) +
                                " has zero length: no offset can be measured from it");
  }
  const Point3D q = geomkit::Change_z(point_ref, point_line1.Values()[2]);
  const double a = q.GetDistance(point_line1);
  const double b = q.GetDistance(point_line2);
  const double x = cage_common::RoundTo((l * l + a * a - b * b) / (2 * l), 2);
  double y = cage_common::RoundTo(std::sqrt(std::abs(a * a - x * x)), 2);
  // A point beyond the line, on the side away from the column, lies outside
  // the face: its distance counts negative so that offsets keep their sense.
  const auto side = [&](const Point3D& p) {
    const auto u = HostGeo::Vector3D(point_line1, point_line2);
    const auto v = HostGeo::Vector3D(point_line1, p);
    return u.X() * v.Y() - u.Y() * v.X();
  };
  if (y != 0 && side(q) * side(LowerCentre()) < 0) y = -y;
  return {x, y};
}

std::array<double, 3> Reinforcement::crank_length(const Point3D& point_ref,
                                                  const Point3D& point_line1,
                                                  const Point3D& point_line2, double diameter_below,
                                                  double diameter_above) const {
  const double dc = Concr_Cover_Above_ - v_.Concr_Cover;
  const double ds = Main_Stirrup_Diameter_Above_ - v_.Main_Stirrup_Diameter;
  const double dd = diameter_above - diameter_below;
  const double x = distance_point_toline(point_ref, point_line1, point_line2)[0];
  const double y = distance_point_toline(point_ref, point_line1, point_line2)[1];
  const double delta_x = x + dc + ds + dd / 2;
  const double delta_y = y + dc + ds + dd / 2;
  const double crank_distance = std::sqrt(delta_x * delta_x + delta_y * delta_y) +
                                1.15 * std::max(diameter_below, diameter_above);
  return {delta_x, delta_y, crank_distance};
}

std::size_t Reinforcement::CornerIndex(const Point3D& p) const {
  return static_cast<std::size_t>(std::find(Column_.begin(), Column_.begin() + 4, p) -
                                  Column_.begin());
}

namespace {

// How far to move a bar of diameter d from `at` along `dir` (unit) before it
// keeps clear of every bar of `bars` (position, diameter): the least push.
double PushClear(const Point2D& at, const Point2D& dir, double d,
                 const std::vector<std::pair<Point2D, double>>& bars) {
  double s = 0;
  for (bool moved = true; moved;) {
    moved = false;
    for (const auto& [q, dq] : bars) {
      const double r = (d + dq) / 2;
      const Point2D rel = Sub(at, q);
      const double b = Dot(rel, dir), c = Dot(rel, rel) - r * r;
      const double disc = b * b - c;
      if (disc <= 0) continue;
      const double lo = -b - std::sqrt(disc), hi = -b + std::sqrt(disc);
      if (s > lo + 1e-9 && s < hi - 1e-9) {
        s = hi;
        moved = true;
      }
    }
  }
  return s;
}

}  // namespace

const Reinforcement::Carried& Reinforcement::CarriedUp() {
  if (carried_) return *carried_;
  Carried out;
  // This column's own bars: starters lap them below the slab and must keep
  // clear of them.
  std::vector<std::pair<Point2D, double>> own;
  for (std::size_t k = 0; k < 4; ++k)
    own.push_back({layout_.CornerBar(k), layout_.corner_diameter});
  for (std::size_t f = 0; f < 4; ++f) {
    for (std::size_t j = 0; j < layout_.faces[f].along.size(); ++j) {
      own.push_back({layout_.SideBar(f, j), layout_.faces[f].diameter});
    }
  }
  const auto& up = upper_layout_;
  const double D = v_.Main_Diameter, Dup = Main_Diameter_Above_;
  // A bar carried up stands inside this column's links where it passes
  // through its top, and a starter, which laps this column's bars below the
  // slab, keeps clear of them: where the place beside the upper bar does
  // not allow that, the bar moves further in along `dir`.
  const double inner = v_.Concr_Cover + v_.Main_Stirrup_Diameter;
  const auto settle = [&](Point2D& t, const Point2D& dir, double d, bool starter, CarriedBars& c) {
    const Point2D start = t;
    for (int round = 0; round < 4; ++round) {
      for (std::size_t g = 0; g < 4; ++g) {
        const double depth = Dot(Sub(t, layout_.corners[g]), layout_.Inward(g));
        const double short_of = inner + d / 2 - depth;
        if (short_of <= 1e-9) continue;
        const double rate = Dot(dir, layout_.Inward(g));
        if (rate <= 1e-9) {
          c.outside = std::max(c.outside, short_of);
          continue;
        }
        t = Add(t, Scale(dir, short_of / rate));
      }
      // In a corner the links are bent round their mandrel: the bar stays
      // inside the bend's arc.
      const double r = geomkit::InnerBendRadius(v_.Main_Stirrup_Diameter);
      for (std::size_t k = 0; k < 4; ++k) {
        const Point2D nx = layout_.Inward(k), ny = layout_.Inward((k + 3) % 4);
        const Point2D rel = Sub(t, layout_.corners[k]);
        const double cx = Dot(rel, nx) - (inner + r), cy = Dot(rel, ny) - (inner + r);
        const double room = r - d / 2;
        if (cx >= 0 || cy >= 0 || std::hypot(cx, cy) <= room + 1e-9) continue;
        // Along dir until within the arc: |(c + s w)| = room.
        const double wx = Dot(dir, nx), wy = Dot(dir, ny);
        const double b = cx * wx + cy * wy, cc = cx * cx + cy * cy - room * room;
        const double disc = b * b - cc;
        if (room < 0 || disc < 0 || -b + std::sqrt(disc) < 0) {
          c.outside = std::max(c.outside, std::hypot(cx, cy) - std::max(room, 0.0));
          continue;
        }
        t = Add(t, Scale(dir, std::max(0.0, -b - std::sqrt(disc))));
      }
      if (starter) t = Add(t, Scale(dir, PushClear(t, dir, d, own)));
    }
    c.push = std::max(c.push, Length(Sub(t, start)));
  };
  for (std::size_t k = 0; k < 4; ++k) {
    // The upper column's corner bar over this corner, and beside it, on its
    // inner side, the bar carried up: the two in contact.
    const std::size_t uk = (k + upper_shift_) % 4;
    CarriedBars& c = out.corners[k];
    c.diameter = D;
    c.from = {layout_.CornerBar(k)};
    c.to = {Add(up.CornerBar(uk), Scale(up.Diagonal(uk), (D + Dup) / 2))};
    c.lap = Main_Starter_;
    CarriedBars trial = c;
    settle(trial.to[0], up.Diagonal(uk), D, false, trial);
    const double move = Length(Sub(trial.to[0], c.from[0]));
    // Running straight on only where the bar keeps clear of the upper one.
    const bool apart = c.from[0].GetDistance(up.CornerBar(uk)) >= (D + Dup) / 2 - 1e-9;
    c.kind = move < kNoCrank && apart ? Carried::Kind::Straight
             : move <= kCornerCrank   ? Carried::Kind::Cranked
                                      : Carried::Kind::Starters;
    settle(c.to[0], up.Diagonal(uk), D, c.kind == Carried::Kind::Starters, c);
    if (c.kind == Carried::Kind::Starters) {
      const double clear = Length(Sub(c.to[0], c.from[0])) - D;
      c.extra = std::max(0.0, clear - geomkit::MaxLapClearDistance(D));
    }
  }
  // The corner bars carried up, where they stand and as they sweep through
  // the top of this column: starters keep clear of them too.
  for (const auto& c : out.corners) {
    own.push_back({c.to[0], c.diameter});
    if (c.kind != Carried::Kind::Cranked) continue;
    const Point2D move = Sub(c.to[0], c.from[0]);
    const int steps = static_cast<int>(std::ceil(Length(move) / (c.diameter / 4)));
    for (int k = 1; k < steps; ++k) {
      own.push_back({Add(c.from[0], Scale(move, static_cast<double>(k) / steps)), c.diameter});
    }
  }
  for (std::size_t f = 0; f < 4; ++f) {
    const std::size_t uf = (f + upper_shift_) % 4;
    const bool x = f % 2 == 0;
    CarriedBars& c = out.faces[f];
    c.diameter = layout_.faces[f].diameter;
    c.lap = x ? AddX_Starter_ : AddY_Starter_;
    const double d = c.diameter, dup = up.faces[uf].diameter;
    for (std::size_t j = 0; j < layout_.faces[f].along.size(); ++j) {
      c.from.push_back(layout_.SideBar(f, j));
    }
    for (std::size_t j = 0; j < up.faces[uf].along.size(); ++j) {
      c.to.push_back(Add(up.SideBar(uf, j), Scale(up.Inward(uf), (d + dup) / 2)));
    }
    bool crank = !c.from.empty() && c.from.size() == c.to.size();
    bool straight = crank;
    for (std::size_t j = 0; crank && j < c.from.size(); ++j) {
      CarriedBars trial = c;
      Point2D t = c.to[j];
      settle(t, up.Inward(uf), d, false, trial);
      const double move = Length(Sub(t, c.from[j]));
      crank = move <= kSideCrank;
      straight = straight && move < kNoCrank &&
                 c.from[j].GetDistance(up.SideBar(uf, j)) >= (d + dup) / 2 - 1e-9;
    }
    c.kind = straight ? Carried::Kind::Straight
             : crank  ? Carried::Kind::Cranked
                      : Carried::Kind::Starters;
    for (auto& t : c.to) settle(t, up.Inward(uf), d, c.kind == Carried::Kind::Starters, c);
    if (c.kind == Carried::Kind::Starters) {
      // Each starter laps the nearest bar of the face (its corner bars
      // included); further apart than 8.7.2(3) allows, the lap grows by
      // the excess.
      std::vector<std::pair<Point2D, double>> lower{{layout_.CornerBar(f), D},
                                                    {layout_.CornerBar((f + 1) % 4), D}};
      for (const auto& p : c.from) lower.push_back({p, d});
      for (const auto& t : c.to) {
        double clear = 1e300;
        for (const auto& [p, dl] : lower) clear = std::min(clear, t.GetDistance(p) - (d + dl) / 2);
        c.extra = std::max(c.extra, clear - geomkit::MaxLapClearDistance(d));
      }
    }
  }
  carried_ = out;
  return *carried_;
}

Placements Reinforcement::Main_Rebar_Placement(const MainRebarPlacementArgs& m) {
  const double D = v_.Main_Diameter;
  const double H = Column_Height_, S = Slab_Above_;
  const double a = layout_.corner_inset;  // touching the inside of the link's bend
  // The crank as the Part measures it; the bar's way up is decided on the
  // bars themselves below.
  (void)crank_length(m.point_ref, m.point_line1, m.point_line2, v_.Main_Diameter,
                     Main_Diameter_Above_);
  const std::size_t k = CornerIndex(m.start_point);
  const CarriedBars& c = CarriedUp().corners[k];
  const Point2D move = Sub(c.to[0], c.from[0]);
  if (c.kind == Carried::Kind::Cranked) {
    return pierplace::Crank_Count_Move({
        .bending_roller = cage_common::BendingRoller(D),
        .steel_grade = v_.steel_grade,
        .Concr_Cover = 0,
        .Concr_Grade = v_.Concr_Grade,
        .points = CrankTo(H, S, Length(move), c.lap, D),
        .point1 = m.start_point,
        .point2 = m.end_point,
        .diameter = D,
        .X_Angel = 90,
        .Y_Angle = 0,
        .Z_Angle = Deg(std::atan2(move.Y(), move.X())),
        .Number = 1,
        .Move_length1 = a,
        .Move_length2 = a - D / 2,  // with the bar's half diameter from the line: a
        .angle = angle_,
        .dir_x = m.dir_x1,
        .dir_y = m.dir_y1,
        .delta_x = 0,
        .delta_y = 0,
        .delta_z = 0,
        .dir_x2 = m.dir_x2,
        .dir_y2 = m.dir_y2,
        .delta_x2 = 0,
        .delta_y2 = 0,
        .delta_z2 = 0,
        .direction = static_cast<double>(direction_),
    });
  }
  cage_common::StraightBarsArgs bars{.values = v_,
                                     .start_point = m.start_point,
                                     .end_point = m.end_point,
                                     .diameter = D,
                                     .Height = geomkit::round_down(H + S - 50),
                                     .number = 1,
                                     .Concr_Bottom = a - D / 2,
                                     .Concr_Top = 0,
                                     .angle = angle_,
                                     .direction = direction_};
  if (c.kind == Carried::Kind::Straight) {
    // Already beside the upper bar: it runs straight on for its lap.
    bars.Height = H + S + c.lap;
    return {cage_common::CornerBar(bars, a, m.dir_x1, m.dir_y1, 0)};
  }
  const auto main_bar = cage_common::CornerBar(bars, a, m.dir_x1, m.dir_y1, 0);
  // The starter stands beside the upper column's corner bar. In the corner's
  // frame: across along the other face (the move), along the placement line.
  const Point2D corner = Plan(m.start_point);
  const Point2D along =
      Scale(Sub(Plan(m.end_point), corner), 1 / Plan(m.end_point).GetDistance(corner));
  const Point2D rel = Sub(c.to[0], corner);
  const double y = Dot(rel, along);
  const double x = Length(Sub(rel, Scale(along, y)));
  bars.Height = geomkit::round_down(2 * c.lap + S + c.extra);
  bars.Concr_Bottom = y - D / 2;
  const auto starter = cage_common::CornerBar(bars, x, m.dir_x1, m.dir_y1, H - c.lap - c.extra);
  return {main_bar, starter};
}

Placements Reinforcement::Add_Rebar_Placement(const AddRebarPlacementArgs& r) {
  const double c = v_.Concr_Cover, ds = v_.Main_Stirrup_Diameter, D = v_.Main_Diameter,
               d = r.diameter;
  const double H = Column_Height_, S = Slab_Above_;
  const double b = c + ds + d / 2;
  const double o = c + ds + D;
  const bool x_side = r.index == "X";
  const double side = r.start_point.GetDistance(r.end_point);
  const double e = cage_common::SideBarEndCover(o, side, r.number, d);
  (void)crank_length(r.point_ref, r.point_line1, r.point_line2, d, r.diameter_above);
  // The face this row stands on: its start corner's face, run forwards.
  const std::size_t f = CornerIndex(r.start_point);
  const CarriedBars& carried = CarriedUp().faces[f];
  const Point2D s0 = Plan(r.start_point);
  const Point2D u = layout_.Along(f), w = layout_.Inward(f);
  // The row's moves: across its face for the faces along the plan angle
  // second, for the others first.
  const auto moves = [&](double across_face) {
    return cage_common::SideMove{
        x_side ? 0 : across_face, x_side ? across_face : 0, r.dir_x1, r.dir_y1, r.dir_x2, r.dir_y2};
  };
  cage_common::StraightBarsArgs bars{.values = v_,
                                     .start_point = r.start_point,
                                     .end_point = r.end_point,
                                     .diameter = d,
                                     .Height = geomkit::round_down(H + S - 50),
                                     .number = r.number,
                                     .Concr_Bottom = e,
                                     .Concr_Top = e,
                                     .angle = angle_,
                                     .direction = direction_};
  if (carried.kind == Carried::Kind::Straight) {
    bars.Height = H + S + carried.lap;
    return {cage_common::SideBars(bars, moves(b))};
  }
  if (carried.kind == Carried::Kind::Cranked) {
    // One placement where every bar of the row moves alike, else one a bar.
    const auto crank = [&](const Point2D& move, double number, double cover,
                           const Point3D& line_end) {
      return pierplace::Crank_Count_Move({
          .bending_roller = cage_common::BendingRoller(d),
          .steel_grade = v_.steel_grade,
          .Concr_Cover = cover,
          .Concr_Grade = v_.Concr_Grade,
          .points = CrankTo(H, S, Length(move), carried.lap, d),
          .point1 = r.start_point,
          .point2 = line_end,
          .diameter = d,
          .X_Angel = 90,
          .Y_Angle = 0,
          .Z_Angle = Deg(std::atan2(move.Y(), move.X())),
          .Number = number,
          .Move_length1 = moves(b).Move_length1,
          .Move_length2 = moves(b).Move_length2,
          .angle = angle_,
          .dir_x = r.dir_x1,
          .dir_y = r.dir_y1,
          .delta_x = 0,
          .delta_y = 0,
          .delta_z = 0,
          .dir_x2 = r.dir_x2,
          .dir_y2 = r.dir_y2,
          .delta_x2 = 0,
          .delta_y2 = 0,
          .delta_z2 = 0,
          .direction = static_cast<double>(direction_),
      });
    };
    const Point2D first = Sub(carried.to[0], carried.from[0]);
    bool alike = true;
    for (std::size_t j = 1; j < carried.from.size(); ++j) {
      alike = alike && Length(Sub(Sub(carried.to[j], carried.from[j]), first)) < 1e-6;
    }
    if (alike) return crank(first, r.number, e, r.end_point);
    Placements out;
    for (std::size_t j = 0; j < carried.from.size(); ++j) {
      // A line of twice the bar's distance from the start corner, with
      // that distance as both covers, holds the one bar where it stands.
      const double t = Dot(Sub(carried.from[j], s0), u);
      const auto one = crank(Sub(carried.to[j], carried.from[j]), 1, t - d / 2,
                             r.start_point + HostGeo::Vector3D(u.X(), u.Y(), 0) * (2 * t));
      out.insert(out.end(), one.begin(), one.end());
    }
    return out;
  }
  Placements result{cage_common::SideBars(bars, moves(b))};
  if (carried.to.empty()) return result;
  // Starters beside the upper column's side bars: evenly along the face at
  // one depth where the faces are parallel, one placement a bar otherwise.
  auto starter = bars;
  starter.Height = geomkit::round_down(2 * r.starter + S + carried.extra);
  std::vector<double> along, depth;
  for (const auto& t : carried.to) {
    along.push_back(Dot(Sub(t, s0), u));
    depth.push_back(Dot(Sub(t, s0), w));
  }
  bool even = true;
  for (std::size_t j = 1; j < along.size(); ++j) {
    even = even && std::abs(depth[j] - depth[0]) < 1e-6 &&
           (j < 2 || std::abs((along[j] - along[j - 1]) - (along[1] - along[0])) < 1e-6);
  }
  const double lift = H - r.starter - carried.extra;
  if (even) {
    starter.number = static_cast<double>(along.size());
    starter.Concr_Bottom = along.front() - d / 2;
    starter.Concr_Top = side - along.back() - d / 2;
    auto move = moves(depth[0]);
    move.delta_z = lift;
    result.push_back(cage_common::SideBars(starter, move));
    return result;
  }
  for (std::size_t j = 0; j < along.size(); ++j) {
    starter.number = 1;
    starter.Concr_Bottom = along[j] - d / 2;
    starter.Concr_Top = side - along[j] - d / 2;
    auto move = moves(depth[j]);
    move.delta_z = lift;
    result.push_back(cage_common::SideBars(starter, move));
  }
  return result;
}

void Reinforcement::check_input() {
  cage_common::CheckWallRatio(Column_Width_, Column_Length_);
  using cage_common::RoundTo;
  if (RoundTo(Column_Width_, 2) < RoundTo(Column_above_Width_, 2) ||
      RoundTo(Column_Length_, 2) < RoundTo(Column_above_Length_, 2)) {
    HostUtil::ShowMessageBox(cage_common::kAboveLargerMessage, HostUtil::MB_OK);
    Block("a column above larger than this one");
  }
  if (cage_common::CheckMinWidth(
          {Column_Width_, Column_above_Width_, Column_above_Length_, Column_Length_})) {
    Block("a width below 200 mm");
  }
  // The bars carried up bridge the floor between the two columns: a floor
  // no building has, or columns that overlap, is no pair to reinforce.
  const double gap = Column_above_[0].Values()[2] - Column_[7].Values()[2];
  if (gap < -1e-6 || gap > cage_common::kMaxSlabAbove + 1e-6) {
    const std::string where =
        gap < 0 ? "starts " + cage_common::Mm(-gap) + " mm below this column's top"
                : "stands " + cage_common::Mm(gap) + " mm above this column's top, more than the " +
                      cage_common::Mm(cage_common::kMaxSlabAbove) +
                      " mm of floor a stacked cage bridges";
    cage_common::Report(
        {cage_common::Blocking("the gap to the column above",
                               "the column above " + where + ". Pick the columns one at a time.")},
        blocked_);
    error_ = true;
  }
}

void Reinforcement::check_output() {
  const bool refused_at_input = error_;
  const double Asmax = cage_common::MaxSteelArea(Column_Width_, Column_Length_);
  const double steel_area = cage_common::SteelArea(
      v_.Main_Diameter, v_.Add_X_Number, v_.Add_X_Diameter, v_.Add_Y_Number, v_.Add_Y_Diameter);
  if (cage_common::CheckSteelRatio(steel_area, Asmax)) Block("more than 9 % steel");
  // Where the starters overlap, the bars of both columns lie side by side;
  // the limit is the upper column's.
  const double Asmax_above = cage_common::MaxSteelArea(Column_above_Width_, Column_above_Length_);
  const double steel_area_lap_area =
      steel_area + cage_common::SteelArea(Main_Diameter_Above_, Add_X_Number_Above_,
                                          Add_X_Diameter_Above_, Add_Y_Number_Above_,
                                          Add_Y_Diameter_Above_);
  if (steel_area_lap_area > Asmax_above) {
    HostUtil::ShowMessageBox(cage_common::kSpliceRatioMessage, HostUtil::MB_OK);
  }
  cage_common::CheckCover(v_.Exposure, v_.Main_Diameter, v_.Concr_Cover, v_.Main_Stirrup_Diameter);
  // A section its input checks refused has no bars worth judging further.
  if (!refused_at_input && cage_common::Report(DetailingFindings(), blocked_)) error_ = true;
}

std::vector<cage_common::Finding> Reinforcement::DetailingFindings() {
  using cage_common::Mm;
  std::vector<cage_common::Finding> out;
  cage_common::CheckClearSpacing(layout_, v_.Aggregate_Size, out);
  auto held = cage_common::HeldBars(v_, below_);
  held.push_back({"corner bars of the column above", Main_Diameter_Above_});
  if (Add_X_Number_Above_ > 0 || Add_Y_Number_Above_ > 0) {
    held.push_back({"side bars of the column above",
                    std::max(Add_X_Number_Above_ > 0 ? Add_X_Diameter_Above_ : 0.0,
                             Add_Y_Number_Above_ > 0 ? Add_Y_Diameter_Above_ : 0.0)});
  }
  cage_common::CheckLinkDiameter(v_.Main_Stirrup_Diameter, held, out);
  cage_common::CheckTieRoom(layout_, v_, LinkRuns(), out);
  cage_common::CheckTieClashes(Ties().clashes, out);
  cage_common::CheckMinimumSteel(
      cage_common::SteelArea(v_.Main_Diameter, v_.Add_X_Number, v_.Add_X_Diameter, v_.Add_Y_Number,
                             v_.Add_Y_Diameter),
      Column_Width_, Column_Length_, out);
  cage_common::CheckRestraint(layout_, v_, out);
  cage_common::CheckBarsFromBelow(below_, layout_, v_, out);

  const Carried& carried = CarriedUp();
  // Every bar carried up ends at least the cover below the upper column's
  // top, and stands inside this column's links where it laps its bars.
  const double room = Column_above_Top_ - Concr_Cover_Above_ - Column_above_Bottom_;
  const struct {
    const char* what;
    const CarriedBars* bars;
  } groups[] = {{"corner bars", &carried.corners[0]},
                {"side bars of the X faces", &carried.faces[0]},
                {"side bars of the Y faces", &carried.faces[1]}};
  for (const auto& g : groups) {
    if (g.bars->to.empty()) continue;
    if (g.bars->lap > room + 1e-6) {
      out.push_back(cage_common::Blocking(
          "the lap's room in the column above",
          "the column above (" + cage_common::DescribeColumn(Column_above_) + ") is " +
              Mm(Column_above_Height_) + " mm high: the " + Mm(g.bars->diameter) + " mm " + g.what +
              " carried into it need a lap of " + Mm(g.bars->lap) +
              " mm above its bottom, and it has room for " + Mm(std::max(0.0, room)) +
              " mm (its height less the " + Mm(Concr_Cover_Above_) +
              " mm cover at its top). Reinforce the two columns apart, or lap with couplers."));
      break;
    }
  }
  std::vector<cage_common::LinkZone> laps;
  if (below_.lap_diameter > 0) laps.push_back({Column_Bottom_, below_.lap_top, 0});
  double extra = 0;
  bool starters = false;
  for (const auto* set : {&carried.corners, &carried.faces}) {
    for (const auto& c : *set) {
      if (c.kind != Carried::Kind::Starters || c.to.empty()) continue;
      starters = starters || c.diameter > geomkit::kLapLinkDiameter;
      extra = std::max(extra, c.extra);
      if (c.diameter > geomkit::kLapLinkDiameter) {
        laps.push_back({Column_Top_ - c.lap - c.extra, Column_Top_, 0});
      }
    }
  }
  (void)starters;
  // Bars carried up stand inside this column's links where they pass its top,
  // and beside the upper column's bars: in contact, or no further off than a
  // lap allows.
  double outside = 0, apart = 0, apart_limit = 0;
  for (const auto* set : {&carried.corners, &carried.faces}) {
    for (const auto& c : *set) {
      if (c.to.empty()) continue;
      outside = std::max(outside, c.outside);
      if (c.push - geomkit::MaxLapClearDistance(c.diameter) > apart - apart_limit) {
        apart = c.push;
        apart_limit = geomkit::MaxLapClearDistance(c.diameter);
      }
    }
  }
  if (outside > 1e-6) {
    out.push_back(cage_common::Blocking(
        "the column above standing out",
        "the column above stands out over this one: its bars would be lapped " + Mm(outside) +
            " mm outside this column's links. Reinforce the two columns apart."));
  }
  if (apart > apart_limit + 1e-6) {
    out.push_back(cage_common::Blocking(
        "laps too far apart",
        "the bars carried up must keep clear of this column's bars and stay inside its links, "
        "which puts them " +
            Mm(apart) + " mm clear of the upper column's bars; a lap allows " + Mm(apart_limit) +
            " mm (EN 1992-1-1 8.7.2(3)). Match the covers, links and side bars of the two "
            "columns more closely."));
  }
  cage_common::CheckLinkZones({.values = v_,
                               .smallest_bar = cage_common::SmallestBar(v_),
                               .least_dimension = Column_Width_,
                               .larger_dimension = Column_Length_,
                               .laps_needing_links = laps,
                               .runs = LinkRuns()},
                              out);
  return out;
}

void Reinforcement::Prepare_Parameters() {
  auto& p = *build_ele_;
  cage_common::CageValues palette;
  cage_common::CopyBars(p, palette);
  cage_common::WriteSpacings(
      p, cage_common::MainSpacingLimit(palette.Main_Diameter, cage_common::SmallestBar(palette),
                                       Column_Width_));
  // The zones cover the starters' laps below the top and the column's larger
  // side at each end.
  double extra = 0;
  for (const auto& c : CarriedUp().corners) extra = std::max(extra, c.extra);
  const double zone =
      geomkit::round_up(std::max(std::trunc(Main_Starter_ + extra), Column_Length_));
  p["Add_Stirrup_Top_Length"].SetValue(zone);
  p["Add_Stirrup_Bot_Length"].SetValue(zone);
  if (palette_service_) palette_service_->update_palette(-1, false);
}

}  // namespace cage_stacked

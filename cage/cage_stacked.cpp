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

// The upper column normalised on its own may start at another corner than
// the lower one (an edge at exactly 45 degrees can go either way). Its
// corners are turned so that each stands over the lower corner of the same
// number: its first edge is the one closest in direction to the lower
// column's first edge.
PointList AlignUpper(const PointList& lower, const PointList& upper) {
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
    HostInput::CoordinateInput& /*coord_input*/, std::string tool_path,
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
  Column_above_ = AlignUpper(Column_, Column_above_);
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
}

double Reinforcement::StarterLength(double diameter) const {
  const double d = std::trunc(diameter);
  const std::string text = Calculate_Type_ == "Tension"
                               ? geomkit::lap_length_for_tension(tool_path_, d, v_.Concr_Grade)
                               : geomkit::lap_length_for_anchorage(tool_path_, d, v_.Concr_Grade);
  return geomkit::round_up(static_cast<double>(std::stoll(text)));
}

Placements Reinforcement::Rebars() {
  Placements result = Stirrup();
  for (auto part : {MainRebars(), AddX(), AddY()}) {
    result.insert(result.end(), part.begin(), part.end());
  }
  if (error_) return {};
  return result;
}

Placements Reinforcement::Stirrup() { return cage_common::ColumnStirrups(v_, Column_, angle_); }

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

namespace {

// Offsets measured against a reference side, told apart into the part along
// the placement line (towards the end point) and the part across it (the
// direction of the bar's other move).
struct Split {
  double along_line;
  double across_line;
};
Split SplitOffsets(const std::array<double, 3>& crank, const Point3D& line1, const Point3D& line2,
                   const Point3D& start, const Point3D& end) {
  const auto ref = HostGeo::Vector3D(line1, line2).Normalized();
  const auto run = HostGeo::Vector3D(start, end).Normalized();
  const bool ref_along_run = std::abs(ref.X() * run.X() + ref.Y() * run.Y()) > 0.5;
  return ref_along_run ? Split{crank[0], crank[1]} : Split{crank[1], crank[0]};
}

}  // namespace

Placements Reinforcement::Main_Rebar_Placement(const MainRebarPlacementArgs& m) {
  const double c = v_.Concr_Cover, ds = v_.Main_Stirrup_Diameter, D = v_.Main_Diameter;
  const double H = Column_Height_, S = Slab_Above_;
  const double a = c + ds + D / 2;  // a corner bar's axis from both faces, touching the stirrup
  const double o = c + ds + D;
  const auto crank = crank_length(m.point_ref, m.point_line1, m.point_line2, v_.Main_Diameter,
                                  Main_Diameter_Above_);
  const CornerCrank corner = DecideCorner(m);
  const auto points = pierplace::crank_shape(H - 200, S + 200, corner.kappa, Main_Starter_);
  if (corner.cranked) {
    return pierplace::Crank_Count_Move({
        .bending_roller = v_.bending_roller,
        .steel_grade = v_.steel_grade,
        .Concr_Cover = 0,
        .Concr_Grade = v_.Concr_Grade,
        .points = points,
        .point1 = m.start_point,
        .point2 = m.end_point,
        .diameter = D,
        .X_Angel = 90,
        .Y_Angle = 0,
        .Z_Angle = corner.Z,
        .Number = 1,
        .Move_length1 = a,
        .Move_length2 = c + ds,  // with the bar's half diameter from the line: a
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
                                     .Concr_Bottom = c + ds,
                                     .Concr_Top = 0,
                                     .angle = angle_,
                                     .direction = direction_};
  const auto main_bar = cage_common::CornerBar(bars, a, m.dir_x1, m.dir_y1, 0);
  // The starter stands beside the upper column's corner bar, D/2 + 1.15 ds
  // further in each way; it starts s_m below the top of the lower column.
  // Where the upper bar stands further out than the lower one, the starter
  // keeps to the lower bar's line so that the two do not clash.
  const Split offset =
      SplitOffsets(crank, m.point_line1, m.point_line2, m.start_point, m.end_point);
  bars.Height = geomkit::round_down(2 * Main_Starter_ + S);
  bars.Concr_Bottom = c + ds + D / 2 + std::max(offset.along_line, 0.0) + 1.15 * ds;
  const auto starter =
      cage_common::CornerBar(bars, o + std::max(offset.across_line, 0.0) + 1.15 * ds, m.dir_x1,
                             m.dir_y1, H - Main_Starter_);
  return {main_bar, starter};
}

namespace {
// Shortest distance in plan between segments pq and rs.
double PlanSegmentDistance(double px, double py, double qx, double qy, double rx, double ry,
                           double sx, double sy) {
  const auto to_segment = [](double x, double y, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(x - ax - t * dx, y - ay - t * dy);
  };
  const double cross1 = (qx - px) * (ry - py) - (qy - py) * (rx - px);
  const double cross2 = (qx - px) * (sy - py) - (qy - py) * (sx - px);
  const double cross3 = (sx - rx) * (py - ry) - (sy - ry) * (px - rx);
  const double cross4 = (sx - rx) * (qy - ry) - (sy - ry) * (qx - rx);
  if ((cross1 > 0) != (cross2 > 0) && (cross3 > 0) != (cross4 > 0)) return 0;
  return std::min({to_segment(px, py, rx, ry, sx, sy), to_segment(qx, qy, rx, ry, sx, sy),
                   to_segment(rx, ry, px, py, qx, qy), to_segment(sx, sy, px, py, qx, qy)});
}
}  // namespace

Reinforcement::CornerCrank Reinforcement::DecideCorner(const MainRebarPlacementArgs& m) const {
  const auto crank = crank_length(m.point_ref, m.point_line1, m.point_line2, v_.Main_Diameter,
                                  Main_Diameter_Above_);
  // The cranked bar's upper leg stands beside the upper column's corner bar,
  // 1.15 bar diameters further into the upper column. Its own axis keeps at
  // least half its diameter inside the upper stirrup, also where it is the
  // thicker bar; where an offset points outwards the clearance is taken
  // inwards only.
  const double clearance = 1.15 * std::max(v_.Main_Diameter, Main_Diameter_Above_);
  const double thicker = std::max(0.0, (v_.Main_Diameter - Main_Diameter_Above_) / 2);
  const double tx = crank[0] + thicker, ty = crank[1] + thicker;
  double wx = std::max(tx, 0.0), wy = std::max(ty, 0.0);
  const double wl = std::hypot(wx, wy);
  if (wl > 0) {
    wx /= wl;
    wy /= wl;
  } else {
    wx = 1;
    wy = 0;
  }
  const double vx = tx + clearance * wx, vy = ty + clearance * wy;
  CornerCrank out;
  const auto ref = HostGeo::Vector3D(m.point_line1, m.point_line2).Normalized();
  const auto run = HostGeo::Vector3D(m.start_point, m.end_point).Normalized();
  const bool ref_along_run = std::abs(ref.X() * run.X() + ref.Y() * run.Y()) > 0.5;
  out.inward_x = ref_along_run ? vy : vx;
  out.inward_y = ref_along_run ? vx : vy;
  out.kappa = std::hypot(vx, vy);
  out.Z = angle_.GetDeg() + m.delta_rot_z + Deg(std::atan2(vy, vx));
  out.cranked = crank[2] <= 50 && CrankClearsSideBars(m, vx, vy);
  return out;
}

bool Reinforcement::CrankClearsSideBars(const MainRebarPlacementArgs& m, double vx,
                                        double vy) const {
  // In the corner's own frame: x runs along the X faces into the section, y
  // along the Y faces. The crank (vx, vy) is measured against the reference
  // side; it is turned into that frame first.
  const auto ref = HostGeo::Vector3D(m.point_line1, m.point_line2).Normalized();
  const auto run = HostGeo::Vector3D(m.start_point, m.end_point).Normalized();
  const bool ref_along_run = std::abs(ref.X() * run.X() + ref.Y() * run.Y()) > 0.5;
  const double ix = ref_along_run ? vy : vx, iy = ref_along_run ? vx : vy;
  const double c = v_.Concr_Cover, ds = v_.Main_Stirrup_Diameter, D = v_.Main_Diameter;
  const double a = c + ds + D / 2, o = c + ds + D;
  const double side_x = Column_[0].GetDistance(Column_[1]),
               side_y = Column_[1].GetDistance(Column_[2]);
  // Side bars may crank inwards by up to 35 themselves: each is taken as the
  // stretch it may cover.
  for (int j = 1; j <= static_cast<int>(v_.Add_X_Number); ++j) {
    const double along = o + j * (side_x - 2 * o) / (v_.Add_X_Number + 1),
                 b = c + ds + v_.Add_X_Diameter / 2;
    if (PlanSegmentDistance(a, a, a + ix, a + iy, along, b, along, b + 35) <
        (D + v_.Add_X_Diameter) / 2)
      return false;
  }
  for (int j = 1; j <= static_cast<int>(v_.Add_Y_Number); ++j) {
    const double along = o + j * (side_y - 2 * o) / (v_.Add_Y_Number + 1),
                 b = c + ds + v_.Add_Y_Diameter / 2;
    if (PlanSegmentDistance(a, a, a + ix, a + iy, b, along, b + 35, along) <
        (D + v_.Add_Y_Diameter) / 2)
      return false;
  }
  return true;
}

double Reinforcement::InsetAlong(const Point3D& corner, const Point3D& towards) const {
  // The upper column's face that crosses the row near `corner`: its inset
  // is the offset of the upper corner over `corner` along the row.
  const auto it = std::find(Column_.begin(), Column_.begin() + 4, corner);
  const std::size_t k = static_cast<std::size_t>(it - Column_.begin());
  const auto u = HostGeo::Vector3D(corner, towards).Normalized();
  const auto v = HostGeo::Vector3D(corner, Column_above_[k]);
  return u.X() * v.X() + u.Y() * v.Y();
}

Point2D Reinforcement::CornerUpperPosition(std::size_t k) const {
  // Each side row asks for the corners at its ends; the answer never
  // changes for one cage.
  if (!corner_upper_[k]) corner_upper_[k] = FindCornerUpperPosition(k);
  return *corner_upper_[k];
}

Point2D Reinforcement::FindCornerUpperPosition(std::size_t k) const {
  const MainRebarPlacementArgs m = CornerArgs(k);
  const double c = v_.Concr_Cover, ds = v_.Main_Stirrup_Diameter, D = v_.Main_Diameter;
  const double a = c + ds + D / 2;
  // The corner's frame: y along the placement line, x along the other face.
  const Point2D corner = Plan(Column_[k]);
  const Point2D along_y = Plan(m.end_point);
  const Point2D along_x =
      Plan(Column_[(k + 1) % 4] == m.end_point ? Column_[(k + 3) % 4] : Column_[(k + 1) % 4]);
  const auto unit = [&](const Point2D& to) {
    const double l = corner.GetDistance(to);
    return Point2D{(to.X() - corner.X()) / l, (to.Y() - corner.Y()) / l};
  };
  const Point2D ux = unit(along_x), uy = unit(along_y);
  const CornerCrank cc = DecideCorner(m);
  double x = 0, y = 0;
  if (cc.cranked) {
    x = a + cc.inward_x;
    y = a + cc.inward_y;
  } else {
    const auto crank =
        crank_length(m.point_ref, m.point_line1, m.point_line2, D, Main_Diameter_Above_);
    const Split offset =
        SplitOffsets(crank, m.point_line1, m.point_line2, m.start_point, m.end_point);
    x = a + D / 2 + std::max(offset.across_line, 0.0) + 1.15 * ds;
    y = a + D / 2 + std::max(offset.along_line, 0.0) + 1.15 * ds;
  }
  return {corner.X() + ux.X() * x + uy.X() * y, corner.Y() + ux.Y() * x + uy.Y() * y};
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
  const auto crank = crank_length(r.point_ref, r.point_line1, r.point_line2, d, r.diameter_above);
  // The face gap across the row, and how far the upper column's row of side
  // bars stands in from this row. A bar thicker than the upper column's
  // keeps its own half diameter inside the upper stirrup.
  const double gap = distance_point_toline(r.point_ref, r.point_line1, r.point_line2)[1];
  const double across =
      SplitOffsets(crank, r.point_line1, r.point_line2, r.start_point, r.end_point).across_line +
      std::max(0.0, (d - r.diameter_above) / 2);
  const double crank_distance = std::max(gap, across);

  // The row in plan: from its start corner along u, into the column along w.
  const Point2D s0 = Plan(r.start_point), s1 = Plan(r.end_point), centre = Plan(LowerCentre());
  const Point2D u{(s1.X() - s0.X()) / side, (s1.Y() - s0.Y()) / side};
  Point2D w{-u.Y(), u.X()};
  if ((centre.X() - s0.X()) * w.X() + (centre.Y() - s0.Y()) * w.Y() < 0) w = {u.Y(), -u.X()};
  const auto at = [&](double along, double in) {
    return Point2D{s0.X() + u.X() * along + w.X() * in, s0.Y() + u.Y() * along + w.Y() * in};
  };
  // The corner bars carried up at both ends of the row, and the upper
  // column's corner zones, bound where a side bar carried up may stand.
  const auto corner_index = [&](const Point3D& p) {
    return static_cast<std::size_t>(std::find(Column_.begin(), Column_.begin() + 4, p) -
                                    Column_.begin());
  };
  const Point2D corner_start = CornerUpperPosition(corner_index(r.start_point));
  const Point2D corner_end = CornerUpperPosition(corner_index(r.end_point));
  const double inset_start = InsetAlong(r.start_point, r.end_point);
  const double inset_end = InsetAlong(r.end_point, r.start_point);
  const double o_above = Concr_Cover_Above_ + Main_Stirrup_Diameter_Above_ + Main_Diameter_Above_;
  const auto clear_of_corners = [&](const Point2D& p) {
    return p.GetDistance(corner_start) >= (D + d) / 2 - 1e-9 &&
           p.GetDistance(corner_end) >= (D + d) / 2 - 1e-9;
  };
  // Whether the row's bars, carried up `shift` further in, stand inside the
  // upper column's corner zones and clear of the corner bars.
  const auto carried_up_fits = [&](double shift) {
    const int n = static_cast<int>(r.number);
    for (int j = 0; j < n; ++j) {
      const double t = n == 1 ? e + d / 2 : e + d / 2 + (side - 2 * e - d) * j / (n - 1);
      if (t < inset_start + o_above + d / 2 - 1e-6 || t > side - inset_end - o_above - d / 2 + 1e-6)
        return false;
      if (!clear_of_corners(at(t, b + shift))) return false;
    }
    return true;
  };

  cage_common::StraightBarsArgs bars{.values = v_,
                                     .start_point = r.start_point,
                                     .end_point = r.end_point,
                                     .diameter = d,
                                     .Height = 0,
                                     .number = r.number,
                                     .Concr_Bottom = e,
                                     .Concr_Top = e,
                                     .angle = angle_,
                                     .direction = direction_};
  // The row's moves: across its face for the faces along the plan angle
  // second, for the others first.
  const auto moves = [&](double across_face) {
    return cage_common::SideMove{
        x_side ? 0 : across_face, x_side ? across_face : 0, r.dir_x1, r.dir_y1, r.dir_x2, r.dir_y2};
  };
  const auto points = pierplace::crank_shape(H - 200, S + 200, crank_distance, r.starter);
  if (crank_distance > 0 && crank_distance <= 35 && carried_up_fits(crank_distance)) {
    return pierplace::Crank_Count_Move({
        .bending_roller = v_.bending_roller,
        .steel_grade = v_.steel_grade,
        .Concr_Cover = e,
        .Concr_Grade = v_.Concr_Grade,
        .points = points,
        .point1 = r.start_point,
        .point2 = r.end_point,
        .diameter = d,
        .X_Angel = 90,
        .Y_Angle = 0,
        .Z_Angle = angle_.GetDeg() + r.delta_rot_z,
        .Number = r.number,
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
  }
  Placements starters;
  double length = 0;
  if (gap == 0 && across <= 0 && carried_up_fits(0)) {
    // Flush faces: the side bars run straight on into the upper column.
    length = H + S + r.starter;
  } else {
    length = H + S - 50;
    // The starters stand in the upper column's row of side bars, clear of
    // the lower side bars they overlap, spread evenly between the corner
    // bars carried up at the row's ends (or the upper corner zones, where
    // those reach further).
    const double starter_across = std::max(across, 1.15 * d);
    const auto along_of = [&](const Point2D& p) {
      return (p.X() - s0.X()) * u.X() + (p.Y() - s0.Y()) * u.Y();
    };
    const double zone_start = std::max(inset_start + o_above, along_of(corner_start) + D / 2);
    const double zone_end = std::max(inset_end + o_above, side - along_of(corner_end) + D / 2);
    const double spread = (side - zone_start - zone_end) / (r.number + 1);
    auto starter = bars;
    starter.Height = geomkit::round_down(2 * r.starter + S);
    starter.Concr_Bottom = zone_start + spread - d / 2;
    starter.Concr_Top = zone_end + spread - d / 2;
    auto move = moves(b + starter_across);
    move.delta_z = H - r.starter;
    starters.push_back(cage_common::SideBars(starter, move));
  }
  bars.Height = geomkit::round_down(length);
  Placements result{cage_common::SideBars(bars, moves(b))};
  result.insert(result.end(), starters.begin(), starters.end());
  return result;
}

void Reinforcement::check_input() {
  cage_common::CheckWallRatio(Column_Width_, Column_Length_);
  using cage_common::RoundTo;
  if (RoundTo(Column_Width_, 2) < RoundTo(Column_above_Width_, 2) ||
      RoundTo(Column_Length_, 2) < RoundTo(Column_above_Length_, 2)) {
    HostUtil::ShowMessageBox(cage_common::kAboveLargerMessage, HostUtil::MB_OK);
    error_ = true;
  }
  if (cage_common::CheckMinWidth(
          {Column_Width_, Column_above_Width_, Column_above_Length_, Column_Length_})) {
    error_ = true;
  }
}

void Reinforcement::check_output() {
  const double Asmax = cage_common::MaxSteelArea(Column_Width_, Column_Length_);
  const double steel_area = cage_common::SteelArea(
      v_.Main_Diameter, v_.Add_X_Number, v_.Add_X_Diameter, v_.Add_Y_Number, v_.Add_Y_Diameter);
  if (cage_common::CheckSteelRatio(steel_area, Asmax)) error_ = true;
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
}

void Reinforcement::Prepare_Parameters() {
  auto& p = *build_ele_;
  cage_common::WriteSpacings(p);
  const double zone = geomkit::round_up(std::max(std::trunc(Main_Starter_), Column_Length_));
  p["Add_Stirrup_Top_Length"].SetValue(zone);
  p["Add_Stirrup_Bot_Length"].SetValue(zone);
  if (palette_service_) palette_service_->update_palette(-1, false);
}

}  // namespace cage_stacked

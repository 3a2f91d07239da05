#include "cage/cage_common.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "common/geomkit.h"
#include "placement/pierplace.h"
#include "placement/placekit.h"
#include "shapes/shapekit.h"

namespace cage_common {

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
  v.concrete_cover_props = HostReinf::ConcreteCoverProperties::all(v.Concr_Cover);
  v.bending_roller = 4;
}

Placements ColumnStirrups(CageValues& v, const PointList& c, const HostGeo::Angle& angle) {
  return BuildStirrups({
      .Width = c[0].GetDistance(c[1]),
      .Height = c[1].GetDistance(c[2]),
      .bending_roller = v.bending_roller,
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
  });
}

HostReinf::BarPlacement CornerBar(const StraightBarsArgs& b, double Move_length, double dir_x,
                                  double dir_y, double delta_z) {
  const CageValues& v = b.values;
  return shapekit::Longit_Count_Move({
      .bending_roller = v.bending_roller,
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
      .bending_roller = v.bending_roller,
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

Placements BuildStirrups(const StirrupZones& z) {
  Placements result;
  const double Hook_angle = z.Main_Diameter > 16 ? 90 : 135;
  const double Hook_length = 10 * z.Main_Stirrup_Diameter;
  auto zone = [&](double spacing, const Point3D& point1, const Point3D& point2) {
    const auto placed = placekit::Close_Stirrup({
        .bending_roller = z.bending_roller,
        .steel_grade = z.steel_grade,
        .concrete_cover_props = z.concrete_cover_props,
        .Concr_Cover = z.Concr_Cover,
        .Concr_Grade = z.Concr_Grade,
        .Spacing = spacing,
        .point1 = point1,
        .point2 = point2,
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
  };
  if (z.Add_Stirrup_Top) {
    zone(z.Add_Stirrup_Top_Spacing, geomkit::Offset_z(z.top_point, -z.Add_Stirrup_Top_Length),
         z.top_point);
  } else {
    z.Add_Stirrup_Top_Length = 0;
  }
  if (z.Add_Stirrup_Bot) {
    zone(z.Add_Stirrup_Bot_Spacing, z.bottom_point,
         geomkit::Offset_z(z.bottom_point, z.Add_Stirrup_Bot_Length));
  } else {
    z.Add_Stirrup_Bot_Length = 0;
  }
  zone(z.Main_Stirrup_Spacing, geomkit::Offset_z(z.bottom_point, z.Add_Stirrup_Bot_Length),
       geomkit::Offset_z(z.top_point, -z.Add_Stirrup_Top_Length));
  return result;
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
  double smallest = RoundTo(sides.front(), 1);
  for (double s : sides) smallest = std::min(smallest, RoundTo(s, 1));
  if (smallest < 200) {
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

void WriteSpacings(HostBaseElements::BuildingElement& build_ele) {
  const double main =
      geomkit::round_to_10(std::min(12 * build_ele["Main_Diameter"].Number(), 200.0));
  build_ele["Main_Stirrup_Spacing"].SetValue(main);
  const double extra = geomkit::round_to_10(0.6 * main);
  build_ele["Add_Stirrup_Top_Spacing"].SetValue(extra);
  build_ele["Add_Stirrup_Bot_Spacing"].SetValue(extra);
}

double SideBarEndCover(double o, double side_length, double n, double d) {
  return o + (side_length - 2 * o) / (n + 1) - d / 2;
}

}  // namespace cage_common

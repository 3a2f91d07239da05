// HostReinf: bending shapes, the standard shape builders and bar placements.
//
// A bending shape is a value: the bar's centreline as a 3D polyline with
// sharp corners, its diameter, bending roller (mandrel = roller x d), grades,
// shape type and hooks. Builders return shapes in a local frame at the
// origin; Move and Rotate change a shape in place. A placement repeats one
// shape along a line and lists its bars as 3D polylines.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/common_properties.h"
#include "host/geo.h"

namespace HostReinf {

// CrossTie: a single-leg tie across a section, hooked round the bars it holds.
enum class BendingShapeType { LongitudinalBar, Stirrup, OpenStirrup, Freeform, Mesh, CrossTie };
enum class StirrupType { Column };
enum class HookType { eAnchorage, eStirrup };

const char* ToString(BendingShapeType type);

struct ReinforcementShapeProperties {
  double diameter = 0;        // mm
  double bending_roller = 4;  // mandrel diameter = bending_roller x diameter
  int steel_grade = 4;
  int concrete_grade = 4;  // palette grade value, 1 = C12/15
  BendingShapeType shape_type = BendingShapeType::LongitudinalBar;

  static ReinforcementShapeProperties rebar(double diameter, double bending_roller, int steel_grade,
                                            int concrete_grade, BendingShapeType shape_type);
  bool operator==(const ReinforcementShapeProperties&) const = default;
};

// Covers in mm, measured to the bar's surface.
struct ConcreteCoverProperties {
  double left = 0;
  double right = 0;
  double top = 0;
  double bottom = 0;

  static ConcreteCoverProperties all(double cover);
  bool operator==(const ConcreteCoverProperties&) const = default;
};

// One end of a bar. A length of -1 or an angle of 0 means no hook.
struct Hook {
  double length = -1;  // straight leg after the bend, mm
  double angle = 0;    // bend, degrees
  HookType type = HookType::eAnchorage;
  bool present() const { return length >= 0 && angle != 0; }
  bool operator==(const Hook&) const = default;
};

// Anchorage hook length the host uses when a builder asks for an anchorage
// hook without a length: at least 5d and 50 mm after a bend of 135 degrees or
// more, 10d and 70 mm after a smaller one.
double AnchorageHookLength(double diameter, double angle_deg);

// Dimensions of a standard mesh sheet (mm): length, width.
class MeshData {
 public:
  MeshData(double length, double width) : length_(length), width_(width) {}
  std::pair<double, double> GetDimensions() const { return {length_, width_}; }

 private:
  double length_;
  double width_;
};

class BendingShape {
 public:
  BendingShape() = default;  // an invalid shape
  BendingShape(std::vector<HostGeo::Point3D> polyline, const ReinforcementShapeProperties& props,
               Hook start_hook = {}, Hook end_hook = {});
  // A mesh sheet of a catalogue type, lying in the local xy plane.
  static BendingShape Mesh(const std::string& mesh_type, int concrete_grade = 4);

  bool IsValid() const { return valid_; }
  const std::vector<HostGeo::Point3D>& GetPolyline() const { return polyline_; }
  double GetDiameter() const { return props_.diameter; }
  double GetBendingRoller() const { return props_.bending_roller; }
  // Centreline bend radius: mandrel / 2 + d / 2.
  double GetBendRadius() const { return (props_.bending_roller + 1.0) * props_.diameter / 2.0; }
  int GetSteelGrade() const { return props_.steel_grade; }
  int GetConcreteGrade() const { return props_.concrete_grade; }
  BendingShapeType GetShapeType() const { return props_.shape_type; }
  const ReinforcementShapeProperties& GetProperties() const { return props_; }
  const Hook& GetStartHook() const { return start_hook_; }
  const Hook& GetEndHook() const { return end_hook_; }
  const std::string& GetMeshType() const { return mesh_type_; }
  int GetMeshBendingDirection() const { return 0; }
  // Length of the sharp-cornered centreline polyline, mm.
  double GetPolylineLength() const;

  void Move(const HostGeo::Vector3D& v);
  void Rotate(const HostGeo::RotationAngles& angles);
  bool operator==(const BendingShape&) const = default;

 private:
  bool valid_ = false;
  std::vector<HostGeo::Point3D> polyline_;
  ReinforcementShapeProperties props_;
  Hook start_hook_;
  Hook end_hook_;
  std::string mesh_type_;
};

// Builds a bar from 2D points in the local xy plane. Each point carries the
// cover of the bar's side along the segment that ends there (the first
// point's cover shortens the bar at its start); the trailing cover shortens it
// at its end.
class ReinforcementShapeBuilder {
 public:
  struct PointCover {
    HostGeo::Point2D point;
    double cover = 0;
  };

  void AddPoints(std::vector<PointCover> points, double end_cover);
  void SetHookStart(double length, double angle, HookType type);
  void SetHookEnd(double length, double angle, HookType type);
  void SetAnchorageHookStart(double angle);
  void SetAnchorageHookEnd(double angle);
  // An invalid shape (no points, a zero-length bar) is returned as such, not
  // thrown: the caller asks IsValid().
  BendingShape CreateShape(const ReinforcementShapeProperties& props) const;

  static MeshData GetMeshData(const std::string& mesh_type);

 private:
  struct PendingHook {
    bool set = false;
    bool anchorage = false;
    double length = -1;
    double angle = 0;
    HookType type = HookType::eAnchorage;
  };
  std::vector<PointCover> points_;
  double end_cover_ = 0;
  PendingHook start_;
  PendingHook end_;
};

// The host's standard shape builders. Every shape comes back in a local frame
// at the origin, rotated by `model_angles`.
namespace GeneralReinfShapeBuilder {

// Straight bar along local x from (left, 0) to (length - right, 0); the
// side covers of a straight bar are not used. Hooks: -1 none, 0 an anchorage
// hook of 90 degrees, a positive value a 90-degree hook of that length.
BendingShape create_longitudinal_shape_with_hooks(
    double length, const HostGeo::RotationAngles& model_angles,
    const ReinforcementShapeProperties& shape_props,
    const ConcreteCoverProperties& concrete_cover_props, double start_hook, double end_hook);

struct LongitudinalUserHooksArgs {
  double length;
  HostGeo::RotationAngles model_angles;
  ReinforcementShapeProperties shape_props;
  ConcreteCoverProperties concrete_cover_props;
  double hook_length_start;
  double hook_length_end;
  double hook_angle_start;
  double hook_angle_end;
};
// Straight bar with hooks of the given lengths and angles at each end.
BendingShape create_longitudinal_shape_with_user_hooks(const LongitudinalUserHooksArgs& args);

// Polyline bar through `points` (local xy, z = 0), shortened by `concrete_cover`
// at both ends; hooks as for the straight bar.
BendingShape create_freeform_shape_with_hooks(const std::vector<HostGeo::Point2D>& points,
                                              const HostGeo::RotationAngles& model_angles,
                                              const ReinforcementShapeProperties& shape_props,
                                              double concrete_cover, double start_hook,
                                              double end_hook);

struct OpenStirrupArgs {
  double width;
  double length;
  HostGeo::RotationAngles model_angles;
  ReinforcementShapeProperties shape_props;
  ConcreteCoverProperties concrete_cover_props;
  double hook_length_start;
  double hook_length_end;
  double hook_angle_start;
  double hook_angle_end;
};
// U-shaped stirrup in the section [0, width] x [0, length], open at y = length.
BendingShape create_open_stirrup(const OpenStirrupArgs& args);

struct StirrupUserHooksArgs {
  double width;
  double height;
  HostGeo::RotationAngles model_angles;
  ReinforcementShapeProperties shape_props;
  ConcreteCoverProperties concrete_cover_props;
  StirrupType stirrup_type;
  double hook_length_start;
  double hook_angle_start;
  double hook_length_end;
  double hook_angle_end;
};
// Closed stirrup in the section [0, width] x [0, height]: its outer face keeps
// the cover from each side, both ends meet at the corner nearest the origin
// and end in hooks bent into the section.
BendingShape create_stirrup_with_user_hooks(const StirrupUserHooksArgs& args);

}  // namespace GeneralReinfShapeBuilder

// Largest number of bars one placement may hold.
inline constexpr std::size_t kMaxBarsPerPlacement = 10000;

// A linear bar placement: bar k is the shape translated by from + t_k * u,
// u the unit vector of the line. Covers are measured to the bar's surface, so
// the usable interval runs from cover_start + d/2 to length - cover_end - d/2.
class BarPlacement {
 public:
  enum class Rule { Count, Spacing };

  // Position number, shape, line, covers at its start and end, and either a
  // count or a spacing. Invalid input (NaN, a zero-length line, a negative
  // count, a spacing <= 0, more than kMaxBarsPerPlacement bars) is an error.
  static BarPlacement ByCount(int position, BendingShape shape, const HostGeo::Point3D& from,
                              const HostGeo::Point3D& to, double cover_start, double cover_end,
                              double count);
  static BarPlacement BySpacing(int position, BendingShape shape, const HostGeo::Point3D& from,
                                const HostGeo::Point3D& to, double cover_start, double cover_end,
                                double spacing);

  int GetPositionNumber() const { return position_; }
  void SetPositionNumber(int position) { position_ = position; }
  const BendingShape& GetBendingShape() const { return shape_; }
  const HostGeo::Point3D& GetFromPoint() const { return from_; }
  const HostGeo::Point3D& GetToPoint() const { return to_; }
  double GetCoverStart() const { return cover_start_; }
  double GetCoverEnd() const { return cover_end_; }
  Rule GetRule() const { return rule_; }
  double GetRuleValue() const { return rule_value_; }  // the count or the spacing
  const HostBaseElements::CommonProperties& GetCommonProperties() const { return props_; }
  void SetCommonProperties(const HostBaseElements::CommonProperties& props) { props_ = props; }

  std::size_t GetBarCount() const { return offsets_.size(); }
  // t_k of every bar, mm along the line from its start.
  const std::vector<double>& GetBarOffsets() const { return offsets_; }
  // The translation of bar k from the shape's local frame.
  HostGeo::Vector3D GetBarTranslation(std::size_t k) const;
  // Every bar's centreline in model coordinates.
  std::vector<std::vector<HostGeo::Point3D>> GetBars() const;
  bool operator==(const BarPlacement&) const = default;

 private:
  BarPlacement() = default;
  int position_ = 0;
  BendingShape shape_;
  HostGeo::Point3D from_;
  HostGeo::Point3D to_;
  double cover_start_ = 0;
  double cover_end_ = 0;
  Rule rule_ = Rule::Count;
  double rule_value_ = 0;
  std::vector<double> offsets_;
  HostBaseElements::CommonProperties props_;
};

// The linear placement builders; `position` is the position number.
namespace LinearBarPlacementBuilder {
BarPlacement create_linear_bar_placement_from_to_by_count(int position, const BendingShape& shape,
                                                          const HostGeo::Point3D& from_point,
                                                          const HostGeo::Point3D& to_point,
                                                          double concrete_cover_start,
                                                          double concrete_cover_end, double count);
BarPlacement create_linear_bar_placement_from_to_by_dist(int position, const BendingShape& shape,
                                                         const HostGeo::Point3D& from_point,
                                                         const HostGeo::Point3D& to_point,
                                                         double concrete_cover_start,
                                                         double concrete_cover_end, double spacing);
}  // namespace LinearBarPlacementBuilder

// One mesh sheet: the shape moved to its place and the placement vector
// along which it is laid.
class MeshPlacement {
 public:
  MeshPlacement(int position, const HostGeo::Vector3D& vector, BendingShape shape)
      : position_(position), vector_(vector), shape_(std::move(shape)) {}
  int GetPositionNumber() const { return position_; }
  const HostGeo::Vector3D& GetPlacementVector() const { return vector_; }
  const BendingShape& GetBendingShape() const { return shape_; }
  bool operator==(const MeshPlacement&) const = default;

 private:
  int position_;
  HostGeo::Vector3D vector_;
  BendingShape shape_;
};

using ModelElementList = std::vector<BarPlacement>;

}  // namespace HostReinf

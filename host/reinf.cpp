#include "host/reinf.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <stdexcept>

namespace HostReinf {

const char* ToString(BendingShapeType type) {
  switch (type) {
    case BendingShapeType::LongitudinalBar:
      return "LongitudinalBar";
    case BendingShapeType::Stirrup:
      return "Stirrup";
    case BendingShapeType::OpenStirrup:
      return "OpenStirrup";
    case BendingShapeType::Freeform:
      return "Freeform";
    case BendingShapeType::Mesh:
      return "Mesh";
    case BendingShapeType::CrossTie:
      return "CrossTie";
  }
  return "?";
}

ReinforcementShapeProperties ReinforcementShapeProperties::rebar(double diameter,
                                                                 double bending_roller,
                                                                 int steel_grade,
                                                                 int concrete_grade,
                                                                 BendingShapeType shape_type) {
  if (!std::isfinite(diameter) || !(diameter > 0)) {
    std::ostringstream msg;
    msg << "bar diameter must be a positive number of mm, got " << diameter;
    throw std::invalid_argument(msg.str());
  }
  if (!std::isfinite(bending_roller) || bending_roller < 0) {
    std::ostringstream msg;
    msg << "bending roller must be a non-negative number, got " << bending_roller;
    throw std::invalid_argument(msg.str());
  }
  return {diameter, bending_roller, steel_grade, concrete_grade, shape_type};
}

ConcreteCoverProperties ConcreteCoverProperties::all(double cover) {
  return {cover, cover, cover, cover};
}

double AnchorageHookLength(double diameter, double angle_deg) {
  if (std::abs(angle_deg) >= 135) return std::max(5 * diameter, 50.0);
  return std::max(10 * diameter, 70.0);
}

BendingShape::BendingShape(std::vector<HostGeo::Point3D> polyline,
                           const ReinforcementShapeProperties& props, Hook start_hook,
                           Hook end_hook)
    : polyline_(std::move(polyline)), props_(props), start_hook_(start_hook), end_hook_(end_hook) {
  valid_ = polyline_.size() >= 2 && std::isfinite(props_.diameter) && props_.diameter > 0 &&
           std::all_of(polyline_.begin(), polyline_.end(),
                       [](const HostGeo::Point3D& p) { return p.IsFinite(); });
}

namespace {
struct MeshSheet {
  double length;
  double width;
  double wire;  // mm
};
// The mesh sheets the host knows: length x width of the sheet, wire diameter.
const std::map<std::string, MeshSheet, std::less<>>& MeshCatalogue() {
  static const std::map<std::string, MeshSheet, std::less<>> sheets{
      {"Q188A", {5000, 2150, 6}}, {"Q257A", {5000, 2150, 7}},  {"Q335A", {5000, 2150, 8}},
      {"Q424A", {5000, 2150, 9}}, {"Q524A", {5000, 2150, 10}}, {"R188A", {5000, 2150, 6}},
      {"R257A", {5000, 2150, 7}}, {"R335A", {5000, 2150, 8}},
  };
  return sheets;
}
const MeshSheet& FindSheet(const std::string& mesh_type) {
  const auto& sheets = MeshCatalogue();
  auto it = sheets.find(mesh_type);
  if (it == sheets.end()) {
    std::string known;
    for (const auto& [name, sheet] : sheets) known += (known.empty() ? "" : ", ") + name;
    throw std::invalid_argument("unknown mesh type '" + mesh_type + "'; the host knows " + known);
  }
  return it->second;
}
}  // namespace

BendingShape BendingShape::Mesh(const std::string& mesh_type, int concrete_grade) {
  const MeshSheet& sheet = FindSheet(mesh_type);
  BendingShape shape(
      {{0, 0, 0},
       {sheet.length, 0, 0},
       {sheet.length, sheet.width, 0},
       {0, sheet.width, 0},
       {0, 0, 0}},
      ReinforcementShapeProperties{sheet.wire, 4, 4, concrete_grade, BendingShapeType::Mesh});
  shape.mesh_type_ = mesh_type;
  return shape;
}

MeshData ReinforcementShapeBuilder::GetMeshData(const std::string& mesh_type) {
  const MeshSheet& sheet = FindSheet(mesh_type);
  return {sheet.length, sheet.width};
}

double BendingShape::GetPolylineLength() const {
  double len = 0;
  for (std::size_t i = 1; i < polyline_.size(); ++i)
    len += polyline_[i - 1].GetDistance(polyline_[i]);
  return len;
}

void BendingShape::Move(const HostGeo::Vector3D& v) {
  for (auto& p : polyline_) p = p + v;
}

void BendingShape::Rotate(const HostGeo::RotationAngles& angles) {
  for (auto& p : polyline_) p = angles.Apply(p);
}

}  // namespace HostReinf

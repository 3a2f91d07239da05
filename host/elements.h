// HostElementAdapter: the building model the user picks from, and the
// adapters through which the tool reads an element's geometry, its parent
// and its children.
//
// The model is read from a model file (JSON, see ElementModel::ReadFile). A
// box-shaped element reports its 8 vertices: the bottom face
// counter-clockwise seen from above, starting at the element's first corner
// as the model file lists it, then the top face, each corner above the one
// four places before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/geo.h"

namespace HostElementAdapter {

enum class ElementKind { Column, Wall, WallLayer, WallAxisLine, Opening, Solid };
const char* ToString(ElementKind kind);

// The type of an element adapter, as the host names its element types.
struct TypeUUID {
  std::string uuid;
  bool operator==(const TypeUUID&) const = default;
};
extern const TypeUUID Column_TypeUUID;
extern const TypeUUID Wall_TypeUUID;
extern const TypeUUID WallTier_TypeUUID;  // a layer of a wall
extern const TypeUUID WallAxisLine_TypeUUID;
extern const TypeUUID Opening_TypeUUID;
extern const TypeUUID Solid_TypeUUID;

// The geometry of an element: a body with vertices, or a line (wall axis).
class Geometry {
 public:
  static Geometry Body(std::vector<HostGeo::Point3D> vertices);
  static Geometry Line(const HostGeo::Line3D& line);

  bool IsLine() const { return line_.has_value(); }
  // The body's vertices; a line has none and asking is an error.
  const std::vector<HostGeo::Point3D>& GetVertices() const;
  // The line's end points; a body has none and asking is an error.
  const HostGeo::Point3D& GetStartPoint() const;
  const HostGeo::Point3D& GetEndPoint() const;

 private:
  std::vector<HostGeo::Point3D> vertices_;
  std::optional<HostGeo::Line3D> line_;
};

// One element as the model file gives it, resolved to geometry.
struct Element {
  std::string id;
  ElementKind kind = ElementKind::Solid;
  std::optional<std::size_t> parent;  // index into the model's elements
  std::vector<std::size_t> children;  // in model order
  Geometry geometry = Geometry::Body({});
  // Columns and walls: levels; columns: plan corners counter-clockwise.
  double bottom = 0;
  double top = 0;
  std::vector<HostGeo::Point2D> plan;  // columns: 4 corners; walls: axis start, end
  double thickness = 0;                // walls and layers
  std::string opening_kind;            // openings: "door" or "window"
};

// The sizes a building's elements have, in mm. Elements outside them are
// refused when the model is read or built: no building holds them, and the
// tool would make bars of absurd sizes or counts from them.
namespace Limits {
// Plan coordinates: within any map projection's range of its origin, so that
// models placed in site coordinates are read.
inline constexpr double kPlanCoordinate = 1e10;  // 10,000 km
// Levels: from below the deepest foundation to above the highest site.
inline constexpr double kLevel = 1e7;  // 10 km
inline constexpr double kColumnSideMin = 50;
inline constexpr double kColumnSideMax = 20'000;
inline constexpr double kColumnHeightMin = 100;
inline constexpr double kColumnHeightMax = 100'000;
inline constexpr double kWallThicknessMin = 10;
inline constexpr double kWallThicknessMax = 10'000;
inline constexpr double kWallLengthMax = 1'000'000;
inline constexpr double kWallHeightMin = 100;
inline constexpr double kWallHeightMax = 1'000'000;
}  // namespace Limits

// The largest model file read: some ten million columns.
inline constexpr std::uintmax_t kMaxModelFileBytes = std::uintmax_t{1} << 30;

class ElementModel {
 public:
  // Reads a model file, a regular file of at most kMaxModelFileBytes. Any fault (not JSON, unknown
  // or missing key, wrong type, NaN, duplicate id, degenerate or twisted shape) is an error whose
  // message names the file and the key or element at fault.
  static std::shared_ptr<const ElementModel> ReadFile(const std::string& path);
  // The same from text; `source_name` names the input in messages.
  static std::shared_ptr<const ElementModel> Parse(const std::string& text,
                                                   const std::string& source_name);

  const std::string& GetName() const { return name_; }
  const std::string& GetSourceName() const { return source_name_; }
  const std::vector<Element>& GetElements() const { return elements_; }
  std::optional<std::size_t> Find(const std::string& id) const;
  // Indices of the columns in model order.
  std::vector<std::size_t> GetColumns() const;

  // For building models in code (tests, the generator); checks like Parse.
  class Builder;

 private:
  friend class Builder;
  std::string name_;
  std::string source_name_;
  std::vector<Element> elements_;
  std::unordered_map<std::string, std::size_t> by_id_;
};

class ElementModel::Builder {
 public:
  explicit Builder(std::string name, std::string source_name = "<model>");
  // The model's name, when it is known only after its elements.
  Builder& SetName(std::string name);
  // Corners in either turning sense; stored counter-clockwise starting at the
  // first one given.
  Builder& AddColumn(const std::string& id, const std::vector<HostGeo::Point2D>& corners,
                     double bottom, double top);
  struct LayerSpec {
    std::string id;
    double thickness;
  };
  struct OpeningSpec {
    std::string id;
    std::string kind;  // "door" or "window"
    double start;      // along the axis from its start
    double width;
    double height;
    double sill = 0;  // windows: above the wall's bottom
  };
  Builder& AddWall(const std::string& id, const HostGeo::Point2D& axis_start,
                   const HostGeo::Point2D& axis_end, double thickness, double bottom, double top,
                   const std::vector<LayerSpec>& layers, const std::vector<OpeningSpec>& openings);
  // A further axis line of a wall (a wall gets its own with AddWall).
  Builder& AddAxisLine(const std::string& wall_id, const HostGeo::Point2D& start,
                       const HostGeo::Point2D& end);
  Builder& AddSolid(const std::string& id, const std::vector<HostGeo::Point3D>& vertices);
  // Room for this many elements, for builders that know how many come.
  Builder& Reserve(std::size_t elements);
  // Hands over the model built; the builder starts again with no elements.
  std::shared_ptr<const ElementModel> Build();

 private:
  std::shared_ptr<ElementModel> model_;
  void AddElement(Element element);
};

// A handle to one element of a model; an empty adapter stands for "nothing".
class BaseElementAdapter {
 public:
  BaseElementAdapter() = default;
  BaseElementAdapter(std::shared_ptr<const ElementModel> model, std::size_t index)
      : model_(std::move(model)), index_(index) {}

  bool IsNull() const { return model_ == nullptr; }
  const std::string& GetId() const;
  ElementKind GetKind() const;
  TypeUUID GetElementAdapterType() const;
  // The element's parametric geometry. Free solids have none: asking is an
  // error, and their vertices come from GetModelGeometry.
  const Geometry& GetGeometry() const;
  // The element's model geometry; an empty adapter has an empty body.
  const Geometry& GetModelGeometry() const;
  const Element& GetElement() const;
  const std::shared_ptr<const ElementModel>& GetModel() const { return model_; }
  std::size_t GetIndex() const { return index_; }

  bool operator==(const BaseElementAdapter& other) const {
    return model_ == other.model_ && index_ == other.index_;
  }
  // An adapter compares equal to the type id of its element type.
  bool operator==(const TypeUUID& type) const {
    return !IsNull() && GetElementAdapterType() == type;
  }

 private:
  std::shared_ptr<const ElementModel> model_;
  std::size_t index_ = 0;
};

namespace BaseElementAdapterParentElementService {
// The element's parent (a layer's or an opening's wall); an element at the
// top of the tree has none and gets an empty adapter.
BaseElementAdapter GetParentElement(const BaseElementAdapter& element);
}  // namespace BaseElementAdapterParentElementService

namespace BaseElementAdapterChildElementsService {
// The element's children in model order (for a wall: its layers, its axis
// line and its openings).
std::vector<BaseElementAdapter> GetChildModelElementsFromTree(const BaseElementAdapter& element);
}  // namespace BaseElementAdapterChildElementsService

}  // namespace HostElementAdapter

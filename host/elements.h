// HostElementAdapter: the building model the user picks from, and the
// adapters through which the tool reads an element's geometry, its parent
// and its children.
//
// The model is read from a model file (JSON, see ReadModelFile in host/model_reader.h) or
// from an IFC file (host/ifc_model.h); host/model_reader.h tells them apart.
// A box-shaped element reports its 8 vertices: the bottom face
// counter-clockwise seen from above, starting at the element's first corner
// as the model file lists it, then the top face, each corner above the one
// four places before.
//
// Real models carry rounding noise: a column's section is snapped to the
// rectangle it stands for when it is within the tolerances of FitRectangle,
// here and nowhere else.
#pragma once

#include <array>
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

// Where an element comes from in a source model (an IFC file). Elements of
// a model file have none: every field is empty.
struct ElementSource {
  std::string global_id;
  std::string name;
  std::string tag;
  std::string type_name;
  std::optional<std::size_t> storey;   // index into SourceModel::storeys
  std::vector<std::string> materials;  // names, in the order the file gives them
  bool operator==(const ElementSource&) const = default;
};

// A storey of the source model.
struct SourceStorey {
  std::string global_id;
  std::string name;
  double level = 0;                 // mm: the world z of its placement
  std::optional<double> elevation;  // mm: its Elevation as the file states it
  bool operator==(const SourceStorey&) const = default;
};

// An element of the source model that the host did not take, and why.
struct Refusal {
  std::string id;  // the name the user knows it by (unique in the model)
  ElementSource source;
  std::string reason;  // short, shared by alike refusals: "round section"
  std::string detail;  // what in the file shows it, e.g. "line 12: #40=IFCCIRCLEPROFILEDEF"
};

// A length unit of a source model.
struct LengthUnit {
  double millimetres = 1;  // one unit in mm
  // As the file declares it: an SI unit ("MILLI", "METRE"; the prefix may be
  // empty) or a unit converted from one ("FOOT", 304.8 mm).
  std::string prefix = "MILLI";
  std::string name = "METRE";
  bool converted = false;
  bool operator==(const LengthUnit&) const = default;
};

// What the host knows of the model a source file holds beyond its elements,
// so that outputs can be laid over the source: its units, its frame and its
// storeys, and what it did not take.
struct SourceModel {
  std::string schema;  // "IFC2X3", "IFC4", "IFC4X3_ADD2"
  LengthUnit length_unit;
  // The world coordinate system of the file's 3D context, in the file's
  // units: element coordinates are relative to it, as the file's are.
  std::array<double, 3> world_origin{0, 0, 0};
  std::array<double, 3> world_z{0, 0, 1};
  std::array<double, 3> world_x{1, 0, 0};
  std::vector<SourceStorey> storeys;
  std::vector<Refusal> refused;
  std::size_t columns_in_file = 0;
  std::size_t walls_in_file = 0;
  std::size_t walls_taken = 0;
};

// The section a column's four plan corners stand for. Real models carry
// rounding noise (corners rounded to 0.1 mm, turned and moved far from the
// origin), so corners that lie within kCornerTolerance of a rectangle and
// whose angles are within kAngleTolerance of right are taken as that
// rectangle: its centre is the corners' mean, its direction the mean
// direction of its sides, each side the mean of the two opposite ones, and,
// where the corners carry noise (lie more than a nanometre off that
// rectangle), a side within kWholeMillimetre of a whole millimetre that
// whole millimetre. So the same section gives the same rectangle wherever
// the model places it. The corners keep their order; a corner that moves
// less than a nanometre keeps its coordinates.
inline constexpr double kCornerTolerance = 0.5;   // mm
inline constexpr double kAngleTolerance = 0.05;   // degrees
inline constexpr double kWholeMillimetre = 0.15;  // mm
struct RectangleFit {
  bool fits = false;
  std::vector<HostGeo::Point2D> corners;  // the rectangle's, when it fits
  double worst_corner = 0;                // mm, how far the given corners are from it
  double worst_angle = 0;                 // degrees off right of the worst corner
};
RectangleFit FitRectangle(const std::vector<HostGeo::Point2D>& corners);

class ElementModel;
// Columns standing on each other carry the same noise in their offsets from
// each other, and a stacked cage measures its cranks from them. So for each
// pair (lower, upper; element indices) whose upper column's corners all lie
// within kWholeMillimetre of whole-millimetre offsets along the lower one's
// sides, the upper column is moved onto those offsets (and so made
// parallel to the lower one). Pairs are taken lowest first, so that a
// column is aligned before the one on it. Returns the model itself when
// nothing moves.
std::shared_ptr<const ElementModel> AlignStacked(
    const std::shared_ptr<const ElementModel>& model,
    const std::vector<std::pair<std::size_t, std::size_t>>& pairs);

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
  ElementSource source;                // where the element comes from, if a source model
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
  const std::string& GetName() const { return name_; }
  const std::string& GetSourceName() const { return source_name_; }
  const std::vector<Element>& GetElements() const { return elements_; }
  std::optional<std::size_t> Find(const std::string& id) const;
  // The element a user names: by its id, else by the GlobalId, Name or Tag
  // it has in its source model. A name several elements carry is an error
  // listing them, and so is an element the host did not take, saying why.
  std::size_t Resolve(const std::string& name) const;
  // The source model's units, frame, storeys and refusals; none for a model
  // file.
  const SourceModel* GetSource() const { return source_ ? &*source_ : nullptr; }
  // Indices of the columns in model order.
  std::vector<std::size_t> GetColumns() const;

  // For building models in code (the model readers, tests, the generator).
  class Builder;

 private:
  friend class Builder;
  friend std::shared_ptr<const ElementModel> AlignStacked(
      const std::shared_ptr<const ElementModel>& model,
      const std::vector<std::pair<std::size_t, std::size_t>>& pairs);
  std::string name_;
  std::string source_name_;
  std::vector<Element> elements_;
  std::unordered_map<std::string, std::size_t> by_id_;
  std::optional<SourceModel> source_;
};

class ElementModel::Builder {
 public:
  explicit Builder(std::string name, std::string source_name = "<model>");
  // The model's name, when it is known only after its elements.
  Builder& SetName(std::string name);
  // Corners in either turning sense; stored counter-clockwise starting at the
  // first one given, snapped to the rectangle they stand for when they fit
  // one (FitRectangle).
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
  // Where an element added before comes from.
  Builder& SetElementSource(const std::string& id, ElementSource source);
  Builder& SetSource(SourceModel source);
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

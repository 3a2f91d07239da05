#include "host/elements.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

namespace HostElementAdapter {

using HostGeo::Point2D;
using HostGeo::Point3D;

const TypeUUID Column_TypeUUID{"9b3e5f40-0c2a-4f43-9d7e-column000001"};
const TypeUUID Wall_TypeUUID{"9b3e5f40-0c2a-4f43-9d7e-wall00000001"};
const TypeUUID WallTier_TypeUUID{"9b3e5f40-0c2a-4f43-9d7e-walltier0001"};
const TypeUUID WallAxisLine_TypeUUID{"9b3e5f40-0c2a-4f43-9d7e-wallaxis0001"};
const TypeUUID Opening_TypeUUID{"9b3e5f40-0c2a-4f43-9d7e-opening00001"};
const TypeUUID Solid_TypeUUID{"9b3e5f40-0c2a-4f43-9d7e-solid0000001"};

const char* ToString(ElementKind kind) {
  switch (kind) {
    case ElementKind::Column:
      return "column";
    case ElementKind::Wall:
      return "wall";
    case ElementKind::WallLayer:
      return "wall layer";
    case ElementKind::WallAxisLine:
      return "wall axis line";
    case ElementKind::Opening:
      return "opening";
    case ElementKind::Solid:
      return "solid";
  }
  return "element";
}

Geometry Geometry::Body(std::vector<Point3D> vertices) {
  Geometry g;
  g.vertices_ = std::move(vertices);
  return g;
}

Geometry Geometry::Line(const HostGeo::Line3D& line) {
  Geometry g;
  g.line_ = line;
  return g;
}

const std::vector<Point3D>& Geometry::GetVertices() const {
  if (line_) throw std::logic_error("a line has no vertices; ask for its start and end points");
  return vertices_;
}
const Point3D& Geometry::GetStartPoint() const {
  if (!line_) throw std::logic_error("a body has no start point; ask for its vertices");
  return line_->GetStartPoint();
}
const Point3D& Geometry::GetEndPoint() const {
  if (!line_) throw std::logic_error("a body has no end point; ask for its vertices");
  return line_->GetEndPoint();
}

std::optional<std::size_t> ElementModel::Find(const std::string& id) const {
  auto it = by_id_.find(id);
  if (it == by_id_.end()) return std::nullopt;
  return it->second;
}

std::vector<std::size_t> ElementModel::GetColumns() const {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    if (elements_[i].kind == ElementKind::Column) out.push_back(i);
  }
  return out;
}

// ---------------------------------------------------------------------------

namespace {

std::string Num(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

void RequireFinite(double v, const std::string& where) {
  if (!std::isfinite(v))
    throw std::invalid_argument(where + ": " + Num(v) + " is not a finite number");
}

// A limit as people read it: "50 mm", "20 m", "10 km".
std::string Length(double mm) {
  if (mm >= 1e6) return Num(mm / 1e6) + " km";
  if (mm >= 1e3) return Num(mm / 1e3) + " m";
  return Num(mm) + " mm";
}

// A size within what the elements of a building have: `what()` reads "its
// height", `whose` "the columns of a building". No lower limit when `low` is
// 0. Messages are made only when needed: a model may have millions of these.
template <typename What>
void RequireSize(double v, double low, double high, const std::string& where, What&& what,
                 const char* whose) {
  if (v >= low && v <= high) return;
  const std::string range = low > 0 ? "outside the " + Length(low) + " to " + Length(high)
                                    : "more than the " + Length(high);
  throw std::invalid_argument(where + ": " + what() + " is " + Num(v) + " mm, " + range + " " +
                              whose + " have");
}

// A point's name in messages: "corner 2", "axis start".
std::string PointName(const char* point, int index) {
  return index < 0 ? std::string(point) : std::string(point) + " " + std::to_string(index);
}

void RequirePlan(const Point2D& p, const std::string& where, const char* point, int index = -1) {
  if (std::abs(p.X()) <= Limits::kPlanCoordinate && std::abs(p.Y()) <= Limits::kPlanCoordinate) {
    return;
  }
  const std::string name = PointName(point, index);
  RequireFinite(p.X(), where + " " + name + " x");
  RequireFinite(p.Y(), where + " " + name + " y");
  throw std::invalid_argument(where + ": " + name + " (" + Num(p.X()) + ", " + Num(p.Y()) +
                              ") lies farther than " + Length(Limits::kPlanCoordinate) +
                              " from the model's origin");
}

void RequireLevel(double z, const std::string& where, const char* what, int index = -1) {
  if (std::abs(z) <= Limits::kLevel) return;
  const std::string name = PointName(what, index);
  RequireFinite(z, where + " " + name);
  throw std::invalid_argument(where + ": its " + name + " " + Num(z) + " lies farther than " +
                              Length(Limits::kLevel) + " above or below the model's zero");
}

double Cross(const Point2D& o, const Point2D& a, const Point2D& b) {
  return (a.X() - o.X()) * (b.Y() - o.Y()) - (a.Y() - o.Y()) * (b.X() - o.X());
}

bool SegmentsCross(const Point2D& a, const Point2D& b, const Point2D& c, const Point2D& d) {
  const double d1 = Cross(a, b, c), d2 = Cross(a, b, d), d3 = Cross(c, d, a), d4 = Cross(c, d, b);
  return ((d1 > 0) != (d2 > 0)) && ((d3 > 0) != (d4 > 0)) && d1 != 0 && d2 != 0 && d3 != 0 &&
         d4 != 0;
}

// Box vertices: the bottom face as given, then the same plan corners on top.
std::vector<Point3D> Prism(const std::vector<Point2D>& plan, double bottom, double top) {
  std::vector<Point3D> v;
  for (const auto& p : plan) v.emplace_back(p.X(), p.Y(), bottom);
  for (const auto& p : plan) v.emplace_back(p.X(), p.Y(), top);
  return v;
}

}  // namespace

ElementModel::Builder::Builder(std::string name, std::string source_name)
    : model_(std::make_shared<ElementModel>()) {
  model_->name_ = std::move(name);
  model_->source_name_ = std::move(source_name);
}

ElementModel::Builder& ElementModel::Builder::SetName(std::string name) {
  model_->name_ = std::move(name);
  return *this;
}

void ElementModel::Builder::AddElement(Element element) {
  if (element.id.empty()) {
    throw std::invalid_argument(model_->source_name_ + ": an element has an empty id");
  }
  const std::size_t index = model_->elements_.size();
  if (!model_->by_id_.emplace(element.id, index).second) {
    throw std::invalid_argument(model_->source_name_ + ": the id '" + element.id +
                                "' is used twice; every element needs its own id");
  }
  if (element.parent) model_->elements_[*element.parent].children.push_back(index);
  model_->elements_.push_back(std::move(element));
}

ElementModel::Builder& ElementModel::Builder::AddColumn(const std::string& id,
                                                        const std::vector<Point2D>& corners,
                                                        double bottom, double top) {
  const std::string where = model_->source_name_ + ": column '" + id + "'";
  if (corners.size() != 4) {
    throw std::invalid_argument(where + " needs 4 corners, got " + std::to_string(corners.size()));
  }
  for (std::size_t i = 0; i < 4; ++i) RequirePlan(corners[i], where, "corner", static_cast<int>(i));
  RequireLevel(bottom, where, "bottom");
  RequireLevel(top, where, "top");
  if (!(top > bottom)) {
    throw std::invalid_argument(where + ": top " + Num(top) + " must lie above bottom " +
                                Num(bottom));
  }
  for (std::size_t i = 0; i < 4; ++i) {
    if (corners[i].GetDistance(corners[(i + 1) % 4]) < 1e-6) {
      throw std::invalid_argument(where + ": corners " + std::to_string(i) + " and " +
                                  std::to_string((i + 1) % 4) + " coincide (zero-width section)");
    }
  }
  if (SegmentsCross(corners[0], corners[1], corners[2], corners[3]) ||
      SegmentsCross(corners[1], corners[2], corners[3], corners[0])) {
    throw std::invalid_argument(where +
                                ": the corners are in a twisted order; list them around "
                                "the section, clockwise or counter-clockwise");
  }
  double turn_sign = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const double c = Cross(corners[i], corners[(i + 1) % 4], corners[(i + 2) % 4]);
    if (std::abs(c) < 1e-9 * std::max(1.0, corners[i].GetDistance(corners[(i + 2) % 4]))) {
      throw std::invalid_argument(
          where + ": corners " + std::to_string(i) + ", " + std::to_string((i + 1) % 4) + " and " +
          std::to_string((i + 2) % 4) + " lie on one line (degenerate section)");
    }
    if (turn_sign == 0) turn_sign = c;
    if ((c > 0) != (turn_sign > 0)) {
      throw std::invalid_argument(where +
                                  ": the section is not convex; a column needs a "
                                  "four-cornered convex section");
    }
  }
  RequireSize(
      top - bottom, Limits::kColumnHeightMin, Limits::kColumnHeightMax, where,
      [] { return std::string("its height"); }, "the columns of a building");
  for (std::size_t i = 0; i < 4; ++i) {
    RequireSize(
        corners[i].GetDistance(corners[(i + 1) % 4]), Limits::kColumnSideMin,
        Limits::kColumnSideMax, where,
        [&] {
          return "its side from corner " + std::to_string(i) + " to corner " +
                 std::to_string((i + 1) % 4);
        },
        "the columns of a building");
  }
  // Counter-clockwise seen from above, starting at the first corner given.
  std::vector<Point2D> plan = corners;
  if (turn_sign < 0) plan = {corners[0], corners[3], corners[2], corners[1]};
  Element e;
  e.id = id;
  e.kind = ElementKind::Column;
  e.bottom = bottom;
  e.top = top;
  e.plan = plan;
  e.geometry = Geometry::Body(Prism(plan, bottom, top));
  AddElement(std::move(e));
  return *this;
}

ElementModel::Builder& ElementModel::Builder::AddWall(const std::string& id,
                                                      const Point2D& axis_start,
                                                      const Point2D& axis_end, double thickness,
                                                      double bottom, double top,
                                                      const std::vector<LayerSpec>& layers,
                                                      const std::vector<OpeningSpec>& openings) {
  const std::string where = model_->source_name_ + ": wall '" + id + "'";
  RequirePlan(axis_start, where, "axis start");
  RequirePlan(axis_end, where, "axis end");
  RequireFinite(thickness, where + " thickness");
  RequireLevel(bottom, where, "bottom");
  RequireLevel(top, where, "top");
  const double length = axis_start.GetDistance(axis_end);
  if (!(length > 1e-6)) throw std::invalid_argument(where + ": the axis has zero length");
  if (!(thickness > 0))
    throw std::invalid_argument(where + ": thickness must be positive, got " + Num(thickness));
  if (!(top > bottom)) {
    throw std::invalid_argument(where + ": top " + Num(top) + " must lie above bottom " +
                                Num(bottom));
  }
  const auto named = [](const char* what) { return [what] { return std::string(what); }; };
  RequireSize(length, 0, Limits::kWallLengthMax, where, named("its axis length"),
              "the walls of a building");
  RequireSize(thickness, Limits::kWallThicknessMin, Limits::kWallThicknessMax, where,
              named("its thickness"), "the walls of a building");
  RequireSize(top - bottom, Limits::kWallHeightMin, Limits::kWallHeightMax, where,
              named("its height"), "the walls of a building");
  double layer_sum = 0;
  for (const auto& l : layers) {
    RequireFinite(l.thickness, where + " layer '" + l.id + "' thickness");
    if (!(l.thickness > 0)) {
      throw std::invalid_argument(where + ": layer '" + l.id + "' needs a positive thickness");
    }
    layer_sum += l.thickness;
  }
  if (!layers.empty() && std::abs(layer_sum - thickness) > 1e-6) {
    throw std::invalid_argument(where + ": its layers add up to " + Num(layer_sum) +
                                " mm but the wall is " + Num(thickness) + " mm thick");
  }
  const Point2D u{(axis_end.X() - axis_start.X()) / length,
                  (axis_end.Y() - axis_start.Y()) / length};
  const Point2D n{-u.Y(), u.X()};  // left of the axis
  auto at = [&](double along, double across) {
    return Point2D{axis_start.X() + u.X() * along + n.X() * across,
                   axis_start.Y() + u.Y() * along + n.Y() * across};
  };
  // Plan of a strip of the wall between two offsets across the axis,
  // counter-clockwise.
  auto strip = [&](double a0, double a1, double right, double left) {
    return std::vector<Point2D>{at(a0, right), at(a1, right), at(a1, left), at(a0, left)};
  };
  struct Cut {
    double a0, a1, z0, z1;
  };
  std::vector<Cut> cuts;
  for (const auto& o : openings) {
    const std::string ow = where + " opening '" + o.id + "'";
    RequireFinite(o.start, ow + " start");
    RequireFinite(o.width, ow + " width");
    RequireFinite(o.height, ow + " height");
    RequireFinite(o.sill, ow + " sill");
    if (o.kind != "door" && o.kind != "window") {
      throw std::invalid_argument(ow + ": kind must be \"door\" or \"window\", got \"" + o.kind +
                                  "\"");
    }
    if (!(o.width > 0) || !(o.height > 0)) {
      throw std::invalid_argument(ow + ": width and height must be positive");
    }
    const double sill = o.kind == "door" ? 0.0 : o.sill;
    if (o.start < 0 || o.start + o.width > length + 1e-6 || sill < 0 ||
        sill + o.height > top - bottom + 1e-6) {
      throw std::invalid_argument(ow + " does not fit inside the wall");
    }
    cuts.push_back({o.start, o.start + o.width, bottom + sill, bottom + sill + o.height});
  }
  auto body = [&](double right, double left) {
    std::vector<Point3D> v = Prism(strip(0, length, right, left), bottom, top);
    for (const auto& c : cuts) {
      const auto hole = Prism(strip(c.a0, c.a1, right, left), c.z0, c.z1);
      v.insert(v.end(), hole.begin(), hole.end());
    }
    return v;
  };

  Element wall;
  wall.id = id;
  wall.kind = ElementKind::Wall;
  wall.bottom = bottom;
  wall.top = top;
  wall.plan = {axis_start, axis_end};
  wall.thickness = thickness;
  wall.geometry = Geometry::Body(body(-thickness / 2, thickness / 2));
  const std::size_t wall_index = model_->elements_.size();
  AddElement(std::move(wall));

  double left = thickness / 2;  // the first layer lies on the left of the axis
  for (const auto& l : layers) {
    Element layer;
    layer.id = l.id;
    layer.kind = ElementKind::WallLayer;
    layer.parent = wall_index;
    layer.bottom = bottom;
    layer.top = top;
    layer.thickness = l.thickness;
    layer.geometry = Geometry::Body(body(left - l.thickness, left));
    left -= l.thickness;
    AddElement(std::move(layer));
  }
  AddAxisLine(id, axis_start, axis_end);
  for (std::size_t i = 0; i < openings.size(); ++i) {
    const auto& o = openings[i];
    Element e;
    e.id = o.id;
    e.kind = ElementKind::Opening;
    e.parent = wall_index;
    e.opening_kind = o.kind;
    e.bottom = cuts[i].z0;
    e.top = cuts[i].z1;
    e.geometry = Geometry::Body(Prism(strip(cuts[i].a0, cuts[i].a1, -thickness / 2, thickness / 2),
                                      cuts[i].z0, cuts[i].z1));
    AddElement(std::move(e));
  }
  return *this;
}

ElementModel::Builder& ElementModel::Builder::AddAxisLine(const std::string& wall_id,
                                                          const Point2D& start,
                                                          const Point2D& end) {
  auto wall = model_->Find(wall_id);
  if (!wall || model_->elements_[*wall].kind != ElementKind::Wall) {
    throw std::invalid_argument(model_->source_name_ + ": no wall '" + wall_id +
                                "' for an axis line");
  }
  const double z = model_->elements_[*wall].bottom;
  Element axis;
  std::size_t count = 0;
  for (auto c : model_->elements_[*wall].children) {
    if (model_->elements_[c].kind == ElementKind::WallAxisLine) ++count;
  }
  axis.id = wall_id + "/axis" + (count ? std::to_string(count + 1) : "");
  axis.kind = ElementKind::WallAxisLine;
  axis.parent = *wall;
  axis.plan = {start, end};
  axis.geometry = Geometry::Line(HostGeo::Line3D({start.X(), start.Y(), z}, {end.X(), end.Y(), z}));
  AddElement(std::move(axis));
  return *this;
}

ElementModel::Builder& ElementModel::Builder::AddSolid(const std::string& id,
                                                       const std::vector<Point3D>& vertices) {
  const std::string where = model_->source_name_ + ": solid '" + id + "'";
  if (vertices.empty()) throw std::invalid_argument(where + " has no vertices");
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    if (!vertices[i].IsFinite()) {
      throw std::invalid_argument(where + ": vertex " + std::to_string(i) + " is not finite");
    }
    RequirePlan({vertices[i].X(), vertices[i].Y()}, where, "vertex", static_cast<int>(i));
    RequireLevel(vertices[i].Z(), where, "z of vertex", static_cast<int>(i));
  }
  Element e;
  e.id = id;
  e.kind = ElementKind::Solid;
  e.geometry = Geometry::Body(vertices);
  AddElement(std::move(e));
  return *this;
}

ElementModel::Builder& ElementModel::Builder::Reserve(std::size_t elements) {
  model_->elements_.reserve(elements);
  model_->by_id_.reserve(elements);
  return *this;
}

std::shared_ptr<const ElementModel> ElementModel::Builder::Build() {
  std::shared_ptr<const ElementModel> out = std::move(model_);
  model_ = std::make_shared<ElementModel>();
  model_->name_ = out->name_;
  model_->source_name_ = out->source_name_;
  return out;
}

// ---------------------------------------------------------------------------

const Element& BaseElementAdapter::GetElement() const {
  if (IsNull()) throw std::logic_error("an empty element adapter stands for no element");
  return model_->GetElements().at(index_);
}

const std::string& BaseElementAdapter::GetId() const { return GetElement().id; }
ElementKind BaseElementAdapter::GetKind() const { return GetElement().kind; }

TypeUUID BaseElementAdapter::GetElementAdapterType() const {
  switch (GetKind()) {
    case ElementKind::Column:
      return Column_TypeUUID;
    case ElementKind::Wall:
      return Wall_TypeUUID;
    case ElementKind::WallLayer:
      return WallTier_TypeUUID;
    case ElementKind::WallAxisLine:
      return WallAxisLine_TypeUUID;
    case ElementKind::Opening:
      return Opening_TypeUUID;
    case ElementKind::Solid:
      return Solid_TypeUUID;
  }
  return Solid_TypeUUID;
}

const Geometry& BaseElementAdapter::GetGeometry() const {
  const Element& e = GetElement();
  if (e.kind == ElementKind::Solid) {
    throw std::runtime_error("solid '" + e.id +
                             "' has no parametric geometry; read its model geometry");
  }
  return e.geometry;
}

const Geometry& BaseElementAdapter::GetModelGeometry() const {
  static const Geometry empty = Geometry::Body({});
  if (IsNull()) return empty;
  return GetElement().geometry;
}

namespace BaseElementAdapterParentElementService {
BaseElementAdapter GetParentElement(const BaseElementAdapter& element) {
  const Element& e = element.GetElement();
  if (!e.parent) return {};
  return {element.GetModel(), *e.parent};
}
}  // namespace BaseElementAdapterParentElementService

namespace BaseElementAdapterChildElementsService {
std::vector<BaseElementAdapter> GetChildModelElementsFromTree(const BaseElementAdapter& element) {
  std::vector<BaseElementAdapter> out;
  for (auto c : element.GetElement().children) out.emplace_back(element.GetModel(), c);
  return out;
}
}  // namespace BaseElementAdapterChildElementsService

}  // namespace HostElementAdapter

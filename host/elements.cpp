#include "host/elements.h"

#include <algorithm>
#include <cmath>
#include <numbers>
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

std::size_t ElementModel::Resolve(const std::string& name) const {
  if (const auto index = Find(name)) return *index;
  const auto describe = [](const std::string& id, const ElementSource& s) {
    std::string d = "'" + id + "'";
    if (!s.global_id.empty()) d += " (GlobalId " + s.global_id;
    if (!s.tag.empty()) d += ", Tag " + s.tag;
    if (!s.global_id.empty()) d += ")";
    return d;
  };
  // By GlobalId first: it names one object; then by Name, then by Tag.
  using Field = std::string ElementSource::*;
  for (const Field field : {&ElementSource::global_id, &ElementSource::name, &ElementSource::tag}) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < elements_.size(); ++i) {
      if (elements_[i].source.*field == name) found.push_back(i);
    }
    std::vector<const Refusal*> refused;
    if (source_) {
      for (const auto& r : source_->refused) {
        if (r.source.*field == name) refused.push_back(&r);
      }
    }
    if (found.size() == 1 && refused.empty()) return found.front();
    if (found.empty() && refused.size() == 1) {
      const Refusal& r = *refused.front();
      throw std::invalid_argument(source_name_ + ": " + describe(r.id, r.source) +
                                  " is not taken: " + r.reason +
                                  (r.detail.empty() ? "" : " (" + r.detail + ")"));
    }
    if (found.size() + refused.size() > 1) {
      std::string list;
      for (const auto i : found) list += "\n  " + describe(elements_[i].id, elements_[i].source);
      for (const auto* r : refused) {
        list += "\n  " + describe(r->id, r->source) + ", not taken: " + r->reason;
      }
      const char* what = field == &ElementSource::global_id ? "GlobalId"
                         : field == &ElementSource::name    ? "name"
                                                            : "tag";
      throw std::invalid_argument(source_name_ + ": the " + what + " '" + name +
                                  "' is carried by " +
                                  std::to_string(found.size() + refused.size()) +
                                  " elements; pick one by its id or GlobalId:" + list);
    }
  }
  throw std::invalid_argument("there is no element '" + name + "' in " + source_name_);
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

RectangleFit FitRectangle(const std::vector<Point2D>& corners) {
  RectangleFit fit;
  if (corners.size() != 4) return fit;
  for (const auto& p : corners) {
    if (!std::isfinite(p.X()) || !std::isfinite(p.Y())) return fit;
  }
  // Corners and angles as given.
  for (std::size_t i = 0; i < 4; ++i) {
    const Point2D& a = corners[(i + 3) % 4];
    const Point2D& b = corners[i];
    const Point2D& c = corners[(i + 1) % 4];
    const double ux = a.X() - b.X(), uy = a.Y() - b.Y(), vx = c.X() - b.X(), vy = c.Y() - b.Y();
    const double lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
    if (!(lu > 0) || !(lv > 0)) return fit;
    const double angle =
        std::acos(std::clamp((ux * vx + uy * vy) / (lu * lv), -1.0, 1.0)) * 180 / std::numbers::pi;
    fit.worst_angle = std::max(fit.worst_angle, std::abs(angle - 90));
  }
  // The centre, measured from the first corner so that far-away models lose
  // no digits.
  const Point2D& o = corners[0];
  double cx = 0, cy = 0;
  for (const auto& p : corners) {
    cx += (p.X() - o.X()) / 4;
    cy += (p.Y() - o.Y()) / 4;
  }
  // The direction: the sides' directions folded onto one quarter turn (four
  // times the angle), averaged, and turned back to the first side's.
  double s4 = 0, c4 = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const Point2D& a = corners[i];
    const Point2D& b = corners[(i + 1) % 4];
    const double t = std::atan2(b.Y() - a.Y(), b.X() - a.X());
    const double length = a.GetDistance(b);
    s4 += length * std::sin(4 * t);
    c4 += length * std::cos(4 * t);
  }
  double t = std::atan2(s4, c4) / 4;
  const double first = std::atan2(corners[1].Y() - o.Y(), corners[1].X() - o.X());
  const double quarter = std::numbers::pi / 2;
  t += quarter * std::round((first - t) / quarter);
  const double ux = std::cos(t), uy = std::sin(t), vx = -uy, vy = ux;
  // Half sides from the corners' distances to the centre along each axis.
  double a = 0, b = 0;
  std::array<double, 4> su{}, sv{};
  for (std::size_t i = 0; i < 4; ++i) {
    const double dx = corners[i].X() - o.X() - cx, dy = corners[i].Y() - o.Y() - cy;
    const double pu = dx * ux + dy * uy, pv = dx * vx + dy * vy;
    su[i] = pu < 0 ? -1 : 1;
    sv[i] = pv < 0 ? -1 : 1;
    a += std::abs(pu) / 4;
    b += std::abs(pv) / 4;
  }
  // Two corners on each side of each axis, or it is no rectangle.
  if (su[0] + su[1] + su[2] + su[3] != 0 || sv[0] + sv[1] + sv[2] + sv[3] != 0) return fit;
  const auto place = [&](double half_u, double half_v) {
    fit.corners.clear();
    fit.worst_corner = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const double du = su[i] * half_u, dv = sv[i] * half_v;
      Point2D q(o.X() + (cx + du * ux + dv * vx), o.Y() + (cy + du * uy + dv * vy));
      const double moved = q.GetDistance(corners[i]);
      if (moved < 1e-6) q = corners[i];
      fit.worst_corner = std::max(fit.worst_corner, moved);
      fit.corners.push_back(q);
    }
  };
  place(a, b);
  // Corners with noise (more than a nanometre off their rectangle) have
  // been rounded on their way here: their sides are taken as the whole
  // millimetres they were drawn with. Exact corners keep their sides.
  if (fit.worst_corner >= 1e-6) {
    const auto whole = [](double half) {
      const double side = 2 * half;
      const double rounded = std::round(side);
      return rounded >= 1 && std::abs(side - rounded) <= kWholeMillimetre ? rounded / 2 : half;
    };
    place(whole(a), whole(b));
  }
  fit.fits = fit.worst_corner <= kCornerTolerance && fit.worst_angle <= kAngleTolerance;
  if (!fit.fits) fit.corners.clear();
  return fit;
}

std::shared_ptr<const ElementModel> AlignStacked(
    const std::shared_ptr<const ElementModel>& model,
    const std::vector<std::pair<std::size_t, std::size_t>>& pairs) {
  std::shared_ptr<ElementModel> out;
  auto sorted = pairs;
  std::sort(sorted.begin(), sorted.end(), [&](const auto& a, const auto& b) {
    return model->elements_.at(a.first).bottom < model->elements_.at(b.first).bottom;
  });
  for (const auto& [l, u] : sorted) {
    const auto& elements = out ? out->elements_ : model->elements_;
    const Element& lower = elements.at(l);
    const Element& upper = elements.at(u);
    if (lower.kind != ElementKind::Column || upper.kind != ElementKind::Column) continue;
    const Point2D& o = lower.plan[0];
    const double length = o.GetDistance(lower.plan[1]);
    const double ux = (lower.plan[1].X() - o.X()) / length,
                 uy = (lower.plan[1].Y() - o.Y()) / length;
    std::vector<Point2D> plan;
    bool moved = false;
    for (const auto& p : upper.plan) {
      const double dx = p.X() - o.X(), dy = p.Y() - o.Y();
      const double a = dx * ux + dy * uy, b = -dx * uy + dy * ux;
      const double ra = std::round(a), rb = std::round(b);
      if (std::abs(a - ra) > kWholeMillimetre || std::abs(b - rb) > kWholeMillimetre) break;
      Point2D q(o.X() + ra * ux - rb * uy, o.Y() + ra * uy + rb * ux);
      if (q.GetDistance(p) < 1e-6) q = p;
      moved = moved || !(q == p);
      plan.push_back(q);
    }
    if (plan.size() != 4 || !moved) continue;
    if (!out) out = std::make_shared<ElementModel>(*model);
    Element& e = out->elements_.at(u);
    e.plan = plan;
    e.geometry = Geometry::Body(Prism(plan, e.bottom, e.top));
  }
  return out ? out : model;
}

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
  // Counter-clockwise seen from above, starting at the first corner given,
  // and the rectangle the corners stand for when they fit one.
  const RectangleFit fit = FitRectangle(corners);
  std::vector<Point2D> plan = fit.fits ? fit.corners : corners;
  const std::vector<Point2D> given = plan;
  if (turn_sign < 0) plan = {given[0], given[3], given[2], given[1]};
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

ElementModel::Builder& ElementModel::Builder::SetElementSource(const std::string& id,
                                                               ElementSource source) {
  const auto index = model_->Find(id);
  if (!index) {
    throw std::invalid_argument(model_->source_name_ + ": no element '" + id +
                                "' to set the source of");
  }
  model_->elements_[*index].source = std::move(source);
  return *this;
}

ElementModel::Builder& ElementModel::Builder::SetSource(SourceModel source) {
  model_->source_ = std::move(source);
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

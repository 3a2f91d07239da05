// The host's shape builders. Every shape is built in the local xy plane,
// then rotated into the model by its rotation angles.
//
// The polyline has a sharp corner at every bend; rounding each corner with
// the bend radius R gives the bar as it is bent. So a hook's leg in the
// polyline is its straight tail plus the bend's tangent length R tan(a/2).
// At the closing corner of a closed stirrup a hook bent further than a
// quarter turn is split into two corners: the rest of the bend where the
// tail meets the side's line, R (1 + tan((a - 90)/2)) from the corner, and a
// quarter turn in the corner itself; their rounded arcs share one centre, so
// the bar wraps the mandrel in the corner as a bent link does, and every
// corner of the polyline stays on the link's sides.
//
// At the start of a bar the tail leaves against the direction of travel
// turned clockwise by the hook angle, at the end along the direction of
// travel turned counter-clockwise; so a hook always bends to the left of the
// bar's path, into a section that the path runs around counter-clockwise.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include "host/reinf.h"

namespace HostReinf {
namespace {

using HostGeo::Point2D;
using HostGeo::Point3D;

void RequireFinite(double value, const char* what) {
  if (!std::isfinite(value)) {
    std::ostringstream msg;
    msg << what << " must be a finite number, got " << value;
    throw std::invalid_argument(msg.str());
  }
}

void RequireCovers(const ConcreteCoverProperties& c) {
  RequireFinite(c.left, "the left cover");
  RequireFinite(c.right, "the right cover");
  RequireFinite(c.top, "the top cover");
  RequireFinite(c.bottom, "the bottom cover");
}

Point2D Rotated(const Point2D& v, double deg) {
  const double r = deg / 180.0 * std::numbers::pi;
  return {v.X() * std::cos(r) - v.Y() * std::sin(r), v.X() * std::sin(r) + v.Y() * std::cos(r)};
}

Point2D Unit(const Point2D& from, const Point2D& to) {
  const double len = from.GetDistance(to);
  return {(to.X() - from.X()) / len, (to.Y() - from.Y()) / len};
}

// A hook as the caller asked for it: -1 (or below) none, 0 an anchorage
// hook of the given angle, a positive value a hook of that length.
Hook HookFromLength(double length, double angle, double diameter) {
  RequireFinite(length, "a hook length");
  if (length < 0) return {};
  if (length == 0) return {AnchorageHookLength(diameter, angle), angle, HookType::eAnchorage};
  return {length, angle, HookType::eAnchorage};
}

Hook UserHook(double length, double angle) {
  RequireFinite(length, "a hook length");
  RequireFinite(angle, "a hook angle");
  Hook h{length, angle, HookType::eStirrup};
  return h.present() ? h : Hook{};
}

double BendRadius(const ReinforcementShapeProperties& props) {
  return (props.bending_roller + 1.0) * props.diameter / 2.0;
}

// The tangent length of a bend of `angle` degrees round radius r.
double Tangent(double angle, double r) {
  const double a = std::min(std::abs(angle), 170.0);
  return r * std::tan(a / 360.0 * std::numbers::pi);
}

// Adds the hook tails to a 2D path and lifts it into 3D at z = 0.
std::vector<Point3D> WithHooks(const std::vector<Point2D>& path, const Hook& start, const Hook& end,
                               double bend_radius) {
  std::vector<Point3D> out;
  out.reserve(path.size() + 2);
  if (start.present()) {
    const Point2D back = Unit(path[1], path[0]);
    const Point2D dir = Rotated(back, -start.angle);
    const double leg = start.length + Tangent(start.angle, bend_radius);
    out.emplace_back(path[0].X() + dir.X() * leg, path[0].Y() + dir.Y() * leg, 0);
  }
  for (const auto& p : path) out.emplace_back(p.X(), p.Y(), 0);
  if (end.present()) {
    const std::size_t n = path.size();
    const Point2D fwd = Unit(path[n - 2], path[n - 1]);
    const Point2D dir = Rotated(fwd, end.angle);
    const double leg = end.length + Tangent(end.angle, bend_radius);
    out.emplace_back(path[n - 1].X() + dir.X() * leg, path[n - 1].Y() + dir.Y() * leg, 0);
  }
  return out;
}

BendingShape Finish(std::vector<Point2D> path, const HostGeo::RotationAngles& model_angles,
                    const ReinforcementShapeProperties& props, const Hook& start, const Hook& end) {
  BendingShape shape(WithHooks(path, start, end, BendRadius(props)), props, start, end);
  shape.Rotate(model_angles);
  return shape;
}

// Shortens a path by `start_cut` at its start and `end_cut` at its end.
std::vector<Point2D> Shortened(std::vector<Point2D> path, double start_cut, double end_cut,
                               const char* what) {
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i - 1] == path[i]) {
      throw std::invalid_argument(std::string(what) + ": two consecutive points coincide");
    }
  }
  const double first = path[0].GetDistance(path[1]);
  const std::size_t n = path.size();
  const double last = path[n - 2].GetDistance(path[n - 1]);
  if (n == 2 ? start_cut + end_cut >= first : (start_cut >= first || end_cut >= last)) {
    std::ostringstream msg;
    msg << what << ": end covers of " << start_cut << " and " << end_cut
        << " mm leave nothing of the bar";
    throw std::invalid_argument(msg.str());
  }
  const Point2D u0 = Unit(path[0], path[1]);
  const Point2D u1 = Unit(path[n - 2], path[n - 1]);
  path[0] = {path[0].X() + u0.X() * start_cut, path[0].Y() + u0.Y() * start_cut};
  path[n - 1] = {path[n - 1].X() - u1.X() * end_cut, path[n - 1].Y() - u1.Y() * end_cut};
  return path;
}

}  // namespace

namespace GeneralReinfShapeBuilder {

BendingShape create_longitudinal_shape_with_hooks(
    double length, const HostGeo::RotationAngles& model_angles,
    const ReinforcementShapeProperties& shape_props,
    const ConcreteCoverProperties& concrete_cover_props, double start_hook, double end_hook) {
  RequireFinite(length, "the bar length");
  RequireCovers(concrete_cover_props);
  if (!(length > 0)) {
    std::ostringstream msg;
    msg << "a straight bar needs a positive length, got " << length << " mm";
    throw std::invalid_argument(msg.str());
  }
  const auto path = Shortened({{0, 0}, {length, 0}}, concrete_cover_props.left,
                              concrete_cover_props.right, "straight bar");
  return Finish(path, model_angles, shape_props,
                HookFromLength(start_hook, 90, shape_props.diameter),
                HookFromLength(end_hook, 90, shape_props.diameter));
}

BendingShape create_longitudinal_shape_with_user_hooks(const LongitudinalUserHooksArgs& a) {
  RequireFinite(a.length, "the bar length");
  RequireCovers(a.concrete_cover_props);
  if (!(a.length > 0)) {
    std::ostringstream msg;
    msg << "a straight bar needs a positive length, got " << a.length << " mm";
    throw std::invalid_argument(msg.str());
  }
  const auto path = Shortened({{0, 0}, {a.length, 0}}, a.concrete_cover_props.left,
                              a.concrete_cover_props.right, "straight bar");
  return Finish(path, a.model_angles, a.shape_props,
                UserHook(a.hook_length_start, a.hook_angle_start),
                UserHook(a.hook_length_end, a.hook_angle_end));
}

BendingShape create_freeform_shape_with_hooks(const std::vector<HostGeo::Point2D>& points,
                                              const HostGeo::RotationAngles& model_angles,
                                              const ReinforcementShapeProperties& shape_props,
                                              double concrete_cover, double start_hook,
                                              double end_hook) {
  if (points.size() < 2) {
    throw std::invalid_argument("a freeform bar needs at least two points, got " +
                                std::to_string(points.size()));
  }
  for (const auto& p : points) {
    RequireFinite(p.X(), "a freeform point's x");
    RequireFinite(p.Y(), "a freeform point's y");
  }
  RequireFinite(concrete_cover, "the freeform bar's cover");
  const auto path = Shortened(points, concrete_cover, concrete_cover, "freeform bar");
  return Finish(path, model_angles, shape_props,
                HookFromLength(start_hook, 90, shape_props.diameter),
                HookFromLength(end_hook, 90, shape_props.diameter));
}

namespace {
// Centreline of a bar whose outer face keeps the covers from the sides of
// [0, width] x [0, height].
struct Inset {
  double x0, x1, y0, y1;
};
Inset CentrelineInset(double width, double height, const ConcreteCoverProperties& c, double d,
                      const char* what) {
  RequireFinite(width, "the section width");
  RequireFinite(height, "the section height");
  RequireCovers(c);
  Inset in{c.left + d / 2, width - c.right - d / 2, c.bottom + d / 2, height - c.top - d / 2};
  if (!(in.x1 > in.x0) || !(in.y1 > in.y0)) {
    std::ostringstream msg;
    msg << what << " of " << width << " x " << height << " mm with covers " << c.left << ", "
        << c.right << ", " << c.bottom << ", " << c.top << " and a " << d
        << " mm bar has no room inside the covers";
    throw std::invalid_argument(msg.str());
  }
  return in;
}
}  // namespace

BendingShape create_open_stirrup(const OpenStirrupArgs& a) {
  const double d = a.shape_props.diameter;
  const Inset in = CentrelineInset(a.width, a.length, a.concrete_cover_props, d, "an open stirrup");
  const std::vector<Point2D> path{{in.x0, in.y1}, {in.x0, in.y0}, {in.x1, in.y0}, {in.x1, in.y1}};
  return Finish(path, a.model_angles, a.shape_props,
                UserHook(a.hook_length_start, a.hook_angle_start),
                UserHook(a.hook_length_end, a.hook_angle_end));
}

BendingShape create_stirrup_with_user_hooks(const StirrupUserHooksArgs& a) {
  const double d = a.shape_props.diameter;
  const Inset in = CentrelineInset(a.width, a.height, a.concrete_cover_props, d, "a stirrup");
  Hook start = UserHook(a.hook_length_start, a.hook_angle_start);
  Hook end = UserHook(a.hook_length_end, a.hook_angle_end);
  const double r = BendRadius(a.shape_props);
  const Point2D c0{in.x0, in.y0};
  std::vector<Point2D> path{c0, {in.x1, in.y0}, {in.x1, in.y1}, {in.x0, in.y1}, c0};
  // A hook beyond a quarter turn: its first corner on the neighbouring side.
  Hook start_rest = start, end_rest = end;
  if (start.present() && start.angle > 90) {
    start_rest.angle = start.angle - 90;
    path.insert(path.begin(), {in.x0, in.y0 + r + Tangent(start_rest.angle, r)});
  }
  if (end.present() && end.angle > 90) {
    end_rest.angle = end.angle - 90;
    path.push_back({in.x0 + r + Tangent(end_rest.angle, r), in.y0});
  }
  // A tail never reaches past the loop: in a small section a tail longer
  // than the loop is wide ends at the loop's far side, and the other tail is
  // cut to the same length so that both hooks stay alike.
  auto room = [&](const Hook& rest, const Point2D& from, const Point2D& dir) {
    double leg = 1e300;
    if (dir.X() > 1e-9) leg = std::min(leg, (in.x1 - from.X()) / dir.X());
    if (dir.Y() > 1e-9) leg = std::min(leg, (in.y1 - from.Y()) / dir.Y());
    return std::max(0.0, leg - Tangent(rest.angle, r));
  };
  const std::size_t n = path.size();
  const double start_room =
      start.present()
          ? room(start_rest, path[0], Rotated(Unit(path[1], path[0]), -start_rest.angle))
          : 0;
  const double end_room =
      end.present()
          ? room(end_rest, path[n - 1], Rotated(Unit(path[n - 2], path[n - 1]), end_rest.angle))
          : 0;
  if (start.present() && end.present() && start == end) {
    start.length = end.length = std::min({start.length, start_room, end_room});
  } else {
    if (start.present()) start.length = std::min(start.length, start_room);
    if (end.present()) end.length = std::min(end.length, end_room);
  }
  start_rest.length = start.length;
  end_rest.length = end.length;
  BendingShape shape(WithHooks(path, start_rest, end_rest, r), a.shape_props, start, end);
  shape.Rotate(a.model_angles);
  return shape;
}

}  // namespace GeneralReinfShapeBuilder

void ReinforcementShapeBuilder::AddPoints(std::vector<PointCover> points, double end_cover) {
  for (auto& p : points) points_.push_back(p);
  end_cover_ = end_cover;
}

void ReinforcementShapeBuilder::SetHookStart(double length, double angle, HookType type) {
  start_ = {true, false, length, angle, type};
}
void ReinforcementShapeBuilder::SetHookEnd(double length, double angle, HookType type) {
  end_ = {true, false, length, angle, type};
}
void ReinforcementShapeBuilder::SetAnchorageHookStart(double angle) {
  start_ = {true, true, -1, angle, HookType::eAnchorage};
}
void ReinforcementShapeBuilder::SetAnchorageHookEnd(double angle) {
  end_ = {true, true, -1, angle, HookType::eAnchorage};
}

BendingShape ReinforcementShapeBuilder::CreateShape(
    const ReinforcementShapeProperties& props) const {
  // Anything that does not make a bar gives an invalid shape.
  if (points_.size() < 2 || !std::isfinite(end_cover_)) return {};
  for (const auto& p : points_) {
    if (!std::isfinite(p.point.X()) || !std::isfinite(p.point.Y()) || !std::isfinite(p.cover)) {
      return {};
    }
  }
  // Each segment is moved to its left by the side cover of the point it ends
  // at; inner corners are where neighbouring moved segments meet.
  const std::size_t n = points_.size();
  std::vector<Point2D> base;
  for (const auto& p : points_) base.push_back(p.point);
  for (std::size_t i = 1; i < n; ++i) {
    if (base[i - 1] == base[i]) return {};
  }
  struct Seg {
    Point2D a, b;
  };
  std::vector<Seg> segs;
  for (std::size_t i = 1; i < n; ++i) {
    const Point2D u = Unit(base[i - 1], base[i]);
    const Point2D left{-u.Y(), u.X()};
    const double c = points_[i].cover;
    segs.push_back({{base[i - 1].X() + left.X() * c, base[i - 1].Y() + left.Y() * c},
                    {base[i].X() + left.X() * c, base[i].Y() + left.Y() * c}});
  }
  std::vector<Point2D> path{segs.front().a};
  for (std::size_t i = 1; i < segs.size(); ++i) {
    const Seg& s = segs[i - 1];
    const Seg& t = segs[i];
    const double dx1 = s.b.X() - s.a.X(), dy1 = s.b.Y() - s.a.Y();
    const double dx2 = t.b.X() - t.a.X(), dy2 = t.b.Y() - t.a.Y();
    const double den = dx1 * dy2 - dy1 * dx2;
    if (std::abs(den) < 1e-12) {
      path.push_back(s.b);  // straight on: no corner to find
      continue;
    }
    const double k = ((t.a.X() - s.a.X()) * dy2 - (t.a.Y() - s.a.Y()) * dx2) / den;
    path.push_back({s.a.X() + k * dx1, s.a.Y() + k * dy1});
  }
  path.push_back(segs.back().b);
  try {
    path = Shortened(path, points_.front().cover, end_cover_, "shape");
  } catch (const std::invalid_argument&) {
    return {};
  }
  auto hook = [&](const PendingHook& h) -> Hook {
    if (!h.set) return {};
    if (h.anchorage) return {AnchorageHookLength(props.diameter, h.angle), h.angle, h.type};
    Hook out{h.length, h.angle, h.type};
    return out.present() ? out : Hook{};
  };
  const Hook start = hook(start_);
  const Hook end = hook(end_);
  return BendingShape(WithHooks(path, start, end, BendRadius(props)), props, start, end);
}

}  // namespace HostReinf

// The host's shape builders. Every shape is built in the local xy plane,
// then rotated into the model by its rotation angles.
//
// Hooks: the tail of a hook is a straight leg of the hook's length, starting
// at the bar's end point. At the start of a bar the tail leaves against the
// direction of travel turned clockwise by the hook angle, at the end along
// the direction of travel turned counter-clockwise; so a hook always bends
// to the left of the bar's path, into a section that the path runs around
// counter-clockwise.
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

// Adds the hook tails to a 2D path and lifts it into 3D at z = 0.
std::vector<Point3D> WithHooks(const std::vector<Point2D>& path, const Hook& start,
                               const Hook& end) {
  std::vector<Point3D> out;
  out.reserve(path.size() + 2);
  if (start.present()) {
    const Point2D back = Unit(path[1], path[0]);
    const Point2D dir = Rotated(back, -start.angle);
    out.emplace_back(path[0].X() + dir.X() * start.length, path[0].Y() + dir.Y() * start.length, 0);
  }
  for (const auto& p : path) out.emplace_back(p.X(), p.Y(), 0);
  if (end.present()) {
    const std::size_t n = path.size();
    const Point2D fwd = Unit(path[n - 2], path[n - 1]);
    const Point2D dir = Rotated(fwd, end.angle);
    out.emplace_back(path[n - 1].X() + dir.X() * end.length, path[n - 1].Y() + dir.Y() * end.length,
                     0);
  }
  return out;
}

BendingShape Finish(std::vector<Point2D> path, const HostGeo::RotationAngles& model_angles,
                    const ReinforcementShapeProperties& props, const Hook& start,
                    const Hook& end) {
  BendingShape shape(WithHooks(path, start, end), props, start, end);
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

BendingShape create_longitudinal_shape_with_hooks(double length,
                                                  const HostGeo::RotationAngles& model_angles,
                                                  const ReinforcementShapeProperties& shape_props,
                                                  const ConcreteCoverProperties& concrete_cover_props,
                                                  double start_hook, double end_hook) {
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
  return Finish(path, a.model_angles, a.shape_props, UserHook(a.hook_length_start, a.hook_angle_start),
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
  return Finish(path, a.model_angles, a.shape_props, UserHook(a.hook_length_start, a.hook_angle_start),
                UserHook(a.hook_length_end, a.hook_angle_end));
}

BendingShape create_stirrup_with_user_hooks(const StirrupUserHooksArgs& a) {
  const double d = a.shape_props.diameter;
  const Inset in = CentrelineInset(a.width, a.height, a.concrete_cover_props, d, "a stirrup");
  const std::vector<Point2D> path{{in.x0, in.y0}, {in.x1, in.y0}, {in.x1, in.y1},
                                  {in.x0, in.y1}, {in.x0, in.y0}};
  // A tail never reaches past the loop: in a small section a tail longer
  // than the loop is wide ends at the loop's far side, and the other tail is
  // cut to the same length so that both hooks stay alike.
  auto room = [&](const Hook& h, const Point2D& tail_dir) {
    double r = h.length;
    if (tail_dir.X() > 1e-9) r = std::min(r, (in.x1 - in.x0) / tail_dir.X());
    if (tail_dir.Y() > 1e-9) r = std::min(r, (in.y1 - in.y0) / tail_dir.Y());
    return r;
  };
  Hook start = UserHook(a.hook_length_start, a.hook_angle_start);
  Hook end = UserHook(a.hook_length_end, a.hook_angle_end);
  const double start_room = start.present() ? room(start, Rotated({-1, 0}, -start.angle)) : 0;
  const double end_room = end.present() ? room(end, Rotated({0, -1}, end.angle)) : 0;
  if (start.present() && start_room < start.length) {
    start.length = start_room;
    if (end.present() && end.length == a.hook_length_start) end.length = std::min(end.length, start_room);
  }
  if (end.present() && end_room < end.length) {
    end.length = end_room;
    if (start.present() && start.length == a.hook_length_end) start.length = std::min(start.length, end_room);
  }
  return Finish(path, a.model_angles, a.shape_props, start, end);
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

BendingShape ReinforcementShapeBuilder::CreateShape(const ReinforcementShapeProperties& props) const {
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
  return BendingShape(WithHooks(path, start, end), props, start, end);
}

}  // namespace HostReinf

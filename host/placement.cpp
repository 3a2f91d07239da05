// Linear bar placements.
//
// Bar k is the shape translated by from + t_k u, u the unit vector of the
// line from `from` to `to`. The covers are measured to the bar's surface, so
// the usable interval runs from s0 = cover_start + d/2 to
// s1 = length - cover_end - d/2.
//   By count n: no bars for 0, one bar at s0 for 1, otherwise n bars evenly
//   from s0 to s1.
//   By spacing s: bars evenly from s0 to s1, as few as keep every gap <= s.
// A line shorter than its covers (s1 < s0) leaves no interval: its bars all
// stand at the middle between s0 and s1, one bar for a spacing, n bars for a
// count. A reversed line is legal. No placement holds more than
// kMaxBarsPerPlacement bars.
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "host/reinf.h"

namespace HostReinf {
namespace {

std::string Where(const HostGeo::Point3D& from, const HostGeo::Point3D& to) {
  return "the placement line from " + HostGeo::ToString(from) + " to " + HostGeo::ToString(to);
}

void CheckCommon(const BendingShape& shape, const HostGeo::Point3D& from,
                 const HostGeo::Point3D& to, double cover_start, double cover_end) {
  if (!shape.IsValid()) {
    throw std::invalid_argument("cannot place an invalid bending shape along " + Where(from, to));
  }
  if (!from.IsFinite() || !to.IsFinite()) {
    throw std::invalid_argument(Where(from, to) + " has a coordinate that is not a finite number");
  }
  if (from == to) {
    throw std::invalid_argument(Where(from, to) + " has zero length: its start equals its end");
  }
  if (!std::isfinite(cover_start) || !std::isfinite(cover_end)) {
    std::ostringstream msg;
    msg << "the covers " << cover_start << " and " << cover_end << " of " << Where(from, to)
        << " must be finite numbers";
    throw std::invalid_argument(msg.str());
  }
}

void CheckLimit(double bars, const HostGeo::Point3D& from, const HostGeo::Point3D& to) {
  if (bars > static_cast<double>(kMaxBarsPerPlacement)) {
    std::ostringstream msg;
    msg << "a placement may hold at most " << kMaxBarsPerPlacement << " bars; " << Where(from, to)
        << " would hold " << bars;
    throw std::invalid_argument(msg.str());
  }
}

}  // namespace

BarPlacement BarPlacement::ByCount(int position, BendingShape shape, const HostGeo::Point3D& from,
                                   const HostGeo::Point3D& to, double cover_start, double cover_end,
                                   double count) {
  CheckCommon(shape, from, to, cover_start, cover_end);
  if (!std::isfinite(count) || count < 0 || count != std::floor(count)) {
    std::ostringstream msg;
    msg << "the bar count of " << Where(from, to) << " must be a whole number >= 0, got " << count;
    throw std::invalid_argument(msg.str());
  }
  CheckLimit(count, from, to);
  BarPlacement p;
  p.position_ = position;
  p.from_ = from;
  p.to_ = to;
  p.cover_start_ = cover_start;
  p.cover_end_ = cover_end;
  p.rule_ = Rule::Count;
  p.rule_value_ = count;
  const double d = shape.GetDiameter();
  const double len = from.GetDistance(to);
  const double s0 = cover_start + d / 2;
  const double s1 = len - cover_end - d / 2;
  const auto n = static_cast<std::size_t>(count);
  p.offsets_.reserve(n);
  if (s1 < s0) {
    p.offsets_.assign(n, (s0 + s1) / 2);
  } else if (n == 1) {
    p.offsets_.push_back(s0);
  } else {
    for (std::size_t k = 0; k < n; ++k) {
      p.offsets_.push_back(s0 + (s1 - s0) * static_cast<double>(k) / static_cast<double>(n - 1));
    }
  }
  p.shape_ = std::move(shape);
  return p;
}

BarPlacement BarPlacement::BySpacing(int position, BendingShape shape, const HostGeo::Point3D& from,
                                     const HostGeo::Point3D& to, double cover_start,
                                     double cover_end, double spacing) {
  CheckCommon(shape, from, to, cover_start, cover_end);
  if (!std::isfinite(spacing) || !(spacing > 0)) {
    std::ostringstream msg;
    msg << "the bar spacing of " << Where(from, to) << " must be a positive number of mm, got "
        << spacing;
    throw std::invalid_argument(msg.str());
  }
  BarPlacement p;
  p.position_ = position;
  p.from_ = from;
  p.to_ = to;
  p.cover_start_ = cover_start;
  p.cover_end_ = cover_end;
  p.rule_ = Rule::Spacing;
  p.rule_value_ = spacing;
  const double d = shape.GetDiameter();
  const double len = from.GetDistance(to);
  const double s0 = cover_start + d / 2;
  const double s1 = len - cover_end - d / 2;
  if (s1 <= s0) {
    p.offsets_.push_back((s0 + s1) / 2);
  } else {
    // Gaps needed so that none exceeds the spacing; a hair of tolerance keeps
    // an interval of exactly k spacings at k gaps.
    const double gaps = std::ceil((s1 - s0) / spacing * (1 - 1e-12));
    CheckLimit(gaps + 1, from, to);
    const auto g = static_cast<std::size_t>(gaps);
    p.offsets_.reserve(g + 1);
    for (std::size_t k = 0; k <= g; ++k) {
      p.offsets_.push_back(s0 + (s1 - s0) * static_cast<double>(k) / static_cast<double>(g));
    }
  }
  p.shape_ = std::move(shape);
  return p;
}

HostGeo::Vector3D BarPlacement::GetBarTranslation(std::size_t k) const {
  const HostGeo::Vector3D u = HostGeo::Vector3D(from_, to_).Normalized();
  return HostGeo::Vector3D(from_) + u * offsets_.at(k);
}

std::vector<std::vector<HostGeo::Point3D>> BarPlacement::GetBars() const {
  std::vector<std::vector<HostGeo::Point3D>> bars;
  bars.reserve(offsets_.size());
  for (std::size_t k = 0; k < offsets_.size(); ++k) {
    const HostGeo::Vector3D t = GetBarTranslation(k);
    std::vector<HostGeo::Point3D> bar;
    bar.reserve(shape_.GetPolyline().size());
    for (const auto& p : shape_.GetPolyline()) bar.push_back(p + t);
    bars.push_back(std::move(bar));
  }
  return bars;
}

namespace LinearBarPlacementBuilder {
BarPlacement create_linear_bar_placement_from_to_by_count(int position, const BendingShape& shape,
                                                          const HostGeo::Point3D& from_point,
                                                          const HostGeo::Point3D& to_point,
                                                          double concrete_cover_start,
                                                          double concrete_cover_end, double count) {
  return BarPlacement::ByCount(position, shape, from_point, to_point, concrete_cover_start,
                               concrete_cover_end, count);
}
BarPlacement create_linear_bar_placement_from_to_by_dist(int position, const BendingShape& shape,
                                                         const HostGeo::Point3D& from_point,
                                                         const HostGeo::Point3D& to_point,
                                                         double concrete_cover_start,
                                                         double concrete_cover_end,
                                                         double spacing) {
  return BarPlacement::BySpacing(position, shape, from_point, to_point, concrete_cover_start,
                                 concrete_cover_end, spacing);
}
}  // namespace LinearBarPlacementBuilder

}  // namespace HostReinf

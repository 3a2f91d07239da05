// Detailing rules: mandrels, bar positions in a link's bend, bar and link
// spacings.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "common/geomkit.h"

namespace geomkit {

double MandrelFactor(double diameter) { return diameter <= 16 ? 4.0 : 7.0; }

double InnerBendRadius(double diameter) { return MandrelFactor(diameter) * diameter / 2; }

double MinLinkEndProjection(double link_diameter) {
  const double d = link_diameter;
  const double projection = std::max(10 * d, 90.0) + InnerBendRadius(d) + d;
  return std::ceil(projection / 5 - 1e-9) * 5;
}

double MinLinkTail(double link_diameter) {
  return MinLinkEndProjection(link_diameter) - InnerBendRadius(link_diameter) - link_diameter;
}

double CornerBarInset(double cover, double link_diameter, double bar_diameter) {
  // The link's bend is an arc of radius r round a centre r inside both of
  // its legs' inner faces. A bar narrower than the arc sits in it, touching
  // it on the corner's diagonal; a wider one is held by the two legs.
  const double r = InnerBendRadius(link_diameter);
  const double half = bar_diameter / 2;
  const double in_bend = r - (r - half) / std::numbers::sqrt2;
  return cover + link_diameter + std::max(half, in_bend);
}

double MinClearSpacing(double bar_diameter, double aggregate_size) {
  return std::max({bar_diameter, aggregate_size + 5, 20.0});
}

double MaxLapClearDistance(double bar_diameter) { return std::min(4 * bar_diameter, 50.0); }

double MaxLinkSpacing(double smallest_bar, double least_dimension) {
  return std::min({20 * smallest_bar, least_dimension, 400.0});
}

double MinLinkDiameter(double largest_bar) { return std::max(6.0, largest_bar / 4); }

}  // namespace geomkit

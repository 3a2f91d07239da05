// The building blocks of the IFC writer (cage.ifc), declared here so that
// they can be tested on their own. The writer itself is MakeIfcWriter() in
// exporter.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/geo.h"

namespace pierhost::ifc {

struct Hash128 {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
  bool operator==(const Hash128&) const = default;
};

// The 128-bit FNV-1a hash of `text`'s bytes; the second form goes on from
// the state of an earlier hash, as if the texts were joined.
Hash128 Fnv1a128(std::string_view text);
Hash128 Fnv1a128(std::string_view text, Hash128 state);
// The hash with its halves mixed into each other.
Hash128 Mixed(Hash128 h);

// 128 bits written as 22 characters of 0-9 A-Z a-z _ $, most significant
// first: the first character carries the top 2 bits (so it is 0-3), each
// further one 6 bits.
std::string EncodeGlobalId(const Hash128& bits);

// A GlobalId that depends on `name` only, so that a re-export of the same
// model gives every object the id it had before; StableHash is its 128 bits.
Hash128 StableHash(std::string_view name);
std::string StableGlobalId(std::string_view name);

// A STEP real: always with a decimal point ("16.", "1.5E-05"), at most ten
// significant digits, no "-0". A value that is not finite is an error.
std::string StepReal(double value);

// A quoted STEP string: ' doubled, \ doubled, characters beyond ASCII as
// UTF-16 in \X2\...\X0\, control characters as \X\hh. `utf8` is UTF-8; a
// malformed sequence becomes U+FFFD.
std::string StepString(std::string_view utf8);
// A STEP string of an IfcLabel or IfcIdentifier: at most 255 characters, the
// limit of both types (longer text is cut, never mid-character).
inline constexpr std::size_t kMaxLabelCharacters = 255;
std::string StepLabel(std::string_view utf8);

// A bar's centreline as points and segments, the form of an indexed poly
// curve: each sharp corner of the polyline is rounded by an arc of the bend
// radius. Indices are 1-based; a line has 2, an arc 3 (start, a point on the
// arc, end); consecutive segments share their common index.
struct IndexedCurve {
  struct Segment {
    bool arc = false;
    std::vector<int> indices;
  };
  std::vector<HostGeo::Point3D> points;
  std::vector<Segment> segments;
};

// Rounds the corners of `polyline` (mm) with arcs of `bend_radius` (mm, on the
// centreline). Where two bends share a leg too short for both, both radii
// shrink so that the bends just meet; nearly straight corners (below 0.05
// degrees) and full reversals stay sharp. Repeated points are dropped. A
// polyline with fewer than two distinct points is an error. Where the curve
// would end where it starts (a closed link's hooks), its last point is drawn
// back 0.1 mm along its last leg, so that no reader takes it for a loop.
IndexedCurve FilletPolyline(const std::vector<HostGeo::Point3D>& polyline, double bend_radius);

}  // namespace pierhost::ifc

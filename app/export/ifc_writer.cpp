// cage.ifc: the created bars as IFC4 for BIM programs.
//
// Project (millimetres, one 3D context with a body subcontext) -> site ->
// building -> one storey per level at which a reinforced column stands. Each
// column a cage was made for is an extruded prism in its storey; each cage is
// an element assembly (a reinforcement unit) in the storey of its lowest
// column, made of its bars. Bars of one mark share one bar type whose
// representation map holds the bar's swept solid once; each bar maps it into
// place, so a bar costs a handful of short lines however complex its shape.
// Everything is derived from the input alone (ids from names, the date the
// caller fixed), so a re-export is byte for byte the same.
#include "app/export/ifc_writer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <numbers>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/export/exporter.h"
#include "app/export/text.h"
#include "common/geomkit.h"

namespace pierhost {
namespace ifc {

using HostGeo::Point3D;
using HostGeo::Vector3D;

Hash128 Fnv1a128(std::string_view text) {
  return Fnv1a128(text, {0x6c62272e07bb0142ULL, 0x62b821756295c58dULL});
}

Hash128 Fnv1a128(std::string_view text, Hash128 state) {
  // Prime 2^88 + 0x13B of the 128-bit FNV-1a; the offset basis is the
  // starting state of a fresh hash.
  constexpr std::uint64_t kPrimeLow = 0x13B;
  std::uint64_t high = state.high;
  std::uint64_t low = state.low;
  for (const char ch : text) {
    low ^= static_cast<unsigned char>(ch);
    // (high, low) *= 2^88 + 0x13B, modulo 2^128, in 64-bit halves.
    const std::uint64_t carry =
        ((low >> 32) * kPrimeLow + (((low & 0xffffffffULL) * kPrimeLow) >> 32)) >> 32;
    high = high * kPrimeLow + carry + (low << 24);
    low = low * kPrimeLow;
  }
  return {high, low};
}

std::string EncodeGlobalId(const Hash128& bits) {
  static constexpr char kDigits[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$";
  std::uint64_t high = bits.high;
  std::uint64_t low = bits.low;
  std::string out(22, '0');
  // From the least significant end: 21 digits of 6 bits, then the top 2 bits.
  for (int i = 21; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = kDigits[low & 63U];
    low = (low >> 6) | (high << 58);
    high >>= 6;
  }
  return out;
}

namespace {
// The 64-bit finaliser of MurmurHash3: every input bit flips about half the
// output bits.
std::uint64_t Mix64(std::uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  return x ^ (x >> 33);
}
}  // namespace

Hash128 StableHash(std::string_view name) { return Mixed(Fnv1a128(name)); }

Hash128 Mixed(Hash128 h) {
  // FNV-1a alone spreads a change in the last characters (a bar's number)
  // over the low bits only; mixing the halves makes sibling ids differ in
  // every digit, which keeps them apart for a human eye too.
  h.low ^= Mix64(h.high);
  h.high ^= Mix64(h.low);
  return h;
}

std::string StableGlobalId(std::string_view name) { return EncodeGlobalId(StableHash(name)); }

std::string StepReal(double value) {
  if (!std::isfinite(value)) {
    throw std::invalid_argument("cage.ifc: a number to write is not finite");
  }
  // Below this the value is rounding noise of a zero (a direction, a point).
  if (std::abs(value) < 1e-12) value = 0;
  // Ten significant digits as printf's %G gives them, with a decimal point
  // always.
  char buf[48];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 10);
  std::string text(buf, end);
  const std::size_t e = text.find('e');
  if (e == std::string::npos) {
    if (text.find('.') == std::string::npos) text += '.';
    return text;
  }
  text[e] = 'E';
  if (text.find('.') > e) text.insert(e, ".");
  return text;
}

namespace {

// Decodes one UTF-8 sequence at `i`, advancing it; malformed input gives
// U+FFFD and advances by one byte.
char32_t DecodeUtf8(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  int extra = 0;
  char32_t cp = 0;
  if (b0 < 0x80) {
    ++i;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    extra = 1;
    cp = b0 & 0x1FU;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2;
    cp = b0 & 0x0FU;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3;
    cp = b0 & 0x07U;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + static_cast<std::size_t>(extra) >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    const unsigned char b = byte(i + static_cast<std::size_t>(k));
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3FU);
  }
  i += static_cast<std::size_t>(extra) + 1;
  const char32_t min_by_length[] = {0, 0x80, 0x800, 0x10000};
  if (cp < min_by_length[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  return cp;
}

void AppendHex(std::string& out, unsigned value, int digits) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int k = digits - 1; k >= 0; --k) out += kHex[(value >> (4 * k)) & 0xFU];
}

}  // namespace

std::string StepString(std::string_view utf8) {
  std::string out = "'";
  std::vector<char32_t> wide;  // a run of characters beyond ASCII
  const auto flush_wide = [&] {
    if (wide.empty()) return;
    out += "\\X2\\";
    for (const char32_t cp : wide) {
      if (cp >= 0x10000) {  // a surrogate pair
        const char32_t v = cp - 0x10000;
        AppendHex(out, static_cast<unsigned>(0xD800 + (v >> 10)), 4);
        AppendHex(out, static_cast<unsigned>(0xDC00 + (v & 0x3FF)), 4);
      } else {
        AppendHex(out, static_cast<unsigned>(cp), 4);
      }
    }
    out += "\\X0\\";
    wide.clear();
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t cp = DecodeUtf8(utf8, i);
    if (cp >= 0x80) {
      wide.push_back(cp);
      continue;
    }
    flush_wide();
    if (cp == '\'') {
      out += "''";
    } else if (cp == '\\') {
      out += "\\\\";
    } else if (cp < 0x20 || cp == 0x7F) {
      out += "\\X\\";
      AppendHex(out, static_cast<unsigned>(cp), 2);
    } else {
      out += static_cast<char>(cp);
    }
  }
  flush_wide();
  return out + "'";
}

std::string StepLabel(std::string_view utf8) {
  return StepString(FirstCharacters(utf8, kMaxLabelCharacters));
}

IndexedCurve FilletPolyline(const std::vector<Point3D>& polyline, double bend_radius) {
  // Points closer than this are one point; legs shorter than it are none.
  constexpr double kSamePoint = 1e-6;  // mm
  // Turning angles (radians) outside (kStraight, pi - kStraight) stay sharp:
  // an arc there would be microscopic or would need an endless leg.
  constexpr double kStraight = 0.05 / 180.0 * std::numbers::pi;
  std::vector<Point3D> p;
  for (const Point3D& q : polyline) {
    if (p.empty() || p.back().GetDistance(q) > kSamePoint) p.push_back(q);
  }
  if (p.size() < 2) {
    throw std::invalid_argument("cage.ifc: a bar's centreline has fewer than two distinct points");
  }
  const std::size_t n = p.size();
  std::vector<double> leg(n - 1);
  for (std::size_t j = 0; j + 1 < n; ++j) leg[j] = p[j].GetDistance(p[j + 1]);
  std::vector<double> turn(n, 0.0);     // turning angle at each corner
  std::vector<double> tangent(n, 0.0);  // corner to arc end, wanted
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const Vector3D in = Vector3D(p[i - 1], p[i]).Normalized();
    const Vector3D out = Vector3D(p[i], p[i + 1]).Normalized();
    turn[i] = std::acos(std::clamp(in.Dot(out), -1.0, 1.0));
    if (bend_radius > 0 && turn[i] > kStraight && turn[i] < std::numbers::pi - kStraight) {
      tangent[i] = bend_radius * std::tan(turn[i] / 2);
    }
  }
  // A leg too short for the bends at both its ends shrinks both, so that the
  // bends meet on it; each corner takes the tighter of its two legs.
  std::vector<double> shrink(n, 1.0);
  for (std::size_t j = 0; j + 1 < n; ++j) {
    const double need = tangent[j] + tangent[j + 1];
    if (need > leg[j]) {
      const double f = leg[j] / need;
      shrink[j] = std::min(shrink[j], f);
      shrink[j + 1] = std::min(shrink[j + 1], f);
    }
  }
  IndexedCurve curve;
  const auto add_point = [&](const Point3D& q) {
    if (curve.points.empty() || curve.points.back().GetDistance(q) > kSamePoint) {
      curve.points.push_back(q);
    }
    return static_cast<int>(curve.points.size());
  };
  int current = add_point(p[0]);
  const auto line_to = [&](const Point3D& q) {
    const int next = add_point(q);
    if (next != current) curve.segments.push_back({false, {current, next}});
    current = next;
  };
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double t = tangent[i] * shrink[i];
    if (t <= kSamePoint) {
      line_to(p[i]);
      continue;
    }
    const double radius = bend_radius * shrink[i];
    const Vector3D in = Vector3D(p[i - 1], p[i]).Normalized();
    const Vector3D out = Vector3D(p[i], p[i + 1]).Normalized();
    // The arc's centre lies on the bisector inside the corner; the point on
    // the arc nearest the corner is its middle.
    const Vector3D inward = (out - in).Normalized();
    const double to_centre = radius / std::cos(turn[i] / 2);
    line_to(p[i] - in * t);
    const int middle = add_point(p[i] + inward * (to_centre - radius));
    const int end = add_point(p[i] + out * t);
    curve.segments.push_back({true, {current, middle, end}});
    current = end;
  }
  line_to(p[n - 1]);
  // A closed link's two hooks end at one point, and a reader may take a curve
  // whose ends meet for a closed loop (one we tried then swept nothing). The
  // hooks lie side by side in the real link, so the last one is drawn back
  // by an invisible 0.1 mm.
  constexpr double kEndGap = 0.1;  // mm
  if (curve.points.size() >= 3 && curve.points.front().GetDistance(curve.points.back()) < kEndGap) {
    Point3D& last = curve.points.back();
    const Point3D& before = curve.points[curve.points.size() - 2];
    if (before.GetDistance(last) > 2 * kEndGap) {
      last = last + Vector3D(last, before).Normalized() * kEndGap;
    }
  }
  return curve;
}

namespace {

using HostReinf::BarPlacement;

std::string Ref(int id) { return "#" + std::to_string(id); }

std::string RefList(const std::vector<int>& ids) {
  std::string out = "(";
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i) out += ',';
    out += Ref(ids[i]);
  }
  return out + ")";
}

std::string Coords(const Vector3D& v) {
  return "(" + StepReal(v.X()) + "," + StepReal(v.Y()) + "," + StepReal(v.Z()) + ")";
}

// The DATA section: entities numbered in the order they are added.
class StepData {
 public:
  int Add(std::string_view type, std::string_view args) {
    const int id = next_++;
    text_ += '#';
    text_ += std::to_string(id);
    text_ += '=';
    text_ += type;
    text_ += '(';
    text_ += args;
    text_ += ");\n";
    if (sink_ && text_.size() > (1u << 20)) Flush();
    return id;
  }
  // Like Add, but an entity written before with the same type and arguments
  // is reused: points, directions and frames many objects share.
  int Shared(std::string_view type, std::string_view args) {
    std::string key(type);
    key += '(';
    key += args;
    const auto it = shared_.find(key);
    if (it != shared_.end()) return it->second;
    const int id = Add(type, args);
    shared_.emplace(std::move(key), id);
    return id;
  }
  // Writing an entity piece by piece, for the many small ones of each bar:
  // Begin writes its number and type, the Append calls its arguments, End
  // closes it.
  int Begin(std::string_view type) {
    const int id = next_++;
    text_ += '#';
    AppendInt(id);
    text_ += '=';
    text_ += type;
    text_ += '(';
    return id;
  }
  void End() {
    text_ += ");\n";
    if (sink_ && text_.size() > (1u << 20)) Flush();
  }
  // Entities go to `out` in pieces instead of piling up in memory.
  void StreamTo(std::ostream& out) { sink_ = &out; }
  void Flush() {
    if (!sink_) return;
    sink_->write(text_.data(), static_cast<std::streamsize>(text_.size()));
    text_.clear();
  }
  StepData& Append(std::string_view text) {
    text_ += text;
    return *this;
  }
  StepData& AppendRef(int id) {
    text_ += '#';
    AppendInt(id);
    return *this;
  }
  StepData& AppendReal(double value) {
    text_ += StepReal(value);
    return *this;
  }
  // Lengths are held in mm and written in the file's length unit.
  void SetLengthUnit(double millimetres) { per_mm_ = 1 / millimetres; }
  std::string Length(double mm) const { return StepReal(mm * per_mm_); }
  std::string Place(const Point3D& p) const {
    return "(" + Length(p.X()) + "," + Length(p.Y()) + "," + Length(p.Z()) + ")";
  }
  StepData& AppendLength(double mm) { return AppendReal(mm * per_mm_); }
  int Point(const Point3D& p) { return Shared("IFCCARTESIANPOINT", Place(p)); }
  int Direction(const Vector3D& v) { return Shared("IFCDIRECTION", Coords(v)); }
  // A frame at `origin` with the global axes.
  int Frame(const Point3D& origin) {
    return Shared("IFCAXIS2PLACEMENT3D", Ref(Point(origin)) + ",$,$");
  }

 private:
  void AppendInt(int v) {
    char buf[16];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    text_.append(buf, end);
  }
  std::string text_;
  std::ostream* sink_ = nullptr;
  int next_ = 1;
  double per_mm_ = 1;
  std::unordered_map<std::string, int> shared_;
};

// A digest of what an object is made of, for its GlobalId: numbers by
// their bits, text by its bytes, each item closed by a separator.
class Digest {
 public:
  Digest& Add(std::string_view text) {
    state_ = Fnv1a128(text, state_);
    state_ = Fnv1a128("\x1f", state_);
    return *this;
  }
  Digest& Add(double value) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value == 0 ? 0.0 : value);
    char bytes[8];
    for (int k = 0; k < 8; ++k) bytes[k] = static_cast<char>((bits >> (8 * k)) & 0xFF);
    state_ = Fnv1a128(std::string_view(bytes, 8), state_);
    return *this;
  }
  Digest& Add(const Point3D& p) { return Add(p.X()).Add(p.Y()).Add(p.Z()); }
  Digest& Add(const Hash128& h) {
    return Add(std::bit_cast<double>(h.high)).Add(std::bit_cast<double>(h.low));
  }
  // As text of 22 characters, to name the object among the parts of its id.
  std::string Text() const { return EncodeGlobalId(Mixed(state_)); }

 private:
  Hash128 state_ = Fnv1a128("");
};

// GlobalIds from what identifies an object: the model's name, the object's
// own names and a digest of what it is made of (a bar type's shape, a
// cage's columns and bars, a relation's objects), so that a re-export gives
// every object the id it had and no two files of one model give one id to
// two different things.
class GlobalIds {
 public:
  explicit GlobalIds(std::string base) : base_(std::move(base)), base_state_(Fnv1a128(base_)) {}
  // The id of the object named by `parts`: the hash of the base name and
  // the parts, each after a unit separator (which names do not use).
  Hash128 Key(std::initializer_list<std::string_view> parts) {
    Hash128 state = base_state_;
    for (const std::string_view part : parts) {
      state = Fnv1a128("\x1f", state);
      state = Fnv1a128(part, state);
    }
    const Hash128 hash = Mixed(state);
    issued_.push_back(hash);
    return hash;
  }
  // The same, quoted as the file writes it.
  std::string operator()(std::initializer_list<std::string_view> parts) {
    return Quoted(Key(parts));
  }
  static std::string Quoted(const Hash128& hash) { return "'" + EncodeGlobalId(hash) + "'"; }

  // Every id must be unique; checked once all are issued, by sorting them.
  void CheckUnique() {
    std::sort(issued_.begin(), issued_.end(), [](const Hash128& a, const Hash128& b) {
      return a.high != b.high ? a.high < b.high : a.low < b.low;
    });
    const auto twice = std::adjacent_find(issued_.begin(), issued_.end());
    if (twice != issued_.end()) {
      throw std::logic_error("cage.ifc: two objects got the same GlobalId (" +
                             EncodeGlobalId(*twice) + ") under '" + base_ + "'");
    }
  }

 private:
  std::string base_;
  Hash128 base_state_;
  std::vector<Hash128> issued_;
};

// A rotation (the images of the x, y and z axes) and a translation.
struct Rigid {
  std::array<Vector3D, 3> axes{Vector3D(1, 0, 0), Vector3D(0, 1, 0), Vector3D(0, 0, 1)};
  Vector3D shift;
  Point3D Apply(const Point3D& p) const {
    return Point3D() + (axes[0] * p.X() + axes[1] * p.Y() + axes[2] * p.Z() + shift);
  }
  bool KeepsAxes() const {
    constexpr double kTol = 1e-12;
    return (axes[0] - Vector3D(1, 0, 0)).GetLength() < kTol &&
           (axes[1] - Vector3D(0, 1, 0)).GetLength() < kTol;
  }
};

// An orthonormal frame attached to a polyline: its first point, the
// direction of its first leg, and the first bend's plane. A straight
// polyline gets a perpendicular chosen from its direction alone.
std::optional<std::array<Vector3D, 3>> PolylineFrame(const std::vector<Point3D>& poly) {
  constexpr double kTol = 1e-6;
  std::optional<Vector3D> e1;
  for (std::size_t i = 1; i < poly.size() && !e1; ++i) {
    const Vector3D v(poly[0], poly[i]);
    if (v.GetLength() > kTol) e1 = v.Normalized();
  }
  if (!e1) return std::nullopt;
  std::optional<Vector3D> e2;
  for (std::size_t i = 1; i < poly.size() && !e2; ++i) {
    const Vector3D v(poly[0], poly[i]);
    const Vector3D across = v - *e1 * v.Dot(*e1);
    if (across.GetLength() > kTol) e2 = across.Normalized();
  }
  if (!e2) {
    const std::array<Vector3D, 3> axes{Vector3D(1, 0, 0), Vector3D(0, 1, 0), Vector3D(0, 0, 1)};
    const Vector3D* least = &axes[0];
    for (const auto& a : axes) {
      if (std::abs(a.Dot(*e1)) < std::abs(least->Dot(*e1))) least = &a;
    }
    e2 = (*least - *e1 * least->Dot(*e1)).Normalized();
  }
  return std::array<Vector3D, 3>{*e1, *e2, e1->Cross(*e2)};
}

// The rigid motion (no mirroring) that carries `from` onto `to` point by
// point within 1 micrometre, if there is one.
std::optional<Rigid> MatchRigid(const std::vector<Point3D>& from, const std::vector<Point3D>& to) {
  constexpr double kTol = 1e-3;  // mm
  if (from.size() != to.size() || from.empty()) return std::nullopt;
  const auto f = PolylineFrame(from);
  const auto g = PolylineFrame(to);
  if (!f || !g) return std::nullopt;
  Rigid r;
  // R = G F^T: the image of axis j is sum_k F[k]_j G[k].
  for (int j = 0; j < 3; ++j) {
    Vector3D image;
    for (int k = 0; k < 3; ++k) image = image + (*g)[k] * (*f)[k].Values()[j];
    r.axes[j] = image;
  }
  r.shift = Vector3D(r.Apply(from[0]), to[0]);
  for (std::size_t i = 0; i < from.size(); ++i) {
    if (r.Apply(from[i]).GetDistance(to[i]) > kTol) return std::nullopt;
  }
  return r;
}

struct ShapeMap {
  std::vector<Point3D> polyline;  // in the map's frame
  double diameter = 0;
  double bend_radius = 0;
  int id = 0;  // the IfcRepresentationMap
};

// Where each placement's bars come from: a map of its mark and the motion
// from the map's frame to the placement's shape.
struct PlacementSource {
  std::size_t mark = 0;
  std::size_t map = 0;
  Rigid motion;
};

std::string IsoTimestamp(const std::string& date) {
  // The caller fixes an ISO date; it becomes midnight of that day.
  if (date.size() == 10 && date[4] == '-' && date[7] == '-') return date + "T00:00:00";
  return date;
}

std::string LevelName(double elevation_mm) {
  const std::string m = Fixed(elevation_mm / 1000.0, 3);
  return "Level " + (m[0] == '-' ? m : "+" + m);
}

bool IsLigature(HostReinf::BendingShapeType type) {
  return type == HostReinf::BendingShapeType::Stirrup ||
         type == HostReinf::BendingShapeType::OpenStirrup ||
         type == HostReinf::BendingShapeType::CrossTie;
}

double BarArea(double diameter) {  // m2, from mm
  return std::numbers::pi * diameter * diameter / 4 * 1e-6;
}

// One export as an IFC file, built part by part in the order of the file.
// The attributes of the entities written with many of them, named, each
// already as the file writes it ("'01'", "$", "#12", "16."). The functions
// of IfcFile that take them write each entity's attribute order once.
struct ReinforcingBarTypeAttributes {
  std::string name, description;
  std::string property_sets;        // "(#1,#2)"
  std::string representation_maps;  // "(#3)"
  std::string tag, element_type, predefined_type;
  std::string nominal_diameter, cross_section_area, bar_length, bar_surface;
  std::string bending_shape_code, bending_parameters;
};

// An element placed in the model: a column or a cage.
struct ElementAttributes {
  std::string name, description = "$";
  int placement = 0;
  std::string representation = "$";
  std::string tag = "$";
};

// The attributes that all the bars of one row share.
struct ReinforcingBarRowAttributes {
  std::string name, tag, steel_grade;
  std::string nominal_diameter, cross_section_area, bar_length, predefined_type, bar_surface;
};

class IfcFile {
 public:
  IfcFile(const ExportInput& input, const Schedule& schedule)
      : input_(input),
        schedule_(schedule),
        model_name_(input.model ? input.model->GetName() : input.project),
        gid_(model_name_),
        source_(input.model ? input.model->GetSource() : nullptr) {
    if (source_) data_.SetLengthUnit(source_->length_unit.millimetres);
  }

  // Writes the DATA section's entities to `out` as they are made.
  void Build(std::ostream& out) {
    data_.StreamTo(out);
    WriteProject();
    WriteSpatialStructure();
    WriteColumns();
    WriteBarTypes();
    WriteCages();
    WriteMarkProperties();
    WriteRelations();
    gid_.CheckUnique();
    data_.Flush();
  }

 private:
  // A storey: one of the source model's, or one of a level of our own.
  struct StoreyKey {
    double level = 0;  // mm, world z
    int source = -1;   // index into the source's storeys
    auto operator<=>(const StoreyKey&) const = default;
  };
  struct Storey {
    int id = 0;
    int place = 0;
    std::vector<int> contents;  // columns and cages
  };
  struct Cage {
    int assembly = 0;
    std::vector<int> bars;
  };

  void WriteProject();
  void WriteSpatialStructure();
  void WriteColumns();
  void MatchShapes();
  void WriteBarTypes();
  void WriteCages();
  void WriteMarkProperties();
  void WriteRelations();
  void WriteSourceColumns(const CageRecord& record, const std::string& cage_id, int assembly);
  // A length written to the last digit (placements far from the origin).
  std::string ExactLength(double mm) const;
  // A relation's id follows from its kind and the ids of the objects it
  // relates (objects without one count by their entity number).
  void Relation(std::string_view type, std::string_view kind, int relating,
                const std::vector<int>& related, const std::string& args) {
    Digest digest;
    digest.Add(kind);
    const auto add = [&](int id) {
      const auto it = rooted_.find(id);
      if (it != rooted_.end()) {
        digest.Add(it->second);
      } else {
        digest.Add(static_cast<double>(id));
      }
    };
    add(relating);
    for (const int id : related) add(id);
    data_.Add(type, gid_({"relation", type, digest.Text()}) + ",$,$,$," + args);
  }
  // An object with a GlobalId: its id is kept for the relations naming it.
  int Rooted(std::string_view type, const Hash128& key, const std::string& rest) {
    const int id = data_.Add(type, GlobalIds::Quoted(key) + rest);
    rooted_.emplace(id, key);
    return id;
  }
  // IfcReinforcingBarType (IFC4): GlobalId, OwnerHistory, Name,
  // Description, ApplicableOccurrence, HasPropertySets, RepresentationMaps,
  // Tag, ElementType, PredefinedType, NominalDiameter, CrossSectionArea,
  // BarLength, BarSurface, BendingShapeCode, BendingParameters.
  int ReinforcingBarType(const Hash128& key, const ReinforcingBarTypeAttributes& a) {
    return Rooted("IFCREINFORCINGBARTYPE", key,
                  ",$," + a.name + "," + a.description + ",$," + a.property_sets + "," +
                      a.representation_maps + "," + a.tag + "," + a.element_type + "," +
                      a.predefined_type + "," + a.nominal_diameter + "," + a.cross_section_area +
                      "," + a.bar_length + "," + a.bar_surface + "," + a.bending_shape_code + "," +
                      a.bending_parameters);
  }
  // IfcReinforcingBar (IFC4): GlobalId, OwnerHistory, Name, Description,
  // ObjectType, ObjectPlacement, Representation, Tag, SteelGrade,
  // NominalDiameter, CrossSectionArea, BarLength, PredefinedType,
  // BarSurface. Written piece by piece: a building has a million.
  int ReinforcingBar(const Hash128& key, int placement, int representation,
                     const ReinforcingBarRowAttributes& a) {
    const int bar = data_.Begin("IFCREINFORCINGBAR");
    data_.Append(GlobalIds::Quoted(key)).Append(",$,").Append(a.name).Append(",$,$,");
    data_.AppendRef(placement).Append(",").AppendRef(representation).Append(",");
    data_.Append(a.tag).Append(",").Append(a.steel_grade).Append(",").Append(a.nominal_diameter);
    data_.Append(",").Append(a.cross_section_area).Append(",").Append(a.bar_length).Append(",");
    data_.Append(a.predefined_type).Append(",").Append(a.bar_surface).End();
    rooted_.emplace(bar, key);
    return bar;
  }
  // IfcColumn (IFC4): GlobalId, OwnerHistory, Name, Description,
  // ObjectType, ObjectPlacement, Representation, Tag, PredefinedType.
  int Column(const Hash128& key, const ElementAttributes& a) {
    return Rooted("IFCCOLUMN", key,
                  ",$," + a.name + "," + a.description + ",$," + Ref(a.placement) + "," +
                      a.representation + "," + a.tag + ",.COLUMN.");
  }
  // IfcElementAssembly (IFC4): GlobalId, OwnerHistory, Name, Description,
  // ObjectType, ObjectPlacement, Representation, Tag, AssemblyPlace,
  // PredefinedType. A cage is a reinforcement unit.
  int ReinforcementUnit(const Hash128& key, const ElementAttributes& a) {
    return Rooted("IFCELEMENTASSEMBLY", key,
                  ",$," + a.name + "," + a.description + ",$," + Ref(a.placement) + "," +
                      a.representation + "," + a.tag + ",.NOTDEFINED.,.REINFORCEMENT_UNIT.");
  }
  // IfcBuildingStorey (IFC4): GlobalId, OwnerHistory, Name, Description,
  // ObjectType, ObjectPlacement, Representation, LongName, CompositionType,
  // Elevation.
  int BuildingStorey(const Hash128& key, const std::string& name, int placement,
                     const std::string& elevation) {
    return Rooted("IFCBUILDINGSTOREY", key,
                  ",$," + name + ",$,$," + Ref(placement) + ",$,$,.ELEMENT.," + elevation);
  }
  // IfcElementQuantity (IFC4): GlobalId, OwnerHistory, Name, Description,
  // MethodOfMeasurement, Quantities.
  int ElementQuantity(const Hash128& key, std::string_view name,
                      const std::vector<int>& quantities) {
    return Rooted("IFCELEMENTQUANTITY", key,
                  ",$," + StepString(name) + ",$,$," + RefList(quantities));
  }
  // IfcPropertySingleValue (IFC4): Name, Description, NominalValue, Unit.
  int PropertySingleValue(std::string_view name, const std::string& nominal_value) {
    return data_.Add("IFCPROPERTYSINGLEVALUE", StepString(name) + ",$," + nominal_value + ",$");
  }
  // IfcPropertySet (IFC4): GlobalId, OwnerHistory, Name, Description,
  // HasProperties.
  int PropertySet(const Hash128& key, std::string_view name, const std::vector<int>& properties) {
    return Rooted("IFCPROPERTYSET", key, ",$," + StepString(name) + ",$," + RefList(properties));
  }
  const char* BarKind(std::size_t mark) const {
    return IsLigature(*mark_kind_[mark]) ? ".LIGATURE." : ".MAIN.";
  }

  const ExportInput& input_;
  const Schedule& schedule_;
  std::string model_name_;
  GlobalIds gid_;
  StepData data_;
  std::unordered_map<int, Hash128> rooted_;  // entity -> its GlobalId

  int world_ = 0;  // the global frame
  int body_ = 0;   // the body context
  int project_ = 0;
  int site_ = 0;
  int building_ = 0;
  int building_place_ = 0;
  const HostElementAdapter::SourceModel* source_;  // of an IFC model, else none
  std::map<StoreyKey, Storey> storeys_;            // by level
  std::vector<std::size_t> columns_;               // element indices, in the order first met
  std::vector<StoreyKey> cage_storey_;             // the storey of each cage
  StoreyKey StoreyOf(const HostElementAdapter::Element& column) const {
    if (source_ && column.source.storey) {
      const auto i = *column.source.storey;
      return {source_->storeys.at(i).level, static_cast<int>(i)};
    }
    return {column.bottom, -1};
  }
  // The GlobalId key of a storey's objects.
  std::string StoreyName(const StoreyKey& key) const {
    return key.source >= 0 ? "source " + source_->storeys.at(key.source).global_id
                           : StepReal(key.level);
  }
  int steel_ = 0;
  // By mark: the shape maps, the kind of bar, the type and the bars.
  std::vector<std::vector<ShapeMap>> maps_;
  std::vector<std::optional<HostReinf::BendingShapeType>> mark_kind_;
  std::vector<int> types_;
  std::vector<Hash128> type_keys_;
  std::vector<std::vector<int>> bars_of_mark_;
  std::vector<int> mark_sets_;                                // the quantities of one bar
  std::map<std::string, std::vector<int>> columns_of_grade_;  // concrete grade -> columns
  // By cage and placement: where its bars come from.
  std::vector<std::vector<PlacementSource>> sources_;
  std::vector<Cage> cages_;
};

void IfcFile::WriteProject() {
  world_ = data_.Frame(Point3D());
  // The source model's world coordinate system, as its file gives it, so
  // that a viewer places both files alike.
  int wcs = world_;
  if (source_ && (source_->world_origin != std::array<double, 3>{0, 0, 0} ||
                  source_->world_z != std::array<double, 3>{0, 0, 1} ||
                  source_->world_x != std::array<double, 3>{1, 0, 0})) {
    const auto raw = [](const std::array<double, 3>& v) {
      return "(" + StepReal(v[0]) + "," + StepReal(v[1]) + "," + StepReal(v[2]) + ")";
    };
    wcs = data_.Add("IFCAXIS2PLACEMENT3D",
                    Ref(data_.Add("IFCCARTESIANPOINT", raw(source_->world_origin))) + "," +
                        Ref(data_.Add("IFCDIRECTION", raw(source_->world_z))) + "," +
                        Ref(data_.Add("IFCDIRECTION", raw(source_->world_x))));
  }
  const int context = data_.Add("IFCGEOMETRICREPRESENTATIONCONTEXT",
                                "$,'Model',3," + StepReal(1e-5) + "," + Ref(wcs) + ",$");
  body_ = data_.Add("IFCGEOMETRICREPRESENTATIONSUBCONTEXT",
                    "'Body','Model',*,*,*,*," + Ref(context) + ",$,.MODEL_VIEW.,$");
  // Lengths in the source model's unit (millimetres for a model file).
  int length = 0;
  if (!source_) {
    length = data_.Add("IFCSIUNIT", "*,.LENGTHUNIT.,.MILLI.,.METRE.");
  } else if (!source_->length_unit.converted) {
    const auto& u = source_->length_unit;
    length =
        data_.Add("IFCSIUNIT", "*,.LENGTHUNIT.," + (u.prefix.empty() ? "$" : "." + u.prefix + ".") +
                                   ",." + u.name + ".");
  } else {
    const auto& u = source_->length_unit;
    const int metre = data_.Add("IFCSIUNIT", "*,.LENGTHUNIT.,$,.METRE.");
    const int factor =
        data_.Add("IFCMEASUREWITHUNIT",
                  "IFCLENGTHMEASURE(" + StepReal(u.millimetres / 1000) + ")," + Ref(metre));
    length = data_.Add("IFCCONVERSIONBASEDUNIT",
                       Ref(data_.Add("IFCDIMENSIONALEXPONENTS", "1,0,0,0,0,0,0")) +
                           ",.LENGTHUNIT.," + StepString(u.name) + "," + Ref(factor));
  }
  const std::vector<int> units = {
      length,
      data_.Add("IFCSIUNIT", "*,.PLANEANGLEUNIT.,$,.RADIAN."),
      data_.Add("IFCSIUNIT", "*,.AREAUNIT.,$,.SQUARE_METRE."),
      data_.Add("IFCSIUNIT", "*,.MASSUNIT.,.KILO.,.GRAM."),
  };
  const int unit_assignment = data_.Add("IFCUNITASSIGNMENT", RefList(units));
  project_ = Rooted("IFCPROJECT", gid_.Key({"project"}),
                    ",$," + StepLabel(input_.project) + ",$,$,$,$,(" + Ref(context) + ")," +
                        Ref(unit_assignment));
}

// The storeys of the cages: for a source model the storeys of its columns
// (their names and elevations), else one storey per level at which a
// column of a cage stands. A cage belongs to the storey of its lowest
// column.
void IfcFile::WriteSpatialStructure() {
  using HostElementAdapter::Element;
  std::set<StoreyKey> keys;
  for (const CageRecord& cage : input_.cages) {
    std::optional<StoreyKey> key;
    for (const std::string& id : cage.column_ids) {
      const auto index = input_.model ? input_.model->Find(id) : std::nullopt;
      if (!index) continue;
      const Element& e = input_.model->GetElements()[*index];
      if (std::find(columns_.begin(), columns_.end(), *index) == columns_.end()) {
        columns_.push_back(*index);
      }
      keys.insert(StoreyOf(e));
      if (!key) key = StoreyOf(e);
    }
    cage_storey_.push_back(key.value_or(StoreyKey{std::numeric_limits<double>::quiet_NaN(), -2}));
  }
  // Cages without a column of the model go to the lowest storey.
  if (keys.empty()) keys.insert({0.0, -1});
  for (StoreyKey& key : cage_storey_) {
    if (key.source == -2) key = *keys.begin();
  }

  const int site_place = data_.Add("IFCLOCALPLACEMENT", "$," + Ref(world_));
  site_ = Rooted("IFCSITE", gid_.Key({"site"}),
                 ",$,'Site',$,$," + Ref(site_place) + ",$,$,.ELEMENT.,$,$,$,$,$");
  building_place_ = data_.Add("IFCLOCALPLACEMENT", Ref(site_place) + "," + Ref(world_));
  building_ = Rooted(
      "IFCBUILDING", gid_.Key({"building"}),
      ",$," + StepLabel(model_name_) + ",$,$," + Ref(building_place_) + ",$,$,.ELEMENT.,$,$,$");
  for (const StoreyKey& key : keys) {
    Storey& s = storeys_[key];
    std::string name = LevelName(key.level);
    double elevation = key.level;
    if (key.source >= 0) {
      const auto& source = source_->storeys.at(key.source);
      name = source.name;
      elevation = source.elevation.value_or(source.level);
    }
    s.place = data_.Add("IFCLOCALPLACEMENT",
                        Ref(building_place_) + "," + Ref(data_.Frame(Point3D(0, 0, key.level))));
    s.id = BuildingStorey(gid_.Key({"storey", StoreyName(key)}), StepString(name), s.place,
                          data_.Length(elevation));
  }
}

// Each column as a prism over its plan corners, placed at its first corner.
void IfcFile::WriteColumns() {
  // A source model holds its columns; cage.ifc is laid over it and holds
  // only what the tool made.
  if (source_) return;
  // A column's concrete is the grade its cage was made for (the first cage
  // of it that says).
  std::map<std::string, std::string> grade_of_column;
  for (const CageRecord& cage : input_.cages) {
    if (cage.placements.empty()) continue;
    const int grade = cage.placements.front().GetBendingShape().GetConcreteGrade();
    const auto& grades = geomkit::concr_grade_list();
    if (grade < 1 || grade > static_cast<int>(grades.size())) continue;
    for (const std::string& id : cage.column_ids) {
      grade_of_column.emplace(id, grades[static_cast<std::size_t>(grade - 1)]);
    }
  }
  const int up = data_.Direction({0, 0, 1});
  for (const std::size_t index : columns_) {
    const HostElementAdapter::Element& e = input_.model->GetElements()[index];
    Storey& storey = storeys_.at(StoreyOf(e));
    std::string representation = "$";
    Point3D corner;
    if (e.plan.size() >= 3 && e.top > e.bottom) {
      corner = Point3D(e.plan[0].X(), e.plan[0].Y(), 0);
      std::vector<int> outline;
      for (std::size_t k = 0; k <= e.plan.size(); ++k) {  // closed: back to the first
        const auto& q = e.plan[k % e.plan.size()];
        outline.push_back(data_.Shared(
            "IFCCARTESIANPOINT",
            "(" + data_.Length(q.X() - corner.X()) + "," + data_.Length(q.Y() - corner.Y()) + ")"));
      }
      const int polyline = data_.Add("IFCPOLYLINE", RefList(outline));
      const int profile = data_.Add("IFCARBITRARYCLOSEDPROFILEDEF", ".AREA.,$," + Ref(polyline));
      const int solid =
          data_.Add("IFCEXTRUDEDAREASOLID", Ref(profile) + "," + Ref(world_) + "," + Ref(up) + "," +
                                                data_.Length(e.top - e.bottom));
      const int shape = data_.Add("IFCSHAPEREPRESENTATION",
                                  Ref(body_) + ",'Body','SweptSolid',(" + Ref(solid) + ")");
      representation = Ref(data_.Add("IFCPRODUCTDEFINITIONSHAPE", "$,$,(" + Ref(shape) + ")"));
    }
    const int place =
        data_.Add("IFCLOCALPLACEMENT", Ref(storey.place) + "," + Ref(data_.Frame(corner)));
    // Name and Tag hold at most 255 characters: a longer id is whole in the
    // description.
    const std::string label = StepLabel(e.id);
    const std::string description =
        FirstCharacters(e.id, kMaxLabelCharacters).size() < e.id.size() ? StepString(e.id) : "$";
    const int column = Column(gid_.Key({"column", e.id}), {.name = label,
                                                           .description = description,
                                                           .placement = place,
                                                           .representation = representation,
                                                           .tag = label});
    storey.contents.push_back(column);
    if (const auto it = grade_of_column.find(e.id); it != grade_of_column.end()) {
      columns_of_grade_[it->second].push_back(column);
    }
  }
}

// Each placement's bars come from one shape map of its mark: the first shape
// of the mark met, or another one where a shape cannot be carried onto it by
// a rigid motion.
void IfcFile::MatchShapes() {
  maps_.assign(schedule_.marks.size(), {});
  mark_kind_.assign(schedule_.marks.size(), std::nullopt);
  sources_.assign(input_.cages.size(), {});
  for (std::size_t c = 0; c < input_.cages.size(); ++c) {
    for (std::size_t p = 0; p < input_.cages[c].placements.size(); ++p) {
      const auto& shape = input_.cages[c].placements[p].GetBendingShape();
      PlacementSource source;
      source.mark = schedule_.placement_marks.at(c).at(p);
      auto& candidates = maps_.at(source.mark);
      if (!mark_kind_[source.mark]) mark_kind_[source.mark] = shape.GetShapeType();
      bool found = false;
      for (std::size_t m = 0; m < candidates.size() && !found; ++m) {
        if (candidates[m].diameter != shape.GetDiameter() ||
            candidates[m].bend_radius != shape.GetBendRadius()) {
          continue;
        }
        if (auto motion = MatchRigid(candidates[m].polyline, shape.GetPolyline())) {
          source.map = m;
          source.motion = *motion;
          found = true;
        }
      }
      if (!found) {
        source.map = candidates.size();
        candidates.push_back({shape.GetPolyline(), shape.GetDiameter(), shape.GetBendRadius()});
      }
      sources_[c].push_back(source);
    }
  }
}

// The material, and one bar type per mark whose maps hold its swept shapes.
void IfcFile::WriteBarTypes() {
  MatchShapes();
  steel_ = data_.Add("IFCMATERIAL", "'B500B',$,'Steel'");
  types_.assign(schedule_.marks.size(), 0);
  type_keys_.assign(schedule_.marks.size(), {});
  for (std::size_t m = 0; m < schedule_.marks.size(); ++m) {
    if (maps_[m].empty()) continue;  // no placement of this mark in the export
    const MarkEntry& mark = schedule_.marks[m];
    std::vector<int> map_ids;
    for (ShapeMap& map : maps_[m]) {
      const IndexedCurve curve = FilletPolyline(map.polyline, map.bend_radius);
      std::string coords;
      for (const Point3D& q : curve.points) {
        coords += (coords.empty() ? "" : ",") + data_.Place(q);
      }
      const int points = data_.Add("IFCCARTESIANPOINTLIST3D", "(" + coords + ")");
      std::string segments;
      for (const auto& segment : curve.segments) {
        segments += segments.empty() ? "(" : ",";
        segments += segment.arc ? "IFCARCINDEX((" : "IFCLINEINDEX((";
        for (std::size_t q = 0; q < segment.indices.size(); ++q) {
          segments += (q ? "," : "") + std::to_string(segment.indices[q]);
        }
        segments += "))";
      }
      const int directrix = data_.Add("IFCINDEXEDPOLYCURVE", Ref(points) + "," + segments + "),$");
      const int solid = data_.Add("IFCSWEPTDISKSOLID",
                                  Ref(directrix) + "," + data_.Length(map.diameter / 2) + ",$,$,$");
      const int shape = data_.Add("IFCSHAPEREPRESENTATION",
                                  Ref(body_) + ",'Body','AdvancedSweptSolid',(" + Ref(solid) + ")");
      map.id = data_.Add("IFCREPRESENTATIONMAP", Ref(world_) + "," + Ref(shape));
      map_ids.push_back(map.id);
    }
    const BarShape& s = mark.shape;
    // The type is its mark and its shape: a digest of its scheduled values
    // and its bent shapes.
    Digest digest;
    digest.Add(mark.mark).Add(s.code).Add(s.sketch).Add(s.diameter).Add(s.bend_radius);
    for (const double v : {s.A, s.B, s.C, s.D, s.E, s.exact_length}) digest.Add(v);
    for (const ShapeMap& map : maps_[m]) {
      for (const Point3D& q : map.polyline) digest.Add(q);
    }
    // What the schedule says of the mark beyond the type's own attributes,
    // in a property set of our own.
    std::vector<int> schedule_values{
        PropertySingleValue("Mark", "IFCIDENTIFIER(" + StepString(mark.mark) + ")"),
        PropertySingleValue("ScheduledLength", "IFCPOSITIVELENGTHMEASURE(" +
                                                   data_.Length(mark.scheduled_length) + ")"),
    };
    if (!s.sketch.empty()) {
      schedule_values.push_back(
          PropertySingleValue("Shape", "IFCTEXT(" + StepString(s.sketch) + ")"));
    }
    const Hash128 type_key = gid_.Key({"type", mark.mark, digest.Text()});
    type_keys_[m] = type_key;
    const int schedule_set = PropertySet(gid_.Key({"schedule of", EncodeGlobalId(type_key)}),
                                         "Pier_BarSchedule", schedule_values);
    // The scheduled dimensions in order, up to the last one used.
    const std::array<double, 5> dims{s.A, s.B, s.C, s.D, s.E};
    std::size_t used = dims.size();
    while (used > 0 && dims[used - 1] == 0) --used;
    std::string parameters = used ? "(" : "$";
    for (std::size_t k = 0; k < used; ++k) {
      parameters += (k ? ",IFCLENGTHMEASURE(" : "IFCLENGTHMEASURE(") + data_.Length(dims[k]) + ")";
    }
    if (used) parameters += ")";
    const std::string description = TypeAndSize(s.diameter) + ", shape code " + s.code +
                                    (s.sketch.empty() ? "" : ": " + s.sketch);
    types_[m] = ReinforcingBarType(type_key, {.name = StepString(mark.mark),
                                              .description = StepString(description),
                                              .property_sets = RefList({schedule_set}),
                                              .representation_maps = RefList(map_ids),
                                              .tag = StepString(mark.mark),
                                              .element_type = StepString(TypeAndSize(s.diameter)),
                                              .predefined_type = BarKind(m),
                                              .nominal_diameter = data_.Length(s.diameter),
                                              .cross_section_area = StepReal(BarArea(s.diameter)),
                                              .bar_length = data_.Length(s.exact_length),
                                              .bar_surface = ".TEXTURED.",
                                              .bending_shape_code = StepString(s.code),
                                              .bending_parameters = parameters});
  }
}

// Cages and their bars. A bar's placement is its translation along the
// placement's line; its mapping operator carries the map onto the
// placement's shape. Bars are numbered per mark within their cage.
void IfcFile::WriteCages() {
  bars_of_mark_.assign(schedule_.marks.size(), {});
  for (std::size_t c = 0; c < input_.cages.size(); ++c) {
    const CageRecord& record = input_.cages[c];
    const StoreyKey& key = cage_storey_[c];
    const double level = key.level;
    Storey& storey = storeys_.at(key);
    // The cage is placed at its column's first corner, written to the last
    // digit, and its bars relative to it: a model far from the origin keeps
    // every bar to the micrometre.
    const HostElementAdapter::Element* column = nullptr;
    if (input_.model && !record.column_ids.empty()) {
      if (const auto index = input_.model->Find(record.column_ids.front())) {
        column = &input_.model->GetElements()[*index];
      }
    }
    Point3D origin;
    if (column && !column->plan.empty())
      origin = Point3D(column->plan[0].X(), column->plan[0].Y(), 0);
    const int cage_place = data_.Add(
        "IFCLOCALPLACEMENT",
        Ref(storey.place) + "," +
            Ref(data_.Add(
                "IFCAXIS2PLACEMENT3D",
                Ref(data_.Add("IFCCARTESIANPOINT", "(" + ExactLength(origin.X()) + "," +
                                                       ExactLength(origin.Y()) + ",0.)")) +
                    ",$,$")));
    std::string description = "Reinforcement cage of ";
    for (std::size_t k = 0; k < record.column_ids.size(); ++k) {
      description += (k ? ", " : "") + record.column_ids[k];
    }
    // A cage made for a column of a source model carries that column's
    // GlobalId, Name and Tag, and its Tag.
    const std::string tag =
        column && !column->source.tag.empty() ? StepString(column->source.tag) : "$";
    // A cage is its columns and its bars: the same cage written again keeps
    // its id, another cage of the same columns gets another.
    Digest digest;
    digest.Add(record.name);
    for (const std::string& id : record.column_ids) {
      digest.Add(id);
      const auto index = input_.model ? input_.model->Find(id) : std::nullopt;
      if (!index) continue;
      const auto& e = input_.model->GetElements()[*index];
      digest.Add(e.source.global_id).Add(e.bottom).Add(e.top);
      for (const auto& q : e.plan) digest.Add(q.X()).Add(q.Y());
    }
    for (std::size_t p = 0; p < record.placements.size(); ++p) {
      const BarPlacement& placement = record.placements[p];
      digest.Add(schedule_.marks[sources_[c][p].mark].mark);
      for (const Point3D& q : placement.GetBendingShape().GetPolyline()) digest.Add(q);
      for (std::size_t k = 0; k < placement.GetBarCount(); ++k) {
        const Vector3D t = placement.GetBarTranslation(k);
        digest.Add(t.X()).Add(t.Y()).Add(t.Z());
      }
    }
    const Hash128 cage_key = gid_.Key({"cage", record.name, digest.Text()});
    const std::string cage_id = EncodeGlobalId(cage_key);
    Cage cage;
    cage.assembly = ReinforcementUnit(cage_key, {.name = StepLabel(record.name),
                                                 .description = StepString(description),
                                                 .placement = cage_place,
                                                 .tag = tag});
    storey.contents.push_back(cage.assembly);
    WriteSourceColumns(record, cage_id, cage.assembly);
    std::vector<std::size_t> count_of_mark(schedule_.marks.size(), 0);
    for (std::size_t p = 0; p < record.placements.size(); ++p) {
      const BarPlacement& placement = record.placements[p];
      const PlacementSource& source = sources_[c][p];
      const MarkEntry& mark = schedule_.marks[source.mark];
      const Rigid& motion = source.motion;
      const int map_id = maps_[source.mark][source.map].id;
      const std::string shift = Ref(data_.Point(Point3D() + motion.shift));
      const int mapping =
          motion.KeepsAxes()
              ? data_.Shared("IFCCARTESIANTRANSFORMATIONOPERATOR3D", "$,$," + shift + ",1.,$")
              : data_.Shared("IFCCARTESIANTRANSFORMATIONOPERATOR3D",
                             Ref(data_.Direction(motion.axes[0])) + "," +
                                 Ref(data_.Direction(motion.axes[1])) + "," + shift + ",1.," +
                                 Ref(data_.Direction(motion.axes[2])));
      const ReinforcingBarRowAttributes row{
          .name = StepString(TypeAndSize(mark.shape.diameter) + "-" + mark.mark),
          .tag = StepString(mark.mark),
          .steel_grade = "'B500B'",
          .nominal_diameter = data_.Length(mark.shape.diameter),
          .cross_section_area = StepReal(BarArea(mark.shape.diameter)),
          .bar_length = data_.Length(mark.shape.exact_length),
          .predefined_type = BarKind(source.mark),
          .bar_surface = ".TEXTURED."};
      int product = 0;
      for (std::size_t k = 0; k < placement.GetBarCount(); ++k) {
        // Each bar: its own position, the mark's shape mapped there, and the
        // bar itself. Written piece by piece: a building has a million.
        const Vector3D at =
            placement.GetBarTranslation(k) - Vector3D(origin.X(), origin.Y(), level);
        const int point = data_.Begin("IFCCARTESIANPOINT");
        data_.Append("(").AppendLength(at.X()).Append(",").AppendLength(at.Y()).Append(",");
        data_.AppendLength(at.Z());
        data_.Append(")").End();
        const int frame = data_.Begin("IFCAXIS2PLACEMENT3D");
        data_.AppendRef(point).Append(",$,$").End();
        const int place = data_.Begin("IFCLOCALPLACEMENT");
        data_.AppendRef(cage_place).Append(",").AppendRef(frame).End();
        // The mapped shape is relative to the bar's own placement, so every
        // bar of a row shares one product shape.
        if (product == 0) {
          const int item = data_.Begin("IFCMAPPEDITEM");
          data_.AppendRef(map_id).Append(",").AppendRef(mapping).End();
          const int shape = data_.Begin("IFCSHAPEREPRESENTATION");
          data_.AppendRef(body_)
              .Append(",'Body','MappedRepresentation',(")
              .AppendRef(item)
              .Append(")")
              .End();
          product = data_.Begin("IFCPRODUCTDEFINITIONSHAPE");
          data_.Append("$,$,(").AppendRef(shape).Append(")").End();
        }
        char number[16];
        const auto [number_end, ec] =
            std::to_chars(number, number + sizeof number, ++count_of_mark[source.mark]);
        const Hash128 bar_key =
            gid_.Key({"bar", cage_id, mark.mark, std::string_view(number, number_end)});
        const int bar = ReinforcingBar(bar_key, place, product, row);
        cage.bars.push_back(bar);
        bars_of_mark_[source.mark].push_back(bar);
      }
    }
    cages_.push_back(std::move(cage));
  }
}

// For each mark the quantities of one bar. (Its shape code and dimensions
// are the bar type's own attributes.)
void IfcFile::WriteMarkProperties() {
  mark_sets_.assign(schedule_.marks.size(), 0);
  for (std::size_t m = 0; m < schedule_.marks.size(); ++m) {
    if (bars_of_mark_[m].empty()) continue;
    const MarkEntry& mark = schedule_.marks[m];
    const BarShape& s = mark.shape;
    const std::vector<int> quantities{
        data_.Add("IFCQUANTITYCOUNT", "'Count',$,$,1.,$"),
        data_.Add("IFCQUANTITYLENGTH", "'Length',$,$," + data_.Length(s.exact_length) + ",$"),
        data_.Add("IFCQUANTITYWEIGHT",
                  "'Weight',$,$," + StepReal(s.exact_length / 1000.0 * mark.unit_mass) + ",$"),
    };
    mark_sets_[m] = ElementQuantity(gid_.Key({"quantities of", EncodeGlobalId(type_keys_[m])}),
                                    "Qto_ReinforcingElementBaseQuantities", quantities);
  }
}

std::string IfcFile::ExactLength(double mm) const {
  const double v = mm / (source_ ? source_->length_unit.millimetres : 1.0);
  if (!std::isfinite(v)) throw std::invalid_argument("cage.ifc: a placement is not finite");
  char buf[48];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v == 0 ? 0.0 : v);
  std::string text(buf, end);
  const std::size_t e = text.find('e');
  if (e != std::string::npos) text[e] = 'E';
  if (text.find('.') == std::string::npos)
    text.insert(e == std::string::npos ? text.size() : e, ".");
  return text;
}

// The source columns of a cage, one property set each, so that the cage can
// be tied back to them: Pier_SourceColumn for the lower (or only) one,
// Pier_SourceColumnAbove for the one standing on it.
void IfcFile::WriteSourceColumns(const CageRecord& record, const std::string& cage_id,
                                 int assembly) {
  if (!source_ || !input_.model) return;
  for (std::size_t k = 0; k < record.column_ids.size() && k < 2; ++k) {
    const auto index = input_.model->Find(record.column_ids[k]);
    if (!index) continue;
    const auto& src = input_.model->GetElements()[*index].source;
    if (src.global_id.empty()) continue;
    const auto value = [&](const char* name, const char* type, const std::string& text) {
      return data_.Add("IFCPROPERTYSINGLEVALUE",
                       std::string("'") + name + "',$," + type + "(" + StepString(text) + "),$");
    };
    std::vector<int> properties{value("GlobalId", "IFCIDENTIFIER", src.global_id)};
    if (!src.name.empty()) properties.push_back(value("Name", "IFCLABEL", src.name));
    if (!src.tag.empty()) properties.push_back(value("Tag", "IFCIDENTIFIER", src.tag));
    if (src.storey) {
      properties.push_back(value("Storey", "IFCLABEL", source_->storeys.at(*src.storey).name));
    }
    const char* set = k == 0 ? "Pier_SourceColumn" : "Pier_SourceColumnAbove";
    const int pset = PropertySet(gid_.Key({set, cage_id}), set, properties);
    Relation("IFCRELDEFINESBYPROPERTIES", "properties", pset, {assembly},
             "(" + Ref(assembly) + ")," + Ref(pset));
  }
}

void IfcFile::WriteRelations() {
  Relation("IFCRELAGGREGATES", "aggregates", project_, {site_},
           Ref(project_) + ",(" + Ref(site_) + ")");
  Relation("IFCRELAGGREGATES", "aggregates", site_, {building_},
           Ref(site_) + ",(" + Ref(building_) + ")");
  std::vector<int> storey_ids;
  for (const auto& [key, s] : storeys_) storey_ids.push_back(s.id);
  Relation("IFCRELAGGREGATES", "aggregates", building_, storey_ids,
           Ref(building_) + "," + RefList(storey_ids));
  for (const auto& [key, s] : storeys_) {
    if (s.contents.empty()) continue;
    Relation("IFCRELCONTAINEDINSPATIALSTRUCTURE", "contains", s.id, s.contents,
             RefList(s.contents) + "," + Ref(s.id));
  }
  // A cage's bars are its parts; being parts, they stay out of the storey.
  for (std::size_t c = 0; c < cages_.size(); ++c) {
    if (cages_[c].bars.empty()) continue;
    Relation("IFCRELAGGREGATES", "aggregates", cages_[c].assembly, cages_[c].bars,
             Ref(cages_[c].assembly) + "," + RefList(cages_[c].bars));
  }
  // The columns' concrete, by grade.
  for (const auto& [grade, columns] : columns_of_grade_) {
    const int material = data_.Add("IFCMATERIAL", StepString(grade) + ",$,'Concrete'");
    Relation("IFCRELASSOCIATESMATERIAL", "material " + grade, material, columns,
             RefList(columns) + "," + Ref(material));
  }
  std::vector<int> types;
  for (const int t : types_) {
    if (t) types.push_back(t);
  }
  if (types.empty()) return;
  Relation("IFCRELDECLARES", "declares", project_, types, Ref(project_) + "," + RefList(types));
  std::vector<int> with_material = types;
  for (const auto& bars : bars_of_mark_) {
    with_material.insert(with_material.end(), bars.begin(), bars.end());
  }
  Relation("IFCRELASSOCIATESMATERIAL", "material", steel_, with_material,
           RefList(with_material) + "," + Ref(steel_));
  for (std::size_t m = 0; m < schedule_.marks.size(); ++m) {
    if (bars_of_mark_[m].empty()) continue;
    const std::string bars = RefList(bars_of_mark_[m]);
    Relation("IFCRELDEFINESBYTYPE", "typed", types_[m], bars_of_mark_[m],
             bars + "," + Ref(types_[m]));
    Relation("IFCRELDEFINESBYPROPERTIES", "quantities", mark_sets_[m], bars_of_mark_[m],
             bars + "," + Ref(mark_sets_[m]));
  }
}

class IfcWriter : public Exporter {
 public:
  std::string FileName() const override { return "cage.ifc"; }
  void Write(const ExportInput& input, const Schedule& schedule, std::ostream& out) const override {
    out << "ISO-10303-21;\nHEADER;\n"
        << "FILE_DESCRIPTION(('ViewDefinition [DesignTransferView_V1.0]'),'2;1');\n"
        << "FILE_NAME(" << StepString(FileName()) << "," << StepString(IsoTimestamp(input.date))
        << ",(''),(''),'pierhost','pierhost','');\n"
        << "FILE_SCHEMA(('IFC4'));\nENDSEC;\nDATA;\n";
    IfcFile(input, schedule).Build(out);
    out << "ENDSEC;\nEND-ISO-10303-21;\n";
  }
};

}  // namespace
}  // namespace ifc

std::unique_ptr<Exporter> MakeIfcWriter() { return std::make_unique<ifc::IfcWriter>(); }

}  // namespace pierhost

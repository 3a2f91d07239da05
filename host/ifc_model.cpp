#include "host/ifc_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <variant>

namespace HostIfc {

using HostElementAdapter::ElementModel;
using HostElementAdapter::ElementSource;
using HostElementAdapter::Refusal;
using HostElementAdapter::SourceModel;
using HostGeo::Point2D;
using HostGeo::Vector3D;
using HostStep::Entity;
using HostStep::StepError;
using HostStep::StepFile;
using HostStep::Value;

namespace {

// ---------------------------------------------------------------------------
// Concrete in the usual languages.

// Lower case for ASCII, Latin-1 and Cyrillic capitals, the alphabets of the
// names below; everything else is kept.
std::string Lower(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b >= 'A' && b <= 'Z') {
      out += static_cast<char>(b + 32);
    } else if (b == 0xC3 && i + 1 < s.size()) {  // U+00C0..U+00DE, not U+00D7
      const auto c = static_cast<unsigned char>(s[i + 1]);
      out += s[i];
      out += static_cast<char>(c >= 0x80 && c <= 0x9E && c != 0x97 ? c + 0x20 : c);
      ++i;
    } else if (b == 0xD0 && i + 1 < s.size()) {  // U+0410..U+042F
      const auto c = static_cast<unsigned char>(s[i + 1]);
      if (c >= 0x90 && c <= 0x9F) {
        out += s[i];
        out += static_cast<char>(c + 0x20);
      } else if (c >= 0xA0 && c <= 0xAF) {
        out += '\xD1';
        out += static_cast<char>(c - 0x20);
      } else {
        out += s[i];
        out += static_cast<char>(c);
      }
      ++i;
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || static_cast<unsigned char>(c) >= 0x80; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "C30/37", "LC25/28": the strength classes of concrete.
bool HasStrengthClass(const std::string& s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != 'c') continue;
    std::size_t before = i;
    if (before > 0 && s[before - 1] == 'l') --before;
    if (before > 0 && IsLetter(s[before - 1])) continue;
    std::size_t k = i + 1, digits = 0;
    while (k < s.size() && IsDigit(s[k])) ++k, ++digits;
    if (digits == 0 || digits > 3 || k >= s.size() || s[k] != '/') continue;
    std::size_t m = k + 1, more = 0;
    while (m < s.size() && IsDigit(s[m])) ++m, ++more;
    if (more > 0 && more <= 3 && (m == s.size() || !IsLetter(s[m]))) return true;
  }
  return false;
}

}  // namespace

bool IsConcrete(std::string_view material_name) {
  static const char* const kWords[] = {
      "concrete",
      "beton",
      "b\u00e9ton",
      "bet\u00f3n",
      "hormig\u00f3n",
      "hormigon",
      "calcestruzzo",
      "concreto",
      "bet\u00e3o",
      "betao",
      "\u0431\u0435\u0442\u043e\u043d",        // Russian, Ukrainian, Bulgarian, Serbian
      "\u30b3\u30f3\u30af\u30ea\u30fc\u30c8",  // Japanese
      "\u6df7\u51dd\u571f",                    // Chinese
      "\ucf58\ud06c\ub9ac\ud2b8",              // Korean
      "\u03c3\u03ba\u03c5\u03c1\u03bf\u03b4\u03ad\u03bc\u03b1",  // Greek
  };
  const std::string s = Lower(material_name);
  for (const char* w : kWords) {
    if (s.find(w) != std::string::npos) return true;
  }
  return HasStrengthClass(s);
}

namespace {

// ---------------------------------------------------------------------------
// Geometry.

// An affine map p -> o + x p.x + y p.y + z p.z, millimetres. Placements are
// rigid; mapped items may scale and mirror.
struct Affine {
  Vector3D x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  Vector3D o;
  Vector3D Apply(const Vector3D& p) const { return o + x * p.X() + y * p.Y() + z * p.Z(); }
  Vector3D Turn(const Vector3D& v) const { return x * v.X() + y * v.Y() + z * v.Z(); }
  // This map after `inner`: p -> this(inner(p)).
  Affine After(const Affine& inner) const {
    return {Turn(inner.x), Turn(inner.y), Turn(inner.z), Apply(inner.o)};
  }
};

// Why a column is not taken; thrown inside the reader, caught per column.
struct NotTaken {
  std::string reason;
  std::string detail;
};

std::string Describe(const Entity& e) {
  return "line " + std::to_string(e.Line()) + ": #" + std::to_string(e.Id()) + "=" +
         std::string(e.Type());
}

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

bool Is(const Entity& e, std::string_view type) { return e.Type() == type; }

// An optional text attribute: empty when $ or missing.
std::string OptionalText(const Entity& e, std::size_t i) {
  if (i >= e.Size() || e[i].IsNull()) return {};
  return e[i].Text();
}

double SiPrefix(std::string_view prefix, const Value& where) {
  static const std::map<std::string_view, double> kPrefixes{
      {"EXA", 1e18},  {"PETA", 1e15},  {"TERA", 1e12},   {"GIGA", 1e9},
      {"MEGA", 1e6},  {"KILO", 1e3},   {"HECTO", 1e2},   {"DECA", 1e1},
      {"DECI", 1e-1}, {"CENTI", 1e-2}, {"MILLI", 1e-3},  {"MICRO", 1e-6},
      {"NANO", 1e-9}, {"PICO", 1e-12}, {"FEMTO", 1e-15}, {"ATTO", 1e-18}};
  const auto it = kPrefixes.find(prefix);
  if (it == kPrefixes.end()) where.Fail("unknown SI prefix ." + std::string(prefix) + ".");
  return it->second;
}

class Reader {
 public:
  Reader(const StepFile& file, const HostElementAdapter::ReadOptions& options)
      : f_(file), options_(options) {}

  // Reads what the model needs from the file; after it the file may go.
  void Extract();
  // Builds the model from what was read.
  std::shared_ptr<const ElementModel> Build();

 private:
  struct Column {
    ElementSource source;
    std::uint32_t entity = 0;
    std::size_t line = 0;
    std::vector<Point2D> plan;
    double bottom = 0, top = 0;
    std::optional<NotTaken> refused;
    std::string id;
  };
  struct Wall {
    ElementSource source;
    Point2D start, end;
    double thickness = 0, bottom = 0, top = 0;
    std::vector<double> layers;  // thicknesses, the first on the left of the axis
    std::vector<std::string> layer_names;
    std::string id;
  };
  // One extrusion in world coordinates: its profile's corners (the base
  // face) and the extrusion vector.
  struct Extrusion {
    std::vector<Vector3D> base;
    Vector3D sweep;
    Affine frame;  // the solid's frame in the world
  };

  Entity Get(std::uint32_t id, const Entity& from) const { return f_.Get(id, &from); }
  Entity Get(const Value& ref, const Entity& from) const { return f_.Get(ref.Ref(), &from); }

  void ReadUnits();
  void ReadWorld();
  void ReadRelations();
  void ReadStoreys();
  ElementSource SourceOf(const Entity& product);
  const std::vector<std::pair<std::string, bool>>& MaterialsOf(std::uint32_t object);
  void CollectMaterials(const Entity& select, std::vector<std::pair<std::string, bool>>& out,
                        int depth);

  Vector3D Point(const Value& ref, const Entity& from) const;
  Vector3D Direction(const Value& ref, const Entity& from);
  // An axis placement; `shared` ones (of profiles, solids and maps, which
  // many elements share) are decoded once.
  Affine Axis2Placement(const Value& ref, const Entity& from, bool shared = true);
  Affine TransformationOperator(const Value& ref, const Entity& from);
  Affine ObjectPlacement(std::uint32_t id, const Entity& from, int depth = 0);
  Affine PlacementOf(const Entity& product);

  std::vector<Point2D> ProfileCorners(const Entity& profile, int depth = 0);
  std::vector<Point2D> CurvePoints(const Entity& curve);
  void Extrusions(const Entity& item, const Affine& frame, std::vector<Extrusion>& out, int depth);
  std::vector<Extrusion> Body(const Entity& product);
  // The vertical prism of one extrusion: plan corners (first corner first,
  // counter-clockwise), bottom and top.
  struct Prism {
    std::vector<Point2D> plan;
    double bottom = 0, top = 0;
  };
  Prism VerticalPrism(const Extrusion& e) const;

  void ReadColumn(const Entity& column);
  void ReadWall(const Entity& wall);
  void AssignIds();

  const StepFile& f_;
  std::string source_name_;
  HostElementAdapter::ReadOptions options_;
  double mm_ = 1;  // one length unit in mm
  SourceModel source_;
  std::string name_;
  std::unordered_map<std::uint32_t, std::uint32_t> container_;              // element -> structure
  std::unordered_map<std::uint32_t, std::uint32_t> whole_;                  // part -> whole
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> material_;  // object -> selects
  std::unordered_map<std::uint32_t, std::uint32_t> type_;                   // object -> type object
  std::unordered_set<std::uint32_t> voided_;
  std::unordered_map<std::uint32_t, std::size_t> storey_of_entity_;
  std::unordered_map<std::uint32_t, Affine> placements_;  // of placements others are relative to
  std::unordered_map<std::uint32_t, Vector3D> directions_;
  std::unordered_map<std::uint32_t, Affine> axes_;
  std::unordered_map<std::uint32_t, Affine> operators_;
  // Profiles and representation maps many elements share, read once: the
  // corners (or why not), and a map's extrusions placed by its origin.
  std::unordered_map<std::uint32_t, std::variant<std::vector<Point2D>, NotTaken>> profiles_;
  std::unordered_map<std::uint32_t, std::variant<std::vector<Extrusion>, NotTaken>> maps_;
  // A wall's layers as a layer set usage gives them: from the left of the
  // axis, and their material names.
  struct Layers {
    std::vector<double> thickness;
    std::vector<std::string> names;
  };
  std::unordered_map<std::uint32_t, std::optional<Layers>> layers_;
  const Layers* LayersOf(std::uint32_t select);
  std::unordered_map<std::uint32_t, std::vector<std::pair<std::string, bool>>> materials_of_;
  std::unordered_map<std::uint32_t, std::vector<std::pair<std::string, bool>>> merged_materials_;
  std::vector<Column> columns_;
  std::vector<Wall> walls_;
};

// ---- Units, frame, relations, storeys --------------------------------------

void Reader::ReadUnits() {
  const auto projects = f_.OfType("IFCPROJECT");
  if (projects.empty()) {
    throw StepError(f_.SourceName() + ": the file holds no IFCPROJECT, so it has no units");
  }
  const Entity project = f_.Get(projects.front());
  // The project's long name where it has one ("Sample House"), else its
  // name (often a number).
  name_ = project.Size() > 5 ? OptionalText(project, 5) : std::string();
  if (name_.empty()) name_ = OptionalText(project, 2);
  if (project.Size() < 9 || project[8].IsNull()) project.Fail("has no units (UnitsInContext)");
  const Entity units = Get(project[8], project);
  const Value list = units[0];
  for (std::size_t i = 0; i < list.Size(); ++i) {
    const Entity unit = Get(list[i], units);
    if (unit.Size() < 2 || unit[1].GetKind() != HostStep::Kind::Enum ||
        unit[1].Name() != "LENGTHUNIT") {
      continue;
    }
    // One unit in metres, from an SI unit or a unit converted from one.
    const auto si = [&](const Entity& u) {
      if (!Is(u, "IFCSIUNIT")) u.Fail("is not an SI unit, which a length unit converts from");
      if (u[3].Name() != "METRE") u[3].Fail("a length unit must be based on the metre");
      return u[2].IsNull() ? 1.0 : SiPrefix(u[2].Name(), u[2]);
    };
    HostElementAdapter::LengthUnit length;
    if (Is(unit, "IFCSIUNIT")) {
      length.prefix = unit[2].IsNull() ? "" : std::string(unit[2].Name());
      length.name = "METRE";
      length.millimetres = si(unit) * 1000;
    } else if (Is(unit, "IFCCONVERSIONBASEDUNIT") || Is(unit, "IFCCONVERSIONBASEDUNITWITHOFFSET")) {
      const Entity factor = Get(unit[3], unit);
      const double value = factor[0].Number();
      length.prefix.clear();
      length.name = unit[2].Text();
      length.converted = true;
      length.millimetres = value * si(Get(factor[1], factor)) * 1000;
    } else {
      unit.Fail("is a length unit of a kind this reader does not know");
    }
    if (!(length.millimetres > 0) || !std::isfinite(length.millimetres)) {
      unit.Fail("gives a length unit of " + std::to_string(length.millimetres) + " mm");
    }
    source_.length_unit = length;
    mm_ = length.millimetres;
    return;
  }
  units.Fail("declares no length unit");
}

void Reader::ReadWorld() {
  const auto projects = f_.OfType("IFCPROJECT");
  const Entity project = f_.Get(projects.front());
  if (project.Size() < 8 || project[7].IsNull()) return;
  const Value contexts = project[7];
  for (std::size_t i = 0; i < contexts.Size(); ++i) {
    const Entity context = Get(contexts[i], project);
    if (!Is(context, "IFCGEOMETRICREPRESENTATIONCONTEXT") || context.Size() < 5) continue;
    if (OptionalText(context, 1) != "Model" || context[4].IsNull()) continue;
    const Entity wcs = Get(context[4], context);
    const auto raw = [&](const Value& ref, std::array<double, 3>& out) {
      const Entity e = Get(ref, wcs);
      const Value v = e[0];
      out = {0, 0, 0};
      for (std::size_t k = 0; k < v.Size() && k < 3; ++k) out[k] = v[k].Number();
    };
    raw(wcs[0], source_.world_origin);
    if (Is(wcs, "IFCAXIS2PLACEMENT3D")) {
      if (!wcs[1].IsNull()) raw(wcs[1], source_.world_z);
      if (!wcs[2].IsNull()) raw(wcs[2], source_.world_x);
    } else if (wcs.Size() > 1 && !wcs[1].IsNull()) {
      raw(wcs[1], source_.world_x);
    }
    return;
  }
}

void Reader::ReadRelations() {
  for (const auto id : f_.OfType("IFCRELCONTAINEDINSPATIALSTRUCTURE")) {
    const Entity rel = f_.Get(id);
    const Value elements = rel[4];
    const std::uint32_t structure = rel[5].Ref();
    for (std::size_t i = 0; i < elements.Size(); ++i)
      container_.emplace(elements[i].Ref(), structure);
  }
  for (const auto id : f_.OfType("IFCRELAGGREGATES")) {
    const Entity rel = f_.Get(id);
    const std::uint32_t whole = rel[4].Ref();
    const Value parts = rel[5];
    for (std::size_t i = 0; i < parts.Size(); ++i) whole_.emplace(parts[i].Ref(), whole);
  }
  for (const auto id : f_.OfType("IFCRELASSOCIATESMATERIAL")) {
    const Entity rel = f_.Get(id);
    const Value objects = rel[4];
    const std::uint32_t material = rel[5].Ref();
    for (std::size_t i = 0; i < objects.Size(); ++i) {
      material_[objects[i].Ref()].push_back(material);
    }
  }
  for (const auto id : f_.OfType("IFCRELDEFINESBYTYPE")) {
    const Entity rel = f_.Get(id);
    const Value objects = rel[4];
    const std::uint32_t type = rel[5].Ref();
    for (std::size_t i = 0; i < objects.Size(); ++i) type_.emplace(objects[i].Ref(), type);
  }
  for (const auto id : f_.OfType("IFCRELVOIDSELEMENT")) {
    voided_.insert(f_.Get(id)[4].Ref());
  }
}

void Reader::ReadStoreys() {
  struct Found {
    std::uint32_t entity;
    HostElementAdapter::SourceStorey storey;
  };
  std::vector<Found> found;
  for (const auto id : f_.OfType("IFCBUILDINGSTOREY")) {
    const Entity e = f_.Get(id);
    HostElementAdapter::SourceStorey s;
    s.global_id = e[0].Text();
    s.name = OptionalText(e, 2);
    s.level = PlacementOf(e).o.Z();
    if (e.Size() > 9 && !e[9].IsNull()) s.elevation = e[9].Number() * mm_;
    found.push_back({id, s});
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const Found& a, const Found& b) { return a.storey.level < b.storey.level; });
  for (const auto& f : found) {
    storey_of_entity_[f.entity] = source_.storeys.size();
    source_.storeys.push_back(f.storey);
  }
}

ElementSource Reader::SourceOf(const Entity& product) {
  ElementSource s;
  s.global_id = product[0].Text();
  s.name = OptionalText(product, 2);
  s.tag = product.Size() > 7 ? OptionalText(product, 7) : std::string();
  if (const auto t = type_.find(product.Id()); t != type_.end() && f_.Has(t->second)) {
    s.type_name = OptionalText(Get(t->second, product), 2);
  }
  // Its storey: the structure that contains it, or the whole it is part of.
  std::uint32_t at = product.Id();
  for (int depth = 0; depth < 16; ++depth) {
    if (const auto c = container_.find(at); c != container_.end()) {
      if (const auto s2 = storey_of_entity_.find(c->second); s2 != storey_of_entity_.end()) {
        s.storey = s2->second;
      }
      break;
    }
    const auto w = whole_.find(at);
    if (w == whole_.end()) break;
    at = w->second;
  }
  for (const auto& [name, concrete] : MaterialsOf(product.Id())) s.materials.push_back(name);
  return s;
}

// The material names of an object, each with whether its name or category
// says concrete; the object's type's when the object has none.
const std::vector<std::pair<std::string, bool>>& Reader::MaterialsOf(std::uint32_t object) {
  static const std::vector<std::pair<std::string, bool>> kNone;
  const auto read = [&](std::uint32_t select) -> const std::vector<std::pair<std::string, bool>>& {
    // A material is shared by many elements: each is read once.
    auto [cached, added] = materials_of_.try_emplace(select);
    if (added && f_.Has(select)) CollectMaterials(f_.Get(select), cached->second, 0);
    return cached->second;
  };
  for (const std::uint32_t owner : {object, type_.count(object) ? type_.at(object) : 0u}) {
    if (owner == 0) continue;
    const auto it = material_.find(owner);
    if (it == material_.end()) continue;
    if (it->second.size() == 1) {
      const auto& one = read(it->second.front());
      if (!one.empty()) return one;
      continue;
    }
    // Several associations (rare): merged, and kept under the object.
    auto [merged, added] = merged_materials_.try_emplace(owner);
    if (added) {
      for (const auto select : it->second) {
        for (const auto& m : read(select)) {
          if (std::none_of(merged->second.begin(), merged->second.end(),
                           [&](const auto& o) { return o.first == m.first; })) {
            merged->second.push_back(m);
          }
        }
      }
    }
    if (!merged->second.empty()) return merged->second;
  }
  return kNone;
}

void Reader::CollectMaterials(const Entity& e, std::vector<std::pair<std::string, bool>>& out,
                              int depth) {
  if (depth > 8) return;
  const auto follow = [&](const Value& v) {
    if (v.GetKind() == HostStep::Kind::Ref) CollectMaterials(Get(v, e), out, depth + 1);
  };
  const auto each = [&](const Value& list) {
    if (list.GetKind() != HostStep::Kind::List) return;
    for (std::size_t i = 0; i < list.Size(); ++i) follow(list[i]);
  };
  const std::string_view t = e.Type();
  if (t == "IFCMATERIAL") {
    const std::string name = e[0].Text();
    const std::string category = OptionalText(e, 2);
    const bool concrete = IsConcrete(name) || IsConcrete(category);
    if (std::none_of(out.begin(), out.end(), [&](const auto& m) { return m.first == name; })) {
      out.emplace_back(name, concrete);
    }
  } else if (t == "IFCMATERIALLIST") {
    each(e[0]);
  } else if (t == "IFCMATERIALLAYERSETUSAGE" || t == "IFCMATERIALPROFILESETUSAGE" ||
             t == "IFCMATERIALPROFILESETUSAGETAPERING") {
    follow(e[0]);
  } else if (t == "IFCMATERIALLAYERSET") {
    each(e[0]);
  } else if (t == "IFCMATERIALLAYER" || t == "IFCMATERIALLAYERWITHOFFSETS") {
    follow(e[0]);
  } else if (t == "IFCMATERIALPROFILESET" || t == "IFCMATERIALCONSTITUENTSET") {
    each(e[2]);
  } else if (t == "IFCMATERIALPROFILE" || t == "IFCMATERIALPROFILEWITHOFFSETS" ||
             t == "IFCMATERIALCONSTITUENT") {
    follow(e[2]);
  }
}

// ---- Placements -------------------------------------------------------------

Vector3D Reader::Point(const Value& ref, const Entity& from) const {
  const Entity p = Get(ref, from);
  if (!Is(p, "IFCCARTESIANPOINT")) p.Fail("is not a cartesian point");
  const Value c = p[0];
  if (c.Size() < 2 || c.Size() > 3) c.Fail("a point has 2 or 3 coordinates");
  const double x = c[0].Number(), y = c[1].Number(), z = c.Size() > 2 ? c[2].Number() : 0.0;
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) c.Fail("not a finite point");
  return Vector3D(x, y, z) * mm_;
}

Vector3D Reader::Direction(const Value& ref, const Entity& from) {
  // Directions are shared by many placements: each is decoded once.
  const std::uint32_t id = ref.Ref();
  if (const auto it = directions_.find(id); it != directions_.end()) return it->second;
  const Entity d = Get(ref, from);
  if (!Is(d, "IFCDIRECTION")) d.Fail("is not a direction");
  const Value c = d[0];
  if (c.Size() < 2 || c.Size() > 3) c.Fail("a direction has 2 or 3 ratios");
  const Vector3D v(c[0].Number(), c[1].Number(), c.Size() > 2 ? c[2].Number() : 0.0);
  const double length = v.GetLength();
  if (!(length > 1e-12) || !std::isfinite(length)) d.Fail("is not a direction (zero length)");
  return directions_.emplace(id, v * (1 / length)).first->second;
}

Affine Reader::Axis2Placement(const Value& ref, const Entity& from, bool shared) {
  const std::uint32_t id = ref.Ref();
  if (shared) {
    if (const auto it = axes_.find(id); it != axes_.end()) return it->second;
  }
  const Entity a = Get(ref, from);
  Affine out;
  out.o = Point(a[0], a);
  if (Is(a, "IFCAXIS2PLACEMENT3D")) {
    const Vector3D z = a[1].IsNull() ? Vector3D(0, 0, 1) : Direction(a[1], a);
    Vector3D x = a[2].IsNull() ? Vector3D(1, 0, 0) : Direction(a[2], a);
    x = x - z * x.Dot(z);
    if (x.GetLength() < 1e-9) {
      if (!a[2].IsNull()) a.Fail("has its axis and its reference direction parallel");
      // No reference direction and an axis along x: the schema's default.
      x = Vector3D(0, 0, 1) - z * z.Z();
      if (x.GetLength() < 1e-9) x = Vector3D(1, 0, 0);
    }
    x = x.Normalized();
    out.z = z;
    out.x = x;
    out.y = z.Cross(x);
  } else if (Is(a, "IFCAXIS2PLACEMENT2D")) {
    Vector3D x = a.Size() > 1 && !a[1].IsNull() ? Direction(a[1], a) : Vector3D(1, 0, 0);
    x = Vector3D(x.X(), x.Y(), 0).Normalized();
    out.x = x;
    out.y = Vector3D(-x.Y(), x.X(), 0);
    out.z = Vector3D(0, 0, 1);
  } else {
    a.Fail("is not an axis placement");
  }
  if (shared) axes_.emplace(id, out);
  return out;
}

// IfcCartesianTransformationOperator2D/3D (and their non-uniform forms):
// the axes as the schema's IfcBaseAxis builds them, scaled.
Affine Reader::TransformationOperator(const Value& ref, const Entity& from) {
  // Operators are shared by many mapped items: each is decoded once.
  const std::uint32_t id = ref.Ref();
  if (const auto it = operators_.find(id); it != operators_.end()) return it->second;
  const Entity t = Get(ref, from);
  const std::string_view type = t.Type();
  const bool three = type.starts_with("IFCCARTESIANTRANSFORMATIONOPERATOR3D");
  const bool two = type.starts_with("IFCCARTESIANTRANSFORMATIONOPERATOR2D");
  if (!three && !two) t.Fail("is not a cartesian transformation operator");
  const double scale = t[3].IsNull() ? 1.0 : t[3].Number();
  double scale2 = scale, scale3 = scale;
  if (type.ends_with("NONUNIFORM")) {
    const std::size_t first = three ? 5 : 4;
    if (t.Size() > first && !t[first].IsNull()) scale2 = t[first].Number();
    if (three && t.Size() > 6 && !t[6].IsNull()) scale3 = t[6].Number();
  }
  if (!(std::abs(scale) > 0) || !(std::abs(scale2) > 0) || !(std::abs(scale3) > 0)) {
    t.Fail("scales by zero");
  }
  Affine out;
  out.o = Point(t[2], t);
  Vector3D z(0, 0, 1);
  if (three && t.Size() > 4 && !t[4].IsNull()) z = Direction(t[4], t);
  Vector3D x = t[0].IsNull() ? Vector3D(1, 0, 0) : Direction(t[0], t);
  x = x - z * x.Dot(z);
  if (x.GetLength() < 1e-9) {
    x = Vector3D(1, 0, 0) - z * z.X();
    if (x.GetLength() < 1e-9) x = Vector3D(0, 1, 0) - z * z.Y();
  }
  x = x.Normalized();
  Vector3D y = t[1].IsNull() ? z.Cross(x) : Direction(t[1], t);
  y = y - z * y.Dot(z) - x * y.Dot(x);
  if (y.GetLength() < 1e-9) y = z.Cross(x);
  y = y.Normalized();
  out.x = x * scale;
  out.y = y * scale2;
  out.z = z * scale3;
  return operators_.emplace(id, out).first->second;
}

Affine Reader::ObjectPlacement(std::uint32_t id, const Entity& from, int depth) {
  // Placements that others are relative to are kept; an element's own is
  // met once.
  if (const auto it = placements_.find(id); it != placements_.end()) return it->second;
  const Entity p = Get(id, from);
  if (depth > 64) p.Fail("is part of a placement chain that is too long or loops");
  if (Is(p, "IFCGRIDPLACEMENT")) throw NotTaken{"placed on a grid", Describe(p)};
  if (Is(p, "IFCLINEARPLACEMENT")) throw NotTaken{"placed along an alignment", Describe(p)};
  if (!Is(p, "IFCLOCALPLACEMENT")) p.Fail("is not a local placement");
  Affine relative = Axis2Placement(p[1], p, depth > 0);
  Affine world = relative;
  if (!p[0].IsNull()) world = ObjectPlacement(p[0].Ref(), p, depth + 1).After(relative);
  if (depth > 0) placements_.emplace(id, world);
  return world;
}

Affine Reader::PlacementOf(const Entity& product) {
  if (product.Size() < 6 || product[5].IsNull()) return {};
  return ObjectPlacement(product[5].Ref(), product);
}

// ---- Profiles and bodies ----------------------------------------------------

std::vector<Point2D> Reader::CurvePoints(const Entity& curve) {
  std::vector<Point2D> out;
  const auto add = [&](const Vector3D& p) { out.emplace_back(p.X(), p.Y()); };
  if (Is(curve, "IFCPOLYLINE")) {
    const Value points = curve[0];
    for (std::size_t i = 0; i < points.Size(); ++i) add(Point(points[i], curve));
  } else if (Is(curve, "IFCINDEXEDPOLYCURVE")) {
    const Entity list = Get(curve[0], curve);
    const Value coords = list[0];
    std::vector<Point2D> points;
    for (std::size_t i = 0; i < coords.Size(); ++i) {
      const Value c = coords[i];
      if (c.Size() < 2) c.Fail("a point needs two coordinates");
      const double x = c[0].Number() * mm_, y = c[1].Number() * mm_;
      if (!std::isfinite(x) || !std::isfinite(y)) c.Fail("not a finite point");
      points.emplace_back(x, y);
    }
    if (curve.Size() < 2 || curve[1].IsNull()) return points;
    const Value segments = curve[1];
    for (std::size_t s = 0; s < segments.Size(); ++s) {
      const Value segment = segments[s];
      if (segment.Name() == "IFCARCINDEX") {
        throw NotTaken{"curved section", Describe(curve) + " has arcs"};
      }
      if (segment.Name() != "IFCLINEINDEX") segment.Fail("is neither a line nor an arc index");
      const Value indices = segment.Inner();
      for (std::size_t k = 0; k < indices.Size(); ++k) {
        const long long index = indices[k].Integer();
        if (index < 1 || static_cast<std::size_t>(index) > points.size()) {
          indices[k].Fail("index " + std::to_string(index) + " is outside the point list");
        }
        const Point2D& p = points[static_cast<std::size_t>(index - 1)];
        if (out.empty() || !(out.back() == p)) out.push_back(p);
      }
    }
  } else if (Is(curve, "IFCCOMPOSITECURVE")) {
    const Value segments = curve[0];
    for (std::size_t s = 0; s < segments.Size(); ++s) {
      const Entity segment = Get(segments[s], curve);
      const bool same_sense = segment[1].Name() != "F";
      const Entity parent = Get(segment[2], segment);
      std::vector<Point2D> part;
      if (Is(parent, "IFCPOLYLINE")) {
        part = CurvePoints(parent);
      } else if (Is(parent, "IFCTRIMMEDCURVE") && Is(Get(parent[0], parent), "IFCLINE")) {
        // A line trimmed by its end points.
        for (const std::size_t trim : {1u, 2u}) {
          const Value select = parent[trim];
          for (std::size_t k = 0; k < select.Size(); ++k) {
            if (select[k].GetKind() == HostStep::Kind::Ref) {
              const Vector3D p = Point(select[k], parent);
              part.emplace_back(p.X(), p.Y());
              break;
            }
          }
        }
        if (part.size() != 2) {
          throw NotTaken{"section of another kind",
                         Describe(parent) + " is trimmed by parameters, not points"};
        }
        if (parent[3].Name() == "F") std::reverse(part.begin(), part.end());
      } else {
        throw NotTaken{"curved section", Describe(parent)};
      }
      if (!same_sense) std::reverse(part.begin(), part.end());
      for (const auto& p : part) {
        if (out.empty() || !(out.back() == p)) out.push_back(p);
      }
    }
  } else if (Is(curve, "IFCCIRCLE") || Is(curve, "IFCELLIPSE") || Is(curve, "IFCTRIMMEDCURVE") ||
             Is(curve, "IFCBSPLINECURVEWITHKNOTS") ||
             Is(curve, "IFCRATIONALBSPLINECURVEWITHKNOTS")) {
    throw NotTaken{"curved section", Describe(curve)};
  } else {
    throw NotTaken{"section of another kind", Describe(curve)};
  }
  return out;
}

// The corners of a polygon, without repeated points, the closing point and
// points that lie on the line of their neighbours.
std::vector<Point2D> Corners(std::vector<Point2D> p) {
  constexpr double kSame = 0.01;   // mm
  constexpr double kOnLine = 0.1;  // mm off the line of the neighbours
  std::vector<Point2D> q;
  for (const auto& x : p) {
    if (q.empty() || q.back().GetDistance(x) > kSame) q.push_back(x);
  }
  while (q.size() > 1 && q.front().GetDistance(q.back()) <= kSame) q.pop_back();
  for (bool changed = true; changed && q.size() > 2;) {
    changed = false;
    for (std::size_t i = 0; i < q.size() && q.size() > 2; ++i) {
      const Point2D& a = q[(i + q.size() - 1) % q.size()];
      const Point2D& b = q[i];
      const Point2D& c = q[(i + 1) % q.size()];
      const double length = a.GetDistance(c);
      const double off =
          length > 0
              ? std::abs((c.X() - a.X()) * (b.Y() - a.Y()) - (c.Y() - a.Y()) * (b.X() - a.X())) /
                    length
              : 0;
      // On the line between its neighbours (not beyond them).
      const double along =
          length > 0 ? ((b.X() - a.X()) * (c.X() - a.X()) + (b.Y() - a.Y()) * (c.Y() - a.Y())) /
                           (length * length)
                     : 0;
      if (off <= kOnLine && along > 0 && along < 1) {
        q.erase(q.begin() + static_cast<std::ptrdiff_t>(i));
        changed = true;
      }
    }
  }
  return q;
}

std::vector<Point2D> Reader::ProfileCorners(const Entity& profile, int depth) {
  const std::string_view t = profile.Type();
  // A profile's own position (an IfcAxis2Placement2D, optional since IFC4).
  const auto position = [&](std::size_t i) {
    return profile.Size() > i && !profile[i].IsNull() ? Axis2Placement(profile[i], profile)
                                                      : Affine();
  };
  const auto place = [](const Affine& a, std::vector<Point2D> points) {
    for (auto& p : points) {
      const Vector3D q = a.Apply(Vector3D(p.X(), p.Y(), 0));
      p = Point2D(q.X(), q.Y());
    }
    return points;
  };
  if (t == "IFCRECTANGLEPROFILEDEF") {
    const double x = profile[3].Number() * mm_ / 2, y = profile[4].Number() * mm_ / 2;
    if (!(x > 0) || !(y > 0) || !std::isfinite(x) || !std::isfinite(y)) {
      profile.Fail("has a size that is not positive");
    }
    return place(position(2), {{-x, -y}, {x, -y}, {x, y}, {-x, y}});
  }
  if (t == "IFCARBITRARYCLOSEDPROFILEDEF") {
    const std::vector<Point2D> corners = Corners(CurvePoints(Get(profile[2], profile)));
    if (corners.size() < 3) profile.Fail("has an outline of fewer than three corners");
    if (corners.size() > 4) {
      throw NotTaken{"L-shaped or notched section",
                     Describe(profile) + " has " + std::to_string(corners.size()) + " corners"};
    }
    if (corners.size() == 3)
      throw NotTaken{"not rectangular", Describe(profile) + " is a triangle"};
    return corners;
  }
  if (t == "IFCDERIVEDPROFILEDEF") {
    if (depth > 8) profile.Fail("derives from profiles nested too deeply");
    const std::vector<Point2D> parent = ProfileCorners(Get(profile[2], profile), depth + 1);
    return place(TransformationOperator(profile[3], profile), parent);
  }
  if (t == "IFCCIRCLEPROFILEDEF" || t == "IFCCIRCLEHOLLOWPROFILEDEF" ||
      t == "IFCELLIPSEPROFILEDEF") {
    throw NotTaken{"round section", Describe(profile)};
  }
  if (t == "IFCRECTANGLEHOLLOWPROFILEDEF" || t == "IFCARBITRARYPROFILEDEFWITHVOIDS") {
    throw NotTaken{"hollow section", Describe(profile)};
  }
  if (t == "IFCROUNDEDRECTANGLEPROFILEDEF") {
    throw NotTaken{"rounded rectangle section", Describe(profile)};
  }
  if (t == "IFCLSHAPEPROFILEDEF") throw NotTaken{"L-shaped or notched section", Describe(profile)};
  if (t == "IFCISHAPEPROFILEDEF" || t == "IFCASYMMETRICISHAPEPROFILEDEF") {
    throw NotTaken{"I-shaped section", Describe(profile)};
  }
  if (t == "IFCTSHAPEPROFILEDEF" || t == "IFCUSHAPEPROFILEDEF" || t == "IFCCSHAPEPROFILEDEF" ||
      t == "IFCZSHAPEPROFILEDEF") {
    throw NotTaken{std::string(1, t[3]) + "-shaped section", Describe(profile)};
  }
  if (t == "IFCTRAPEZIUMPROFILEDEF") throw NotTaken{"not rectangular", Describe(profile)};
  throw NotTaken{"section of another kind", Describe(profile)};
}

void Reader::Extrusions(const Entity& item, const Affine& frame, std::vector<Extrusion>& out,
                        int depth) {
  const std::string_view t = item.Type();
  if (t == "IFCEXTRUDEDAREASOLID") {
    const Affine position =
        item[1].IsNull() ? Affine() : Axis2Placement(item[1], item);  // optional since IFC4
    const Affine solid = frame.After(position);
    const double depth_mm = item[3].Number() * mm_;
    if (!(depth_mm > 0) || !std::isfinite(depth_mm)) item.Fail("has a depth that is not positive");
    Extrusion e;
    e.frame = solid;
    const std::uint32_t profile_id = item[0].Ref();
    auto [cached, added] = profiles_.try_emplace(profile_id);
    if (added) {
      try {
        cached->second = ProfileCorners(Get(item[0], item));
      } catch (const NotTaken& n) {
        cached->second = n;
      } catch (...) {
        profiles_.erase(profile_id);
        throw;
      }
    }
    if (const auto* n = std::get_if<NotTaken>(&cached->second)) throw *n;
    for (const auto& p : std::get<std::vector<Point2D>>(cached->second)) {
      e.base.push_back(solid.Apply(Vector3D(p.X(), p.Y(), 0)));
    }
    e.sweep = solid.Turn(Direction(item[2], item) * depth_mm);
    out.push_back(std::move(e));
  } else if (t == "IFCMAPPEDITEM") {
    if (depth > 8) item.Fail("maps representations nested too deeply");
    const std::uint32_t map_id = item[0].Ref();
    auto [cached, added] = maps_.try_emplace(map_id);
    if (added) {
      try {
        const Entity map = Get(item[0], item);
        const Affine origin = Axis2Placement(map[0], map);
        const Entity representation = Get(map[1], map);
        const Value items = representation[3];
        std::vector<Extrusion> local;
        for (std::size_t i = 0; i < items.Size(); ++i) {
          Extrusions(Get(items[i], representation), origin, local, depth + 1);
        }
        cached->second = std::move(local);
      } catch (const NotTaken& n) {
        cached->second = n;
      } catch (...) {
        maps_.erase(map_id);
        throw;
      }
    }
    if (const auto* n = std::get_if<NotTaken>(&cached->second)) throw *n;
    const Affine mapped = frame.After(TransformationOperator(item[1], item));
    for (const Extrusion& e : std::get<std::vector<Extrusion>>(cached->second)) {
      Extrusion placed;
      placed.frame = mapped.After(e.frame);
      placed.sweep = mapped.Turn(e.sweep);
      for (const auto& b : e.base) placed.base.push_back(mapped.Apply(b));
      out.push_back(std::move(placed));
    }
  } else if (t == "IFCBOOLEANCLIPPINGRESULT" || t == "IFCBOOLEANRESULT") {
    throw NotTaken{"clipped", Describe(item)};
  } else if (t == "IFCFACETEDBREP" || t == "IFCFACETEDBREPWITHVOIDS" || t == "IFCADVANCEDBREP" ||
             t == "IFCADVANCEDBREPWITHVOIDS" || t == "IFCPOLYGONALFACESET" ||
             t == "IFCTRIANGULATEDFACESET" || t == "IFCSHELLBASEDSURFACEMODEL" ||
             t == "IFCFACEBASEDSURFACEMODEL") {
    throw NotTaken{"Brep body", Describe(item)};
  } else if (t == "IFCEXTRUDEDAREASOLIDTAPERED") {
    throw NotTaken{"tapered", Describe(item)};
  } else {
    throw NotTaken{"body of another kind", Describe(item)};
  }
}

std::vector<Reader::Extrusion> Reader::Body(const Entity& product) {
  if (product.Size() < 7 || product[6].IsNull()) throw NotTaken{"no body", Describe(product)};
  const Entity shape = Get(product[6], product);
  const Value representations = shape[2];
  std::optional<Entity> body;
  std::optional<Entity> solid;  // a solid representation without the identifier 'Body'
  std::size_t solids = 0;
  for (std::size_t i = 0; i < representations.Size(); ++i) {
    const Entity r = Get(representations[i], shape);
    if (!Is(r, "IFCSHAPEREPRESENTATION")) continue;
    std::string id = OptionalText(r, 1);
    std::transform(id.begin(), id.end(), id.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (id == "body") {
      body = r;
      break;
    }
    static const std::set<std::string> kSolidTypes{
        "SweptSolid", "AdvancedSweptSolid",   "Brep",        "AdvancedBrep", "CSG", "Clipping",
        "SolidModel", "MappedRepresentation", "Tessellation"};
    if (id.empty() && kSolidTypes.count(OptionalText(r, 2))) {
      solid = r;
      ++solids;
    }
  }
  if (!body && solids == 1) body = solid;
  if (!body) throw NotTaken{"no body", Describe(shape) + " has no 'Body' representation"};
  const Affine placement = PlacementOf(product);
  std::vector<Extrusion> out;
  const Value items = (*body)[3];
  for (std::size_t i = 0; i < items.Size(); ++i) {
    Extrusions(Get(items[i], *body), placement, out, 0);
  }
  if (out.empty()) throw NotTaken{"no body", Describe(*body) + " holds no item"};
  if (out.size() > 1) {
    throw NotTaken{"body of several solids",
                   Describe(*body) + " holds " + std::to_string(out.size()) + " extrusions"};
  }
  return out;
}

// An extrusion stands vertical when its eight corners lie on two levels, the
// four of the top each over one of the bottom (within the corner
// tolerance): a profile extruded upwards, or one drawn upright and extruded
// sideways.
Reader::Prism Reader::VerticalPrism(const Extrusion& e) const {
  constexpr double kTol = HostElementAdapter::kCornerTolerance;
  if (e.base.size() != 4) throw NotTaken{"not rectangular", "the profile has not 4 corners"};
  std::vector<Vector3D> v = e.base;
  for (const auto& b : e.base) v.push_back(b + e.sweep);
  double z0 = v[0].Z(), z1 = v[0].Z();
  for (const auto& p : v) {
    z0 = std::min(z0, p.Z());
    z1 = std::max(z1, p.Z());
  }
  const auto lean = [&] {
    const double horizontal = std::hypot(e.sweep.X(), e.sweep.Y());
    const double degrees = std::atan2(horizontal, std::abs(e.sweep.Z())) * 180 / std::numbers::pi;
    if (degrees < 0.01) {
      return NotTaken{"sloped top or bottom", "its end faces are not level"};
    }
    return NotTaken{"tilted", "its axis leans " + Fixed(std::min(degrees, 90.0), 2) + " degrees"};
  };
  if (z1 - z0 <= 2 * kTol) throw lean();
  std::vector<Vector3D> bottom, top;
  for (const auto& p : v) {
    if (p.Z() - z0 <= kTol) {
      bottom.push_back(p);
    } else if (z1 - p.Z() <= kTol) {
      top.push_back(p);
    } else {
      throw lean();
    }
  }
  if (bottom.size() != 4 || top.size() != 4) throw lean();
  std::vector<bool> used(4, false);
  for (const auto& b : bottom) {
    bool matched = false;
    for (std::size_t k = 0; k < 4 && !matched; ++k) {
      if (!used[k] && std::hypot(top[k].X() - b.X(), top[k].Y() - b.Y()) <= kTol) {
        used[k] = matched = true;
      }
    }
    if (!matched) throw lean();
  }
  // Counter-clockwise about their centre, from the first bottom corner met.
  double cx = 0, cy = 0;
  for (const auto& b : bottom) {
    cx += (b.X() - bottom[0].X()) / 4;
    cy += (b.Y() - bottom[0].Y()) / 4;
  }
  std::vector<std::pair<double, Point2D>> around;
  for (const auto& b : bottom) {
    double a = std::atan2(b.Y() - bottom[0].Y() - cy, b.X() - bottom[0].X() - cx);
    around.emplace_back(a, Point2D(b.X(), b.Y()));
  }
  const double first = around[0].first;
  for (auto& [a, p] : around) {
    if (a < first) a += 2 * std::numbers::pi;
  }
  std::sort(around.begin(), around.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  Prism prism;
  for (const auto& [a, p] : around) prism.plan.push_back(p);
  prism.bottom = z0;
  prism.top = z1;
  return prism;
}

// ---- Columns and walls ------------------------------------------------------

void Reader::ReadColumn(const Entity& column) {
  Column c;
  c.entity = column.Id();
  c.line = column.Line();
  try {
    c.source = SourceOf(column);
    const auto& materials = MaterialsOf(column.Id());
    const bool concrete =
        std::any_of(materials.begin(), materials.end(), [](const auto& m) { return m.second; });
    if (!options_.all_columns && !concrete) {
      std::string names;
      for (const auto& [name, is] : materials) names += (names.empty() ? "" : ", ") + name;
      throw NotTaken{"not concrete", names.empty() ? "no material given" : "material: " + names};
    }
    if (voided_.count(column.Id())) {
      throw NotTaken{"cut by an opening", "an IfcRelVoidsElement cuts its body"};
    }
    const auto body = Body(column);
    const Prism prism = VerticalPrism(body.front());
    const auto fit = HostElementAdapter::FitRectangle(prism.plan);
    if (!fit.fits) {
      throw NotTaken{"not rectangular",
                     fit.worst_angle > HostElementAdapter::kAngleTolerance
                         ? "a corner is " + Fixed(fit.worst_angle, 2) + " degrees off right"
                         : "a corner lies " + Fixed(fit.worst_corner, 2) + " mm off a rectangle"};
    }
    c.plan = prism.plan;
    c.bottom = prism.bottom;
    c.top = prism.top;
  } catch (const NotTaken& n) {
    c.refused = n;
  } catch (const StepError& e) {
    c.refused = NotTaken{"unreadable in the file", e.what()};
  }
  columns_.push_back(std::move(c));
}

void Reader::ReadWall(const Entity& wall) {
  // Walls are the tool's surroundings, not reinforced: one that cannot be
  // taken is left out and only counted.
  ++source_.walls_in_file;
  try {
    Wall w;
    w.source = SourceOf(wall);
    if (voided_.count(wall.Id())) return;  // openings are not read
    const auto body = Body(wall);
    const Prism prism = VerticalPrism(body.front());
    const auto fit = HostElementAdapter::FitRectangle(prism.plan);
    if (!fit.fits) return;
    const auto& p = fit.corners;
    // The wall's axis runs along its placement's x axis, as the layers are
    // laid out across it.
    const Vector3D along = PlacementOf(wall).x;
    const auto side = [&](std::size_t i) {
      const Point2D& a = p[i];
      const Point2D& b = p[(i + 1) % 4];
      return Vector3D(b.X() - a.X(), b.Y() - a.Y(), 0);
    };
    const double l0 = side(0).GetLength(), l1 = side(1).GetLength();
    std::size_t k = l0 >= l1 ? 0 : 1;  // a side along the axis
    bool layered = false;
    for (const std::size_t i : {0u, 1u}) {
      const Vector3D s = side(i).Normalized();
      if (std::abs(s.X() * along.X() + s.Y() * along.Y()) >
          std::cos(1.0 / 180 * std::numbers::pi)) {
        k = i;
        layered = true;
      }
    }
    const Point2D& a = p[k];
    const Point2D& b = p[(k + 1) % 4];
    const Point2D& c = p[(k + 2) % 4];
    const Point2D& d = p[(k + 3) % 4];
    Point2D start((a.X() + d.X()) / 2, (a.Y() + d.Y()) / 2);
    Point2D end((b.X() + c.X()) / 2, (b.Y() + c.Y()) / 2);
    if (layered && (end.X() - start.X()) * along.X() + (end.Y() - start.Y()) * along.Y() < 0) {
      std::swap(start, end);
    }
    w.start = start;
    w.end = end;
    w.thickness = b.GetDistance(c);
    w.bottom = prism.bottom;
    w.top = prism.top;
    // Layers from the layer set usage: with a positive sense they follow
    // the placement's y axis (right to left of the axis), with a negative
    // one the other way; the model lists them from the left.
    if (layered) {
      if (const auto it = material_.find(wall.Id()); it != material_.end()) {
        for (const auto select : it->second) {
          const Layers* layers = LayersOf(select);
          if (!layers) continue;
          double sum = 0;
          for (const double t : layers->thickness) sum += t;
          // Layers that add up to the body within the tolerance fill it.
          if (!layers->thickness.empty() &&
              std::abs(sum - w.thickness) <= HostElementAdapter::kCornerTolerance &&
              std::all_of(layers->thickness.begin(), layers->thickness.end(),
                          [](double t) { return t > 0; })) {
            for (const double t : layers->thickness) w.layers.push_back(t * w.thickness / sum);
            w.layer_names = layers->names;
          }
          break;
        }
      }
    }
    walls_.push_back(std::move(w));
    ++source_.walls_taken;
  } catch (const NotTaken&) {
  } catch (const StepError&) {
  }
}

// The layers of a layer set usage, listed from the left of the wall's axis:
// with a positive sense they follow the placement's y axis (right to left),
// with a negative one the other way. Layer sets are shared: each is read
// once.
const Reader::Layers* Reader::LayersOf(std::uint32_t select) {
  auto [cached, added] = layers_.try_emplace(select);
  if (!added) return cached->second ? &*cached->second : nullptr;
  if (!f_.Has(select)) return nullptr;
  const Entity usage = f_.Get(select);
  if (!Is(usage, "IFCMATERIALLAYERSETUSAGE")) return nullptr;
  const Entity set = Get(usage[0], usage);
  const Value list = set[0];
  Layers layers;
  for (std::size_t i = 0; i < list.Size(); ++i) {
    const Entity layer = Get(list[i], set);
    layers.thickness.push_back(layer[1].Number() * mm_);
    layers.names.push_back(layer[0].IsNull() ? std::string() : Get(layer[0], layer)[0].Text());
  }
  if (usage[2].Name() == "POSITIVE") {
    std::reverse(layers.thickness.begin(), layers.thickness.end());
    std::reverse(layers.names.begin(), layers.names.end());
  }
  cached->second = std::move(layers);
  return &*cached->second;
}

// Ids are the names users know the elements by: their Name, made unique
// with their Tag where several share it, or else with their GlobalId.
void Reader::AssignIds() {
  const auto base = [](const ElementSource& s) -> const std::string& {
    if (!s.name.empty()) return s.name;
    if (!s.tag.empty()) return s.tag;
    return s.global_id;
  };
  // A column too broken to have a name is known by its instance.
  for (auto& c : columns_) {
    if (base(c.source).empty()) c.source.tag = "#" + std::to_string(c.entity);
  }
  const auto tagged = [&](const ElementSource& s) { return base(s) + " (" + s.tag + ")"; };
  std::unordered_map<std::string_view, std::size_t> names;
  names.reserve(columns_.size() + walls_.size());
  for (const auto& c : columns_) ++names[base(c.source)];
  for (const auto& w : walls_) ++names[base(w.source)];
  // Names several elements share, made unique by Tag where that is unique.
  std::unordered_map<std::string, std::size_t> tags;
  const auto count_tag = [&](const ElementSource& s) {
    if (names[base(s)] > 1 && !s.tag.empty()) ++tags[tagged(s)];
  };
  for (const auto& c : columns_) count_tag(c.source);
  for (const auto& w : walls_) count_tag(w.source);
  std::unordered_set<std::string> taken;
  taken.reserve(columns_.size() + walls_.size());
  const auto assign = [&](const ElementSource& s) {
    std::string id = base(s);
    if (names[id] > 1) {
      id = !s.tag.empty() && s.tag != id && tags[tagged(s)] == 1 ? tagged(s)
                                                                 : id + " (" + s.global_id + ")";
    }
    // A file that gives one GlobalId to two objects still gets one id each.
    const std::string first = id;
    for (int n = 2; taken.count(id); ++n) id = first + " #" + std::to_string(n);
    taken.insert(id);
    return id;
  };
  for (auto& c : columns_) c.id = assign(c.source);
  for (auto& w : walls_) w.id = assign(w.source);
  // A wall's layers and axis line take ids after it: one that another
  // element has already moves the wall to a name of its own. Only ids that
  // end like those of layers and axis lines can clash.
  const bool any = std::any_of(taken.begin(), taken.end(), [](const std::string& id) {
    const auto dot = id.find_last_of("./");
    return dot != std::string::npos &&
           (id.compare(dot, std::string::npos, "/axis") == 0 ||
            (dot + 1 < id.size() &&
             id.find_first_not_of("0123456789", dot + 1) == std::string::npos));
  });
  if (!any) return;
  for (auto& w : walls_) {
    const auto clashes = [&](const std::string& id) {
      if (taken.count(id + "/axis")) return true;
      for (std::size_t k = 0; k < w.layers.size(); ++k) {
        if (taken.count(id + "." + std::to_string(k + 1))) return true;
      }
      return false;
    };
    if (!clashes(w.id)) continue;
    const std::string first = w.id;
    for (int n = 2; clashes(w.id) || taken.count(w.id); ++n)
      w.id = first + " #" + std::to_string(n);
    taken.insert(w.id);
  }
}

void Reader::Extract() {
  source_name_ = f_.SourceName();
  const auto& schemas = f_.Schemas();
  if (schemas.empty())
    throw StepError(f_.SourceName() + ": the header names no schema (FILE_SCHEMA)");
  std::string schema = schemas.front();
  std::transform(schema.begin(), schema.end(), schema.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (!schema.starts_with("IFC2X3") && !schema.starts_with("IFC4")) {
    throw StepError(f_.SourceName() + ": the schema " + schemas.front() +
                    " is not read; IFC2X3, IFC4 and IFC4X3 files are");
  }
  source_.schema = schema;
  ReadUnits();
  ReadWorld();
  ReadRelations();
  ReadStoreys();

  std::vector<std::uint32_t> columns;
  for (const char* type : {"IFCCOLUMN", "IFCCOLUMNSTANDARDCASE"}) {
    const auto ids = f_.OfType(type);
    columns.insert(columns.end(), ids.begin(), ids.end());
  }
  std::vector<Entity> entities;
  for (const auto id : columns) entities.push_back(f_.Get(id));
  std::stable_sort(entities.begin(), entities.end(),
                   [](const Entity& a, const Entity& b) { return a.Line() < b.Line(); });
  for (const auto& e : entities) ReadColumn(e);
  source_.columns_in_file = columns_.size();
  std::vector<std::uint32_t> walls;
  for (const char* type : {"IFCWALL", "IFCWALLSTANDARDCASE"}) {
    const auto ids = f_.OfType(type);
    walls.insert(walls.end(), ids.begin(), ids.end());
  }
  std::sort(walls.begin(), walls.end());
  for (const auto id : walls) ReadWall(f_.Get(id));
  AssignIds();
  if (name_.empty()) name_ = std::filesystem::path(source_name_).stem().string();
  // What only reading needed goes before the model is built.
  container_ = {};
  whole_ = {};
  material_ = {};
  type_ = {};
  voided_ = {};
  storey_of_entity_ = {};
  placements_ = {};
  directions_ = {};
  axes_ = {};
  operators_ = {};
  profiles_ = {};
  maps_ = {};
  layers_ = {};
  materials_of_ = {};
  merged_materials_ = {};
}

std::shared_ptr<const ElementModel> Reader::Build() {
  ElementModel::Builder builder(name_, source_name_);
  std::size_t elements = columns_.size();
  for (const auto& w : walls_) elements += 2 + w.layers.size();
  builder.Reserve(elements);
  for (auto& c : columns_) {
    if (c.refused) {
      source_.refused.push_back(
          {c.id, std::move(c.source), std::move(c.refused->reason), std::move(c.refused->detail)});
      continue;
    }
    // The model refuses sizes and places no building has (before it adds
    // anything): such a column is refused, not the file.
    try {
      builder.AddColumn(c.id, c.plan, c.bottom, c.top);
    } catch (const std::invalid_argument& e) {
      source_.refused.push_back(
          {c.id, std::move(c.source), "outside the sizes of a building", e.what()});
      continue;
    }
    builder.SetElementSource(c.id, std::move(c.source));
  }
  columns_ = {};
  for (auto& w : walls_) {
    std::vector<ElementModel::Builder::LayerSpec> layers;
    for (std::size_t k = 0; k < w.layers.size(); ++k) {
      layers.push_back({w.id + "." + std::to_string(k + 1), w.layers[k]});
    }
    try {
      builder.AddWall(w.id, w.start, w.end, w.thickness, w.bottom, w.top, layers, {});
    } catch (const std::invalid_argument&) {
      --source_.walls_taken;  // a wall is surroundings only: left out
      continue;
    }
    builder.SetElementSource(w.id, std::move(w.source));
  }
  walls_ = {};
  builder.SetSource(std::move(source_));
  return builder.Build();
}

}  // namespace

std::shared_ptr<const ElementModel> ReadModel(const StepFile& file,
                                              const HostElementAdapter::ReadOptions& options) {
  Reader reader(file, options);
  reader.Extract();
  return reader.Build();
}

std::shared_ptr<const ElementModel> ReadModel(std::shared_ptr<const StepFile>&& file,
                                              const HostElementAdapter::ReadOptions& options) {
  Reader reader(*file, options);
  reader.Extract();
  file.reset();  // the file's text and index go before the model is built
  return reader.Build();
}

}  // namespace HostIfc

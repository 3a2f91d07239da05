// Reading building model files (JSON, lengths in mm, levels as absolute z).
#include <stdexcept>

#include "host/elements.h"
#include "host/file_read.h"
#include "host/json_strict.h"
#include "host/model_reader.h"

namespace HostElementAdapter {

namespace js = HostUtil::json_strict;
using js::json;

namespace {

// The path of a list's element in messages, made only when one is needed.
std::string Indexed(const std::string& path, std::size_t k) {
  return path + "[" + std::to_string(k) + "]";
}

HostGeo::Point2D PlanPoint(const json& j, const js::Object& parent, const std::string& key,
                           std::size_t k) {
  const std::string& src = parent.Source();
  if (!j.is_array() || j.size() != 2 || !j[0].is_number() || !j[1].is_number()) {
    const std::string path = Indexed(parent.PathOf(key), k);
    if (!j.is_array() || j.size() != 2)
      js::Fail(src, path, "expected a plan point [x, y], got " + js::Describe(j));
    return {js::FiniteNumber(j[0], path + "[0]", src), js::FiniteNumber(j[1], path + "[1]", src)};
  }
  return {j[0].get<double>(), j[1].get<double>()};
}

HostGeo::Point3D SpacePoint(const json& j, const std::string& path, const std::string& src) {
  if (!j.is_array() || j.size() != 3)
    js::Fail(src, path, "expected a point [x, y, z], got " + js::Describe(j));
  return {js::FiniteNumber(j[0], path + "[0]", src), js::FiniteNumber(j[1], path + "[1]", src),
          js::FiniteNumber(j[2], path + "[2]", src)};
}

void ReadColumn(const json& j, std::size_t i, const std::string& source_name,
                ElementModel::Builder& builder) {
  js::Object c(j, Indexed("columns", i), source_name);
  const std::string id = c.Text("id");
  const json& corners = c.Array("corners");
  if (corners.size() != 4)
    c.Fail("corners", "a column needs 4 corners, got " + std::to_string(corners.size()));
  std::vector<HostGeo::Point2D> plan;
  plan.reserve(4);
  for (std::size_t k = 0; k < corners.size(); ++k) {
    plan.push_back(PlanPoint(corners[k], c, "corners", k));
  }
  const double bottom = c.Number("bottom");
  const double top_level = c.Number("top");
  c.Finish();
  builder.AddColumn(id, plan, bottom, top_level);
}

void ReadWall(const json& j, std::size_t i, const std::string& source_name,
              ElementModel::Builder& builder) {
  js::Object w(j, Indexed("walls", i), source_name);
  const std::string id = w.Text("id");
  const json& axis = w.Array("axis");
  if (axis.size() != 2) w.Fail("axis", "the axis needs a start and an end point");
  const auto start = PlanPoint(axis[0], w, "axis", 0);
  const auto end = PlanPoint(axis[1], w, "axis", 1);
  const double thickness = w.Number("thickness");
  const double bottom = w.Number("bottom");
  const double top_level = w.Number("top");
  std::vector<ElementModel::Builder::LayerSpec> layers;
  const json& lj = w.Array("layers", true);
  for (std::size_t k = 0; k < lj.size(); ++k) {
    js::Object l(lj[k], Indexed(w.PathOf("layers"), k), source_name);
    layers.push_back({l.Text("id"), l.Number("thickness")});
    l.Finish();
  }
  std::vector<ElementModel::Builder::OpeningSpec> openings;
  const json& oj = w.Array("openings", true);
  for (std::size_t k = 0; k < oj.size(); ++k) {
    js::Object o(oj[k], Indexed(w.PathOf("openings"), k), source_name);
    ElementModel::Builder::OpeningSpec opening;
    opening.id = o.Text("id");
    opening.kind = o.Text("kind");
    if (opening.kind != "door" && opening.kind != "window") {
      o.Fail("kind", "expected \"door\" or \"window\", got \"" + opening.kind + "\"");
    }
    opening.start = o.Number("start");
    opening.width = o.Number("width");
    opening.height = o.Number("height");
    opening.sill = opening.kind == "window" ? o.Number("sill") : 0.0;
    o.Finish();
    openings.push_back(opening);
  }
  w.Finish();
  builder.AddWall(id, start, end, thickness, bottom, top_level, layers, openings);
}

void ReadSolid(const json& j, std::size_t i, const std::string& source_name,
               ElementModel::Builder& builder) {
  js::Object s(j, Indexed("solids", i), source_name);
  const std::string id = s.Text("id");
  const json& vj = s.Array("vertices");
  std::vector<HostGeo::Point3D> vertices;
  for (std::size_t k = 0; k < vj.size(); ++k) {
    vertices.push_back(SpacePoint(vj[k], Indexed(s.PathOf("vertices"), k), source_name));
  }
  s.Finish();
  builder.AddSolid(id, vertices);
}

}  // namespace

std::shared_ptr<const ElementModel> ParseModelFile(const std::string& text,
                                                   const std::string& source_name) {
  // The elements are read one by one as the parser reaches them, so that a
  // model of a million columns is never held as JSON at once. Their ids are
  // checked against each other in the builder.
  ElementModel::Builder builder("", source_name);
  // Every element has an id: their count is a close upper bound, found in a
  // fraction of the parse's time.
  std::size_t ids = 0;
  for (auto at = text.find("\"id\""); at != std::string::npos; at = text.find("\"id\"", at + 4)) {
    ++ids;
  }
  builder.Reserve(ids);
  const auto element = [&](const std::string& key, std::size_t i, const json& j) {
    if (key == "columns") {
      ReadColumn(j, i, source_name, builder);
    } else if (key == "walls") {
      ReadWall(j, i, source_name, builder);
    } else {
      ReadSolid(j, i, source_name, builder);
    }
  };
  const json root = js::ParseStreaming(text, source_name, {"columns", "walls", "solids"}, element);
  js::Object top(root, "", source_name);
  const std::string format = top.Text("format");
  if (format != "pier-model") {
    top.Fail("format", "expected \"pier-model\", got \"" + format + "\"");
  }
  const long long version = top.Integer("version");
  if (version != 1) {
    top.Fail("version",
             "this program reads version 1 model files, got version " + std::to_string(version));
  }
  builder.SetName(top.Text("name"));
  top.Array("columns", true);
  top.Array("walls", true);
  top.Array("solids", true);
  top.Finish();
  return builder.Build();
}

std::shared_ptr<const ElementModel> ReadModelFile(const std::string& path) {
  return ParseModelFile(HostUtil::ReadRegularFile(path, "model file", kMaxModelFileBytes), path);
}

}  // namespace HostElementAdapter

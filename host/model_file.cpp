// Reading building model files (JSON, lengths in mm, levels as absolute z).
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "host/elements.h"
#include "host/json_strict.h"

namespace HostElementAdapter {

namespace js = HostUtil::json_strict;
using js::json;

namespace {

HostGeo::Point2D PlanPoint(const json& j, const std::string& path, const std::string& src) {
  if (!j.is_array() || j.size() != 2)
    js::Fail(src, path, "expected a plan point [x, y], got " + js::Describe(j));
  return {js::FiniteNumber(j[0], path + "[0]", src), js::FiniteNumber(j[1], path + "[1]", src)};
}

HostGeo::Point3D SpacePoint(const json& j, const std::string& path, const std::string& src) {
  if (!j.is_array() || j.size() != 3)
    js::Fail(src, path, "expected a point [x, y, z], got " + js::Describe(j));
  return {js::FiniteNumber(j[0], path + "[0]", src), js::FiniteNumber(j[1], path + "[1]", src),
          js::FiniteNumber(j[2], path + "[2]", src)};
}

}  // namespace

std::shared_ptr<const ElementModel> ElementModel::Parse(const std::string& text,
                                                        const std::string& source_name) {
  const json root = js::Parse(text, source_name);
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
  ElementModel::Builder builder(top.Text("name"), source_name);

  const json& columns = top.Array("columns", true);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::string path = "columns[" + std::to_string(i) + "]";
    js::Object c(columns[i], path, source_name);
    const std::string id = c.Text("id");
    const json& corners = c.Array("corners");
    if (corners.size() != 4)
      c.Fail("corners", "a column needs 4 corners, got " + std::to_string(corners.size()));
    std::vector<HostGeo::Point2D> plan;
    for (std::size_t k = 0; k < corners.size(); ++k) {
      plan.push_back(
          PlanPoint(corners[k], c.PathOf("corners") + "[" + std::to_string(k) + "]", source_name));
    }
    const double bottom = c.Number("bottom");
    const double top_level = c.Number("top");
    c.Finish();
    builder.AddColumn(id, plan, bottom, top_level);
  }

  const json& walls = top.Array("walls", true);
  for (std::size_t i = 0; i < walls.size(); ++i) {
    const std::string path = "walls[" + std::to_string(i) + "]";
    js::Object w(walls[i], path, source_name);
    const std::string id = w.Text("id");
    const json& axis = w.Array("axis");
    if (axis.size() != 2) w.Fail("axis", "the axis needs a start and an end point");
    const auto start = PlanPoint(axis[0], w.PathOf("axis") + "[0]", source_name);
    const auto end = PlanPoint(axis[1], w.PathOf("axis") + "[1]", source_name);
    const double thickness = w.Number("thickness");
    const double bottom = w.Number("bottom");
    const double top_level = w.Number("top");
    std::vector<ElementModel::Builder::LayerSpec> layers;
    const json& lj = w.Array("layers", true);
    for (std::size_t k = 0; k < lj.size(); ++k) {
      js::Object l(lj[k], w.PathOf("layers") + "[" + std::to_string(k) + "]", source_name);
      layers.push_back({l.Text("id"), l.Number("thickness")});
      l.Finish();
    }
    std::vector<ElementModel::Builder::OpeningSpec> openings;
    const json& oj = w.Array("openings", true);
    for (std::size_t k = 0; k < oj.size(); ++k) {
      js::Object o(oj[k], w.PathOf("openings") + "[" + std::to_string(k) + "]", source_name);
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

  const json& solids = top.Array("solids", true);
  for (std::size_t i = 0; i < solids.size(); ++i) {
    const std::string path = "solids[" + std::to_string(i) + "]";
    js::Object s(solids[i], path, source_name);
    const std::string id = s.Text("id");
    const json& vj = s.Array("vertices");
    std::vector<HostGeo::Point3D> vertices;
    for (std::size_t k = 0; k < vj.size(); ++k) {
      vertices.push_back(
          SpacePoint(vj[k], s.PathOf("vertices") + "[" + std::to_string(k) + "]", source_name));
    }
    s.Finish();
    builder.AddSolid(id, vertices);
  }
  top.Finish();
  return builder.Build();
}

std::shared_ptr<const ElementModel> ElementModel::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot open the model file");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw std::runtime_error(path + ": cannot read the model file");
  return Parse(text.str(), path);
}

}  // namespace HostElementAdapter

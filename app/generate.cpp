#include "app/generate.h"

#include <map>
#include <string_view>

#include "app/export/ifc_writer.h"

#include <array>
#include <charconv>
#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

#include "host/elements.h"

namespace pierhost {

std::pair<double, double> ParsePair(const std::string& text, const std::string& what) {
  const auto x = text.find_first_of("xX");
  double a = 0, b = 0;
  const auto parse = [](const std::string& s, double& v) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size() && std::isfinite(v) && v > 0;
  };
  if (x == std::string::npos || !parse(text.substr(0, x), a) || !parse(text.substr(x + 1), b)) {
    throw std::invalid_argument(what + " expects two positive numbers like 4x5, got '" + text +
                                "'");
  }
  return {a, b};
}

namespace {
std::string Num(double v) {
  char buf[32];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, std::round(v * 10) / 10);
  return std::string(buf, p);
}
std::string Letters(int i) {
  std::string s;
  for (++i; i > 0; i = (i - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (i - 1) % 26));
  return s;
}
}  // namespace

std::vector<GeneratedColumn> GenerateColumns(const GenerateOptions& o) {
  if (o.storeys < 1 || o.grid_x < 1 || o.grid_y < 1) {
    throw std::invalid_argument(
        "a building needs at least one storey and one column in each direction");
  }
  if (static_cast<double>(o.storeys) * o.grid_x * o.grid_y > 1e6) {
    throw std::invalid_argument("more than a million columns is beyond what the generator writes");
  }
  namespace limits = HostElementAdapter::Limits;
  for (const double side : {o.width, o.length}) {
    if (!(side >= limits::kColumnSideMin && side <= limits::kColumnSideMax)) {
      throw std::invalid_argument("--size: a side of " + Num(side) +
                                  " mm is outside the 50 mm to 20 m the columns of a building "
                                  "have");
    }
  }
  std::mt19937 rng(o.seed);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<GeneratedColumn> out;
  out.reserve(static_cast<std::size_t>(o.storeys * o.grid_x * o.grid_y));
  // Offsets of each grid column's current section centre, carried up.
  std::vector<double> shift_x(static_cast<std::size_t>(o.grid_x * o.grid_y), 0.0);
  std::vector<double> shift_y(shift_x.size(), 0.0);
  double w = o.width, l = o.length;
  for (int s = 0; s < o.storeys; ++s) {
    const double bottom = s * (o.storey_height + o.slab);
    const double top = bottom + o.storey_height;
    // Every third storey the sections shrink by 50 mm on every side.
    const double w_below = w;
    if (s > 0 && s % 3 == 0) {
      w = std::max(250.0, w - 100);
      l = std::max(250.0, l - 100);
    }
    for (int i = 0; i < o.grid_x; ++i) {
      for (int j = 0; j < o.grid_y; ++j) {
        const auto k = static_cast<std::size_t>(i * o.grid_y + j);
        // Some columns are missing; some stand offset on the one below,
        // staying inside it: an offset changes by 40 mm at most, where the
        // section shrank by 80 mm or more.
        if (s > 0 && unit(rng) < 0.03) continue;
        if (w_below - w >= 80 && unit(rng) < 0.3) shift_x[k] = std::round((unit(rng) - 0.5) * 40);
        GeneratedColumn c;
        c.storey = s;
        c.id = "S" + std::string(s < 9 ? "0" : "") + std::to_string(s + 1) + "-" + Letters(i) +
               std::to_string(j + 1);
        c.cx = i * o.bay + shift_x[k];
        c.cy = j * o.bay + shift_y[k];
        c.width = w;
        c.length = l;
        c.bottom = bottom;
        c.top = top;
        // Corners listed from any corner, in either sense, as drawing
        // programs do.
        c.first_corner = static_cast<int>(unit(rng) * 4) % 4;
        c.clockwise = unit(rng) < 0.5;
        out.push_back(std::move(c));
      }
    }
  }
  return out;
}

std::string GenerateBuilding(const GenerateOptions& o) {
  const auto columns = GenerateColumns(o);
  std::string out;
  out.reserve(columns.size() * 130 + 200);
  out += "{\n  \"format\": \"pier-model\",\n  \"version\": 1,\n  \"name\": \"" + o.name +
         "\",\n  \"columns\": [";
  bool first = true;
  for (const auto& c : columns) {
    const double x0 = c.cx - c.width / 2, y0 = c.cy - c.length / 2;
    const double x1 = c.cx + c.width / 2, y1 = c.cy + c.length / 2;
    const std::array<std::pair<double, double>, 4> corners{
        {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
    out += first ? "\n" : ",\n";
    first = false;
    out += "    { \"id\": \"" + c.id + "\", \"corners\": [";
    for (int m = 0; m < 4; ++m) {
      const int idx = c.clockwise ? (c.first_corner - m + 4) % 4 : (c.first_corner + m) % 4;
      out += (m ? ", [" : "[") + Num(corners[static_cast<std::size_t>(idx)].first) + ", " +
             Num(corners[static_cast<std::size_t>(idx)].second) + "]";
    }
    out += "], \"bottom\": " + Num(c.bottom) + ", \"top\": " + Num(c.top) + " }";
  }
  out += "\n  ]\n}\n";
  return out;
}

namespace {

// Entities of a STEP file written in order, numbered as they come.
class StepWriter {
 public:
  explicit StepWriter(std::string& out) : out_(out) {}
  int Add(std::string_view type, std::string_view args) {
    out_ += '#';
    out_ += std::to_string(++next_);
    out_ += '=';
    out_ += type;
    out_ += '(';
    out_ += args;
    out_ += ");\n";
    return next_;
  }

 private:
  std::string& out_;
  int next_ = 0;
};

std::string Ref(int id) { return "#" + std::to_string(id); }
std::string Refs(const std::vector<int>& ids) {
  std::string out = "(";
  for (std::size_t i = 0; i < ids.size(); ++i) out += (i ? "," : "") + Ref(ids[i]);
  return out + ")";
}
// A STEP real to 0.1 mm: digits, a point, never an exponent.
std::string Real(double v) {
  char buf[64];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, std::round(v * 10) / 10, std::chars_format::fixed, 1);
  std::string text(buf, end);
  if (text.ends_with(".0")) text.pop_back();
  return text == "-0." ? "0." : text;
}

}  // namespace

std::string GenerateIfcBuilding(const GenerateOptions& o) {
  const auto columns = GenerateColumns(o);
  std::string out;
  out.reserve(columns.size() * 2400 + 4096);
  out +=
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('ViewDefinition [ReferenceView]'),'2;1');\n"
      "FILE_NAME('generated.ifc','2026-01-01T00:00:00',(''),(''),'pierhost generate',"
      "'pierhost','');\nFILE_SCHEMA(('IFC4'));\nENDSEC;\nDATA;\n";
  StepWriter w(out);
  const auto gid = [&](const std::string& name) {
    return "'" + ifc::StableGlobalId(o.name + "\x1f" + name) + "'";
  };
  const int mm = w.Add("IFCSIUNIT", "*,.LENGTHUNIT.,.MILLI.,.METRE.");
  const int radian = w.Add("IFCSIUNIT", "*,.PLANEANGLEUNIT.,$,.RADIAN.");
  const int units = w.Add("IFCUNITASSIGNMENT", Refs({mm, radian}));
  const int origin = w.Add("IFCCARTESIANPOINT", "(0.,0.,0.)");
  const int origin2d = w.Add("IFCCARTESIANPOINT", "(0.,0.)");
  const int up = w.Add("IFCDIRECTION", "(0.,0.,1.)");
  const int east = w.Add("IFCDIRECTION", "(1.,0.,0.)");
  const int west = w.Add("IFCDIRECTION", "(-1.,0.,0.)");
  const int world = w.Add("IFCAXIS2PLACEMENT3D", Ref(origin) + "," + Ref(up) + "," + Ref(east));
  const int centred = w.Add("IFCAXIS2PLACEMENT2D", Ref(origin2d) + ",$");
  const int context =
      w.Add("IFCGEOMETRICREPRESENTATIONCONTEXT", "$,'Model',3,1.E-05," + Ref(world) + ",$");
  const int body = w.Add("IFCGEOMETRICREPRESENTATIONSUBCONTEXT",
                         "'Body','Model',*,*,*,*," + Ref(context) + ",$,.MODEL_VIEW.,$");
  const int project = w.Add("IFCPROJECT", gid("project") + ",$,'" + o.name + "',$,$,$,$,(" +
                                              Ref(context) + ")," + Ref(units));
  const int site_place = w.Add("IFCLOCALPLACEMENT", "$," + Ref(world));
  const int site = w.Add(
      "IFCSITE", gid("site") + ",$,'Site',$,$," + Ref(site_place) + ",$,$,.ELEMENT.,$,$,$,$,$");
  const int building_place = w.Add("IFCLOCALPLACEMENT", Ref(site_place) + "," + Ref(world));
  const int building = w.Add("IFCBUILDING", gid("building") + ",$,'" + o.name + "',$,$," +
                                                Ref(building_place) + ",$,$,.ELEMENT.,$,$,$");
  const int concrete = w.Add("IFCMATERIAL", "'Concrete C30/37',$,'Concrete'");
  const int plaster = w.Add("IFCMATERIAL", "'Gypsum plaster',$,'Finish'");
  const int core = w.Add("IFCMATERIALLAYER", Ref(concrete) + ",180.,$,'Core',$,$,$");
  const int finish = w.Add("IFCMATERIALLAYER", Ref(plaster) + ",20.,$,'Finish',$,$,$");
  const int layers =
      w.Add("IFCMATERIALLAYERSET", "(" + Ref(core) + "," + Ref(finish) + "),'Wall 200',$");
  const int usage = w.Add("IFCMATERIALLAYERSETUSAGE", Ref(layers) + ",.AXIS2.,.POSITIVE.,-100.,$");
  // A surface style on every solid, as exporters write one.
  const int colour = w.Add("IFCCOLOURRGB", "$,0.75,0.75,0.73");
  const int rendering =
      w.Add("IFCSURFACESTYLERENDERING", Ref(colour) + ",0.,$,$,$,$,$,$,.NOTDEFINED.");
  const int style = w.Add("IFCSURFACESTYLE", "'Concrete',.BOTH.,(" + Ref(rendering) + ")");
  const auto styled = [&](int item) {
    w.Add("IFCSTYLEDITEM", Ref(item) + ",(" + Ref(style) + "),$");
  };
  const auto quantities = [&](const std::string& key, const std::string& set, int element,
                              const std::vector<std::pair<const char*, std::string>>& values) {
    std::vector<int> ids;
    for (const auto& [type, args] : values) ids.push_back(w.Add(type, args));
    const int q =
        w.Add("IFCELEMENTQUANTITY", gid("qto " + key) + ",$,'" + set + "',$,$," + Refs(ids));
    w.Add("IFCRELDEFINESBYPROPERTIES",
          gid("quantities " + key) + ",$,$,$,(" + Ref(element) + ")," + Ref(q));
  };
  // One representation map per section, as authoring tools share a type's
  // body.
  std::map<std::pair<double, double>, int> maps;
  const auto section = [&](double width, double length) {
    auto [it, added] = maps.try_emplace({width, length}, 0);
    if (added) {
      const int profile = w.Add("IFCRECTANGLEPROFILEDEF",
                                ".AREA.,'" + Num(width) + "x" + Num(length) + "'," + Ref(centred) +
                                    "," + Real(width) + "," + Real(length));
      const int solid = w.Add("IFCEXTRUDEDAREASOLID", Ref(profile) + "," + Ref(world) + "," +
                                                          Ref(up) + "," + Real(o.storey_height));
      styled(solid);
      const int shape =
          w.Add("IFCSHAPEREPRESENTATION", Ref(body) + ",'Body','SweptSolid',(" + Ref(solid) + ")");
      it->second = w.Add("IFCREPRESENTATIONMAP", Ref(world) + "," + Ref(shape));
    }
    return it->second;
  };
  const int identity =
      w.Add("IFCCARTESIANTRANSFORMATIONOPERATOR3D", "$,$," + Ref(origin) + ",1.,$");
  std::vector<int> storeys(static_cast<std::size_t>(o.storeys)), storey_places(storeys.size());
  std::vector<std::vector<int>> contents(storeys.size()), walls(storeys.size()),
      columns_of(storeys.size());
  for (int s = 0; s < o.storeys; ++s) {
    const double level = s * (o.storey_height + o.slab);
    const int point = w.Add("IFCCARTESIANPOINT", "(0.,0.," + Real(level) + ")");
    storey_places[s] =
        w.Add("IFCLOCALPLACEMENT",
              Ref(building_place) + "," + Ref(w.Add("IFCAXIS2PLACEMENT3D", Ref(point) + ",$,$")));
    storeys[s] = w.Add("IFCBUILDINGSTOREY",
                       gid("storey " + std::to_string(s)) + ",$,'Level " + std::to_string(s + 1) +
                           "',$,$," + Ref(storey_places[s]) + ",$,$,.ELEMENT.," + Real(level));
  }
  for (const auto& c : columns) {
    // Half of the columns face the other way, as placements come.
    const int direction = c.first_corner % 2 ? west : east;
    const int point = w.Add("IFCCARTESIANPOINT", "(" + Real(c.cx) + "," + Real(c.cy) + ",0.)");
    const int frame =
        w.Add("IFCAXIS2PLACEMENT3D", Ref(point) + "," + Ref(up) + "," + Ref(direction));
    const int place = w.Add("IFCLOCALPLACEMENT", Ref(storey_places[c.storey]) + "," + Ref(frame));
    const int item = w.Add("IFCMAPPEDITEM", Ref(section(c.width, c.length)) + "," + Ref(identity));
    const int shape = w.Add("IFCSHAPEREPRESENTATION",
                            Ref(body) + ",'Body','MappedRepresentation',(" + Ref(item) + ")");
    const int product = w.Add("IFCPRODUCTDEFINITIONSHAPE", "$,$,(" + Ref(shape) + ")");
    const int column =
        w.Add("IFCCOLUMN", gid("column " + c.id) + ",$,'" + c.id + "',$,'Concrete column'," +
                               Ref(place) + "," + Ref(product) + ",'" + c.id + "',.COLUMN.");
    contents[c.storey].push_back(column);
    columns_of[c.storey].push_back(column);
    const std::vector<int> properties{
        w.Add("IFCPROPERTYSINGLEVALUE",
              "'Reference',$,IFCIDENTIFIER('" + Num(c.width) + "x" + Num(c.length) + "'),$"),
        w.Add("IFCPROPERTYSINGLEVALUE", "'LoadBearing',$,IFCBOOLEAN(.T.),$"),
        w.Add("IFCPROPERTYSINGLEVALUE", "'IsExternal',$,IFCBOOLEAN(.F.),$"),
        w.Add("IFCPROPERTYSINGLEVALUE", "'FireRating',$,IFCLABEL('R90'),$")};
    const int pset = w.Add("IFCPROPERTYSET",
                           gid("pset " + c.id) + ",$,'Pset_ColumnCommon',$," + Refs(properties));
    w.Add("IFCRELDEFINESBYPROPERTIES",
          gid("defines " + c.id) + ",$,$,$,(" + Ref(column) + ")," + Ref(pset));
    const double area = c.width * c.length / 1e6, volume = area * o.storey_height / 1000;
    quantities(
        c.id, "Qto_ColumnBaseQuantities", column,
        {{"IFCQUANTITYLENGTH", "'Length',$,$," + Real(o.storey_height) + ",$"},
         {"IFCQUANTITYAREA", "'CrossSectionArea',$,$," + Real(area) + ",$"},
         {"IFCQUANTITYAREA", "'OuterSurfaceArea',$,$," +
                                 Real(2 * (c.width + c.length) * o.storey_height / 1e6) + ",$"},
         {"IFCQUANTITYVOLUME", "'GrossVolume',$,$," + Real(volume) + ",$"},
         {"IFCQUANTITYVOLUME", "'NetVolume',$,$," + Real(volume) + ",$"},
         {"IFCQUANTITYWEIGHT", "'GrossWeight',$,$," + Real(volume * 2400) + ",$"}});
  }
  // Walls along x between the grid's columns, on every storey.
  for (int s = 0; s < o.storeys; ++s) {
    for (int j = 0; j < o.grid_y; ++j) {
      for (int i = 0; i + 1 < o.grid_x; ++i) {
        const double x0 = i * o.bay + o.width, x1 = (i + 1) * o.bay - o.width;
        const double y = j * o.bay + o.length;
        const std::string name =
            "W" + std::to_string(s + 1) + "-" + std::to_string(i + 1) + "-" + std::to_string(j + 1);
        const int point = w.Add("IFCCARTESIANPOINT", "(" + Real(x0) + "," + Real(y) + ",0.)");
        const int frame =
            w.Add("IFCAXIS2PLACEMENT3D", Ref(point) + "," + Ref(up) + "," + Ref(east));
        const int place = w.Add("IFCLOCALPLACEMENT", Ref(storey_places[s]) + "," + Ref(frame));
        const int at = w.Add("IFCCARTESIANPOINT", "(" + Real((x1 - x0) / 2) + ",0.)");
        const int profile = w.Add("IFCRECTANGLEPROFILEDEF",
                                  ".AREA.,$," + Ref(w.Add("IFCAXIS2PLACEMENT2D", Ref(at) + ",$")) +
                                      "," + Real(x1 - x0) + ",200.");
        const int solid = w.Add("IFCEXTRUDEDAREASOLID", Ref(profile) + "," + Ref(world) + "," +
                                                            Ref(up) + "," + Real(o.storey_height));
        styled(solid);
        const int shape = w.Add("IFCSHAPEREPRESENTATION",
                                Ref(body) + ",'Body','SweptSolid',(" + Ref(solid) + ")");
        const int product = w.Add("IFCPRODUCTDEFINITIONSHAPE", "$,$,(" + Ref(shape) + ")");
        const int wall =
            w.Add("IFCWALL", gid("wall " + name) + ",$,'" + name + "',$,$," + Ref(place) + "," +
                                 Ref(product) + ",'" + name + "',.STANDARD.");
        contents[s].push_back(wall);
        walls[s].push_back(wall);
        const std::vector<int> properties{
            w.Add("IFCPROPERTYSINGLEVALUE", "'Reference',$,IFCIDENTIFIER('Wall 200'),$"),
            w.Add("IFCPROPERTYSINGLEVALUE", "'LoadBearing',$,IFCBOOLEAN(.F.),$"),
            w.Add("IFCPROPERTYSINGLEVALUE", "'IsExternal',$,IFCBOOLEAN(.F.),$"),
            w.Add("IFCPROPERTYSINGLEVALUE", "'FireRating',$,IFCLABEL('EI60'),$"),
            w.Add("IFCPROPERTYSINGLEVALUE",
                  "'ThermalTransmittance',$,IFCTHERMALTRANSMITTANCEMEASURE(0.35),$")};
        w.Add("IFCRELDEFINESBYPROPERTIES",
              gid("defines " + name) + ",$,$,$,(" + Ref(wall) + ")," +
                  Ref(w.Add("IFCPROPERTYSET",
                            gid("pset " + name) + ",$,'Pset_WallCommon',$," + Refs(properties))));
        const double length = x1 - x0, side = length * o.storey_height / 1e6;
        quantities(name, "Qto_WallBaseQuantities", wall,
                   {{"IFCQUANTITYLENGTH", "'Length',$,$," + Real(length) + ",$"},
                    {"IFCQUANTITYLENGTH", "'Width',$,$,200.,$"},
                    {"IFCQUANTITYLENGTH", "'Height',$,$," + Real(o.storey_height) + ",$"},
                    {"IFCQUANTITYAREA", "'GrossSideArea',$,$," + Real(side) + ",$"},
                    {"IFCQUANTITYAREA", "'NetSideArea',$,$," + Real(side) + ",$"},
                    {"IFCQUANTITYVOLUME", "'GrossVolume',$,$," + Real(side * 0.2) + ",$"}});
      }
    }
    // A slab over each bay, its body a faceted brep as some exporters write
    // them: the bulk of a real file, which the reader indexes and leaves.
    for (int i = 0; i + 1 < o.grid_x; ++i) {
      for (int j = 0; j + 1 < o.grid_y; ++j) {
        const double x0 = i * o.bay, x1 = (i + 1) * o.bay, y0 = j * o.bay, y1 = (j + 1) * o.bay;
        const double z0 = o.storey_height, z1 = o.storey_height + o.slab;
        std::vector<int> p;
        for (const double z : {z0, z1}) {
          for (const auto& [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}) {
            p.push_back(
                w.Add("IFCCARTESIANPOINT", "(" + Real(x) + "," + Real(y) + "," + Real(z) + ")"));
          }
        }
        constexpr std::size_t kFaces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                              {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
        std::vector<int> faces;
        for (const auto& f : kFaces) {
          const int loop = w.Add("IFCPOLYLOOP", Refs({p[f[0]], p[f[1]], p[f[2]], p[f[3]]}));
          const int bound = w.Add("IFCFACEOUTERBOUND", Ref(loop) + ",.T.");
          faces.push_back(w.Add("IFCFACE", "(" + Ref(bound) + ")"));
        }
        const int brep = w.Add("IFCFACETEDBREP", Ref(w.Add("IFCCLOSEDSHELL", Refs(faces))));
        styled(brep);
        const int shape =
            w.Add("IFCSHAPEREPRESENTATION", Ref(body) + ",'Body','Brep',(" + Ref(brep) + ")");
        const int product = w.Add("IFCPRODUCTDEFINITIONSHAPE", "$,$,(" + Ref(shape) + ")");
        const std::string name =
            "F" + std::to_string(s + 1) + "-" + std::to_string(i + 1) + "-" + std::to_string(j + 1);
        const int place = w.Add("IFCLOCALPLACEMENT", Ref(storey_places[s]) + "," + Ref(world));
        contents[s].push_back(w.Add("IFCSLAB", gid("slab " + name) + ",$,'" + name + "',$,$," +
                                                   Ref(place) + "," + Ref(product) + ",'" + name +
                                                   "',.FLOOR."));
      }
    }
  }
  w.Add("IFCRELAGGREGATES",
        gid("aggregates project") + ",$,$,$," + Ref(project) + ",(" + Ref(site) + ")");
  w.Add("IFCRELAGGREGATES",
        gid("aggregates site") + ",$,$,$," + Ref(site) + ",(" + Ref(building) + ")");
  w.Add("IFCRELAGGREGATES",
        gid("aggregates building") + ",$,$,$," + Ref(building) + "," + Refs(storeys));
  for (int s = 0; s < o.storeys; ++s) {
    const std::string n = std::to_string(s);
    if (!contents[s].empty()) {
      w.Add("IFCRELCONTAINEDINSPATIALSTRUCTURE",
            gid("contains " + n) + ",$,$,$," + Refs(contents[s]) + "," + Ref(storeys[s]));
    }
    if (!columns_of[s].empty()) {
      w.Add("IFCRELASSOCIATESMATERIAL",
            gid("concrete " + n) + ",$,$,$," + Refs(columns_of[s]) + "," + Ref(concrete));
    }
    if (!walls[s].empty()) {
      w.Add("IFCRELASSOCIATESMATERIAL",
            gid("layers " + n) + ",$,$,$," + Refs(walls[s]) + "," + Ref(usage));
    }
  }
  out += "ENDSEC;\nEND-ISO-10303-21;\n";
  return out;
}

}  // namespace pierhost

// Synthetic building models for trying the tool and for benchmarks: a grid
// of columns per storey, sections shrinking up the building now and then,
// some columns offset on the one below and some missing.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace pierhost {

struct GenerateOptions {
  int storeys = 10;
  int grid_x = 5;      // columns along x
  int grid_y = 4;      // columns along y
  double width = 400;  // section of the lowest storey, mm
  double length = 600;
  double bay = 6000;  // grid spacing, mm
  double storey_height = 3000;
  double slab = 250;
  unsigned seed = 1;
  std::string name = "Generated building";
};

// One column of a generated building: its section's centre and sides (mm),
// its levels, and how a drawing program would list its corners.
struct GeneratedColumn {
  std::string id;
  int storey = 0;
  double cx = 0, cy = 0, width = 0, length = 0;
  double bottom = 0, top = 0;
  int first_corner = 0;  // of (x0, y0), (x1, y0), (x1, y1), (x0, y1)
  bool clockwise = false;
};
// The columns; the same options give the same columns.
std::vector<GeneratedColumn> GenerateColumns(const GenerateOptions& options);

// The model file's text. The same options give the same text.
std::string GenerateBuilding(const GenerateOptions& options);

// The same building as an IFC4 file in millimetres, as an authoring tool
// exports one: the columns in storeys, each an extruded rectangle mapped
// from its section's representation map at its own placement, turned as
// its corners are listed; concrete material, a property set per column;
// and between neighbouring columns, walls of two material layers.
std::string GenerateIfcBuilding(const GenerateOptions& options);

// Parses "AxB" (grid) or "WxL" (size); anything else is an error naming it.
std::pair<double, double> ParsePair(const std::string& text, const std::string& what);

}  // namespace pierhost

// Synthetic building models for trying the tool and for benchmarks: a grid
// of columns per storey, sections shrinking up the building now and then,
// some columns offset on the one below and some missing.
#pragma once

#include <string>

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

// The model file's text. The same options give the same text.
std::string GenerateBuilding(const GenerateOptions& options);

// Parses "AxB" (grid) or "WxL" (size); anything else is an error naming it.
std::pair<double, double> ParsePair(const std::string& text, const std::string& what);

}  // namespace pierhost

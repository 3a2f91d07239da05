#include "shapes/rows.h"

#include <stdexcept>

namespace shapekit::rows {

const HostGeo::Point3D& PointAt(const std::vector<HostGeo::Point3D>& point_list, std::size_t index,
                                const char* index_name) {
  if (index >= point_list.size()) {
    throw std::out_of_range(std::string(index_name) + " = " + std::to_string(index) +
                            " is outside the point list of " + std::to_string(point_list.size()) +
                            " points");
  }
  return point_list[index];
}

}  // namespace shapekit::rows

// Helpers shared by shapekit's row builders; not part of the module's
// interface.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/geomkit.h"
#include "host/geo.h"
#include "host/reinf.h"

namespace shapekit::rows {

// Every placement the module makes carries this position number.
inline constexpr int kPositionNumber = 2;

// point_list[index], or std::out_of_range naming the index and the list size.
const HostGeo::Point3D& PointAt(const std::vector<HostGeo::Point3D>& point_list, std::size_t index,
                                const char* index_name);

enum class MoveKind { Parallel, Perpendicular };

// Moves `shape` in place by the geomkit move `kind`, with the move fields
// (Move_length, angle, dir_x, dir_y, delta_x, delta_y, delta_z) of `args`.
template <class Args>
void MoveShape(MoveKind kind, HostReinf::BendingShape& shape, const Args& args) {
  const geomkit::MoveArgs move{.Shape = shape,
                               .length = args.Move_length,
                               .angle = args.angle,
                               .dir_x = args.dir_x,
                               .dir_y = args.dir_y,
                               .delta_x = args.delta_x,
                               .delta_y = args.delta_y,
                               .delta_z = args.delta_z};
  if (kind == MoveKind::Perpendicular) {
    geomkit::Move_perpendicular(move);
  } else {
    geomkit::Move_parallel(move);
  }
}

// The row functions take `direction` as a flag: any non-zero value is true.
inline bool IsSet(double direction) { return direction != 0; }

}  // namespace shapekit::rows

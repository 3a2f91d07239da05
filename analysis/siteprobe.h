// siteprobe: the eight corner points of a picked element, also of a wall
// layer, whose corners come from its wall's axis line. A module of its own
// for other tools; stateless.
#pragma once

#include <vector>

#include "host/elements.h"
#include "host/geo.h"

namespace siteprobe {

using PointList = std::vector<HostGeo::Point3D>;

// An element with exactly 8 vertices is returned as the host reports them.
// Any other element is taken as a wall layer: its corners are built from the
// last axis line among its wall's elements, at the lowest and highest level
// of its vertices, with the vertices nearest to the axis ends. A layer whose
// wall has no axis line, or an element without vertices, is an error.
PointList Output_Points(const HostElementAdapter::BaseElementAdapter& ele);

// Lowest and highest z of a list; an empty list is an error.
double Get_min_z(const PointList& point_list);
double Get_max_z(const PointList& point_list);

// A new point with the x and y of `point` and the given z.
HostGeo::Point3D Point_from_point(const HostGeo::Point3D& point, double z);

// The point of the list nearest to `point3d` among those that differ from
// it; of several at the same distance the first one. A list without such a
// point is an error.
HostGeo::Point3D Get_closet_point(const PointList& point_list, const HostGeo::Point3D& point3d);

// Adds the copy of every point of the list at level `maxz` to its end and
// returns the list; only the points that were in it before are copied.
PointList& Get_point_list_maxz(PointList& point_list_minz, double maxz);

}  // namespace siteprobe

// Corner lists of the box-shaped pieces of a wall cut around a door or a
// window. A piece is made of wall corners, opening corners and new corners
// that take the plan position of one corner and the level of another; the
// given corners are reused as they are.
#include <stdexcept>
#include <string>

#include "common/geomkit.h"

namespace geomkit {

namespace {

// The plan position of `plan` at the level of `level`.
HostGeo::Point3D At(const HostGeo::Point3D& plan, const HostGeo::Point3D& level) {
  return {plan.Values()[0], plan.Values()[1], level.Values()[2]};
}

void Require(const char* function, const char* what, const PointList& points, std::size_t needed) {
  if (points.size() < needed) {
    throw std::invalid_argument(std::string(function) + " needs " + what + " of " +
                                std::to_string(needed) + " points; it was given " +
                                std::to_string(points.size()));
  }
}

// Door pieces: positions 0 to 7 are the wall's corners, 8 to 15 the door's.
const PointList& DoorList(const char* function, const PointList& point_list) {
  Require(function, "the wall's and the door's corner lists together", point_list, 16);
  return point_list;
}

void RequireWindow(const char* function, const PointList& W, const PointList& O) {
  Require(function, "a wall corner list", W, 8);
  Require(function, "an opening corner list", O, 8);
}

}  // namespace

// Beside the door on the side of wall corners 1 and 2, up to the door's top.
PointList Wall_Door_Hor_points1(const PointList& point_list) {
  const auto& L = DoorList("Wall_Door_Hor_points1", point_list);
  const auto P1 = At(L[5], L[15]);
  const auto P2 = At(L[6], L[15]);
  return {L[9], L[1], L[2], L[10], L[13], P1, P2, L[14]};
}

// Beside the door on the side of wall corners 0 and 3, up to the door's top.
PointList Wall_Door_Hor_points2(const PointList& point_list) {
  const auto& L = DoorList("Wall_Door_Hor_points2", point_list);
  const auto P1 = At(L[4], L[15]);
  const auto P2 = At(L[7], L[15]);
  return {L[0], L[8], L[11], L[3], P1, L[12], L[15], P2};
}

// The full wall plan above the door's top.
PointList Wall_Door_Hor_points3(const PointList& point_list) {
  const auto& L = DoorList("Wall_Door_Hor_points3", point_list);
  const auto P1 = At(L[0], L[15]);
  const auto P2 = At(L[1], L[15]);
  const auto P3 = At(L[2], L[15]);
  const auto P4 = At(L[3], L[15]);
  return {P1, P2, P3, P4, L[4], L[5], L[6], L[7]};
}

// Full height beside the door on the side of wall corners 0 and 3.
PointList Wall_Door_Ver_points1(const PointList& point_list) {
  const auto& L = DoorList("Wall_Door_Ver_points1", point_list);
  const auto P1 = At(L[12], L[7]);
  const auto P2 = At(L[15], L[7]);
  return {L[0], L[8], L[11], L[3], L[4], P1, P2, L[7]};
}

// Full height beside the door on the side of wall corners 1 and 2.
PointList Wall_Door_Ver_points2(const PointList& point_list) {
  const auto& L = DoorList("Wall_Door_Ver_points2", point_list);
  const auto P1 = At(L[13], L[7]);
  const auto P2 = At(L[14], L[7]);
  return {L[9], L[1], L[2], L[10], P1, L[5], L[6], P2};
}

// Above the door, between its sides. The bottom face is the door's top face;
// the top face keeps the wall's own top corners 5 and 6 at positions 5 and 6
// and puts new corners above door corners 12 and 15 at the wall's top level.
// The piece is therefore a true box only where door corners 13 and 14 share
// the plan position of wall corners 1 and 2 (a door at the wall's end);
// elsewhere its top face reaches out to the wall's end. These corners are the
// function's contract and are kept as they are; they are deliberately not
// replaced by new corners above door corners 13 and 14, which would give the
// box between the door's sides.
PointList Wall_Door_Ver_points3(const PointList& point_list) {
  const auto& L = DoorList("Wall_Door_Ver_points3", point_list);
  const auto P1 = At(L[12], L[7]);
  const auto P2 = At(L[15], L[7]);
  return {L[12], L[13], L[14], L[15], P1, L[5], L[6], P2};
}

// Below the window's bottom level, over the full wall plan.
PointList Window_Hor_points1(const PointList& Wall_points, const PointList& Opening_points) {
  RequireWindow("Window_Hor_points1", Wall_points, Opening_points);
  const auto& W = Wall_points;
  const auto& O = Opening_points;
  const auto P1 = At(W[0], O[0]);
  const auto P2 = At(W[1], O[0]);
  const auto P3 = At(W[2], O[0]);
  const auto P4 = At(W[3], O[0]);
  return {W[0], W[1], W[2], W[3], P1, P2, P3, P4};
}

// Above the window's top level, over the full wall plan.
PointList Window_Hor_points2(const PointList& Wall_points, const PointList& Opening_points) {
  RequireWindow("Window_Hor_points2", Wall_points, Opening_points);
  const auto& W = Wall_points;
  const auto& O = Opening_points;
  const auto P1 = At(W[0], O[7]);
  const auto P2 = At(W[1], O[7]);
  const auto P3 = At(W[2], O[7]);
  const auto P4 = At(W[3], O[7]);
  return {P1, P2, P3, P4, W[4], W[5], W[6], W[7]};
}

// Beside the window on the side of wall corners 0 and 3, between its levels.
PointList Window_Hor_points3(const PointList& Wall_points, const PointList& Opening_points) {
  RequireWindow("Window_Hor_points3", Wall_points, Opening_points);
  const auto& W = Wall_points;
  const auto& O = Opening_points;
  const auto P1 = At(W[0], O[0]);
  const auto P2 = At(W[3], O[0]);
  const auto P3 = At(W[0], O[7]);
  const auto P4 = At(W[3], O[7]);
  return {P1, O[0], O[3], P2, P3, O[4], O[7], P4};
}

// Beside the window on the side of wall corners 1 and 2, between its levels.
PointList Window_Hor_points4(const PointList& Wall_points, const PointList& Opening_points) {
  RequireWindow("Window_Hor_points4", Wall_points, Opening_points);
  const auto& W = Wall_points;
  const auto& O = Opening_points;
  const auto P1 = At(W[1], O[0]);
  const auto P2 = At(W[2], O[0]);
  const auto P3 = At(W[1], O[7]);
  const auto P4 = At(W[2], O[7]);
  return {O[1], P1, P2, O[2], O[5], P3, P4, O[6]};
}

// Full height beside the window on the side of wall corners 0 and 3.
PointList Window_Ver_points1(const PointList& Wall_points, const PointList& Opening_points) {
  RequireWindow("Window_Ver_points1", Wall_points, Opening_points);
  const auto& W = Wall_points;
  const auto& O = Opening_points;
  const auto P1 = At(O[0], W[0]);
  const auto P2 = At(O[3], W[0]);
  const auto P3 = At(O[0], W[7]);
  const auto P4 = At(O[3], W[7]);
  return {W[0], P1, P2, W[3], W[4], P3, P4, W[7]};
}

// Full height beside the window on the side of wall corners 1 and 2.
PointList Window_Ver_points2(const PointList& Wall_points, const PointList& Opening_points) {
  RequireWindow("Window_Ver_points2", Wall_points, Opening_points);
  const auto& W = Wall_points;
  const auto& O = Opening_points;
  const auto P1 = At(O[1], W[0]);
  const auto P2 = At(O[2], W[0]);
  const auto P3 = At(O[1], W[7]);
  const auto P4 = At(O[2], W[7]);
  return {P1, W[1], W[2], P2, P3, W[5], W[6], P4};
}

// Above the window, between its sides, up to the wall's top.
PointList Window_Ver_points3(const PointList& Wall_points, const PointList& Opening_points) {
  RequireWindow("Window_Ver_points3", Wall_points, Opening_points);
  const auto& W = Wall_points;
  const auto& O = Opening_points;
  const auto P1 = At(O[4], W[7]);
  const auto P2 = At(O[5], W[7]);
  const auto P3 = At(O[6], W[7]);
  const auto P4 = At(O[7], W[7]);
  return {O[4], O[5], O[6], O[7], P1, P2, P3, P4};
}

// Below the window, between its sides, down to the wall's base.
PointList Window_Ver_points4(const PointList& Wall_points, const PointList& Opening_points) {
  RequireWindow("Window_Ver_points4", Wall_points, Opening_points);
  const auto& W = Wall_points;
  const auto& O = Opening_points;
  const auto P1 = At(O[0], W[0]);
  const auto P2 = At(O[1], W[0]);
  const auto P3 = At(O[2], W[0]);
  const auto P4 = At(O[3], W[0]);
  return {P1, P2, P3, P4, O[0], O[1], O[2], O[3]};
}

}  // namespace geomkit

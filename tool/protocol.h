// What the tool and its hosts agree on besides the plug-in interface: the
// event numbers of its palettes' buttons, the names recorded sessions and
// the web page give them, and the tool's palette files.
#pragma once

#include <array>
#include <string_view>

namespace piertool {

inline constexpr int kFinish = 1000;
inline constexpr int kDraw = 2000;
inline constexpr int kRebuild = 2002;

struct NamedButton {
  std::string_view name;
  int event_id;
};
inline constexpr std::array<NamedButton, 3> kNamedButtons{
    {{"finish", kFinish}, {"draw", kDraw}, {"rebuild", kRebuild}}};

inline constexpr const char* kSelectionPalette = "Selection_rk.pal";
inline constexpr const char* kSinglePalette = "cage_single.pal";
inline constexpr const char* kStackedPalette = "cage_stacked.pal";

}  // namespace piertool

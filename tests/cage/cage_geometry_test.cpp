// Property test of both cages over seeded random columns: the bars
// themselves, as the host's placements list them, must stand where a
// detailer would put them, for any plan rotation, any first corner and
// either listing sense.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "cage/cage_single.h"
#include "cage/cage_stacked.h"
#include "common/geomkit.h"
#include "support/cage_check.h"

namespace {

using namespace testsupport;
using HostReinf::BendingShapeType;

constexpr double kTol = 1e-6;

struct Values {
  double c, ds, D, dX, dY, S;
  int nX, nY;
  double spacing, top_spacing, bot_spacing;
  bool top_on, bot_on;
  double top_len, bot_len;
  // Upper column (stacked cage).
  double c_above, ds_above, D_above, dX_above, dY_above;
  std::string calculate = "Tension";
};

class Rng {
 public:
  explicit Rng(unsigned seed) : g_(seed) {}
  double Uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(g_);
  }
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(g_); }
  template <typename T>
  T Pick(std::initializer_list<T> list) {
    return *(list.begin() + Int(0, static_cast<int>(list.size()) - 1));
  }
  bool Chance(double p) { return Uniform(0, 1) < p; }

 private:
  std::mt19937 g_;
};

// A plan rotation over the full circle, often an exact multiple of 45 degrees.
double RandomAngle(Rng& rng) {
  if (rng.Chance(0.4)) return 45.0 * rng.Int(-8, 8);
  return rng.Uniform(-360, 360);
}

// Largest side bar count that leaves a clear gap of a bar diameter between bars.
int FittingCount(int wanted, double side, double o, double d) {
  int n = wanted;
  while (n > 0 && (side - 2 * o) / (n + 1) < 2 * d) --n;
  return n;
}

Values RandomValues(Rng& rng, double short_side, double long_side, bool spliced) {
  Values v{};
  v.c = rng.Pick({20.0, 25.0, 30.0, 35.0, 40.0, 50.0});
  // Bars a detailer would choose for the section: no thicker than a tenth
  // of its short side.
  do {
    v.D = rng.Pick({12.0, 14.0, 16.0, 20.0, 25.0, 28.0, 32.0});
  } while (v.D > short_side / 10);
  v.ds = rng.Pick({8.0, 10.0, 12.0});
  if (v.ds < v.D / 4) v.ds = 10;
  v.dX = rng.Pick({10.0, 12.0, 14.0, 16.0, 20.0});
  v.dY = rng.Pick({10.0, 12.0, 14.0, 16.0, 20.0});
  (void)long_side;
  v.S = rng.Pick({150.0, 200.0, 230.0, 250.0, 300.0, 400.0});
  v.spacing = rng.Pick({100.0, 150.0, 190.0, 200.0});
  v.top_spacing = rng.Pick({60.0, 80.0, 100.0, 120.0});
  v.bot_spacing = rng.Pick({60.0, 80.0, 100.0, 120.0});
  v.top_on = rng.Chance(0.7);
  v.bot_on = rng.Chance(0.7);
  v.top_len = rng.Pick({300.0, 450.0, 500.0, 600.0, 800.0});
  v.bot_len = rng.Pick({300.0, 450.0, 500.0, 600.0, 800.0});
  v.c_above = v.c;
  v.ds_above = v.ds;
  v.D_above = v.D;
  v.dX_above = v.dX;
  v.dY_above = v.dY;
  if (rng.Chance(0.3)) {
    v.c_above = rng.Pick({20.0, 25.0, 30.0, 40.0});
    v.ds_above = rng.Pick({8.0, 10.0});
    v.D_above = std::min(v.D, rng.Pick({12.0, 16.0, 20.0}));
    v.dX_above = rng.Pick({10.0, 12.0, 16.0});
    v.dY_above = rng.Pick({10.0, 12.0, 16.0});
  }
  v.calculate = rng.Pick({std::string("Tension"), std::string("Compression")});
  // As many side bars as a detailer would fit: a clear gap of a bar diameter
  // between them, beside the corner bars and, where bars are spliced, the
  // bars carried up beside them.
  const double o = std::max(v.c, v.c_above) + std::max(v.ds, v.ds_above) + v.D +
                   (spliced ? 1.15 * v.D + v.ds : 0.0);
  v.nX = FittingCount(rng.Int(0, 4), short_side, o, v.dX);
  v.nY = FittingCount(rng.Int(0, 4), short_side, o, v.dY);
  return v;
}

std::shared_ptr<HostBaseElements::BuildingElement> Palette(const char* file, const Values& v) {
  auto p = LoadPalette(file);
  auto& e = *p;
  e["Concr_Cover"].SetValue(v.c);
  e["Main_Diameter"].SetValue(v.D);
  e["Main_Stirrup_Diameter"].SetValue(v.ds);
  e["Add_X_Diameter"].SetValue(v.dX);
  e["Add_Y_Diameter"].SetValue(v.dY);
  e["Add_X_Number"].SetValue(v.nX);
  e["Add_Y_Number"].SetValue(v.nY);
  e["Main_Stirrup_Spacing"].SetValue(v.spacing);
  e["Add_Stirrup_Top_Spacing"].SetValue(v.top_spacing);
  e["Add_Stirrup_Bot_Spacing"].SetValue(v.bot_spacing);
  e["Add_Stirrup_Top"].SetValue(v.top_on);
  e["Add_Stirrup_Bot"].SetValue(v.bot_on);
  e["Add_Stirrup_Top_Length"].SetValue(v.top_len);
  e["Add_Stirrup_Bot_Length"].SetValue(v.bot_len);
  if (e.Has("Slab_Above")) e["Slab_Above"].SetValue(v.S);
  if (e.Has("Concr_Cover_Above")) {
    e["Concr_Cover_Above"].SetValue(v.c_above);
    e["Main_Stirrup_Diameter_Above"].SetValue(v.ds_above);
    e["Main_Diameter_Above"].SetValue(v.D_above);
    e["Add_X_Diameter_Above"].SetValue(v.dX_above);
    e["Add_Y_Diameter_Above"].SetValue(v.dY_above);
    e["Calculate_Type"].SetValue(v.calculate);
  }
  return p;
}

struct Host {
  HostInput::CoordinateInput input{nullptr, nullptr};
  HostUtil::StringTableService strings;
  HostUtil::Session session;
};

// ---------------------------------------------------------------------------
// The lower column's cage: stirrups, corner bars and side bars.

struct LowerExpect {
  Faces faces;
  double bottom, top;
  Values v;
  // Faces (0..3) that run along the cage's X direction.
  std::array<bool, 4> x_face;
};

void CheckStirrups(const std::vector<Bar>& stirrups, const LowerExpect& e, double top_len,
                   double bot_len) {
  const double t = e.v.c + e.v.ds / 2;
  ASSERT_FALSE(stirrups.empty());
  for (const auto& s : stirrups) {
    SCOPED_TRACE(Describe(s));
    const auto& p = s.points;
    // 90-degree hooks add one leg at each end, 135-degree ones two.
    ASSERT_TRUE(p.size() == 7u || p.size() == 9u);
    EXPECT_EQ(s.d, e.v.ds);
    // The closed loop: the bar passes the closing corner twice; every
    // corner at the cover plus half the stirrup from exactly two faces, the
    // outer face keeping the cover.
    const std::size_t first = p.size() == 7u ? 1 : 2;
    EXPECT_LT(p[first].GetDistance(p[first + 4]), kTol);
    for (std::size_t i = first; i <= first + 4; ++i) {
      std::vector<double> dist;
      for (std::size_t f = 0; f < 4; ++f) dist.push_back(e.faces.Distance(f, p[i].X(), p[i].Y()));
      std::sort(dist.begin(), dist.end());
      EXPECT_NEAR(dist[0], t, kTol);
      EXPECT_NEAR(dist[1], t, kTol);
      EXPECT_GT(dist[2], t + 1);
    }
    // Every other corner on a side of the loop, and both hooks alike and
    // bent into the section.
    for (const auto& q : p) EXPECT_GE(e.faces.Inside(q.X(), q.Y()), t - kTol);
    for (std::size_t i = 0; i + 1 < first + 1; ++i) {
      EXPECT_NEAR(p[i].GetDistance(p[i + 1]), p[p.size() - 1 - i].GetDistance(p[p.size() - 2 - i]),
                  kTol);
    }
    for (const auto& q : p) EXPECT_NEAR(q.Z(), p[0].Z(), kTol);
  }
  // The links from the first, the cover above the bottom, to the last, the
  // cover below the top; no gap above the spacing of a zone it lies in.
  std::vector<double> z;
  for (const auto& st : stirrups) z.push_back(st.points[0].Z());
  std::sort(z.begin(), z.end());
  ASSERT_FALSE(z.empty());
  EXPECT_NEAR(z.front(), e.bottom + t, kTol);
  EXPECT_NEAR(z.back(), e.top - t, kTol);
  for (std::size_t i = 1; i < z.size(); ++i) {
    double allowed = e.v.spacing;
    if (e.v.top_on && z[i] > e.top - top_len + kTol) allowed = std::min(allowed, e.v.top_spacing);
    if (e.v.bot_on && z[i - 1] < e.bottom + bot_len - kTol) {
      allowed = std::min(allowed, e.v.bot_spacing);
    }
    EXPECT_LE(z[i] - z[i - 1], allowed + kTol);
    EXPECT_GT(z[i] - z[i - 1], 0.4 * allowed);
  }
}

// Where a longitudinal bar stands in the lower column: its lowest point.
void CheckLowerBars(const std::vector<Bar>& bars, const LowerExpect& e) {
  // Corner bars sit in the link's bend.
  const double a = geomkit::CornerBarInset(e.v.c, e.v.ds, e.v.D);
  const double o = e.v.c + e.v.ds + e.v.D;
  int corners = 0;
  std::array<std::vector<double>, 4> along;  // side bars per face, along the face
  for (const auto& b : bars) {
    SCOPED_TRACE(Describe(b));
    EXPECT_NEAR(b.points.front().Z(), e.bottom, kTol);
    // The lower leg is vertical.
    EXPECT_NEAR(b.points[1].X(), b.points[0].X(), kTol);
    EXPECT_NEAR(b.points[1].Y(), b.points[0].Y(), kTol);
    const double x = b.points[0].X(), y = b.points[0].Y();
    std::array<double, 4> dist;
    for (std::size_t f = 0; f < 4; ++f) dist[f] = e.faces.Distance(f, x, y);
    std::array<std::size_t, 4> order{0, 1, 2, 3};
    std::sort(order.begin(), order.end(), [&](auto i, auto j) { return dist[i] < dist[j]; });
    if (b.d == e.v.D && std::abs(dist[order[1]] - a) < kTol) {
      // A corner bar touches the inside of the link's bend.
      EXPECT_NEAR(dist[order[0]], a, kTol);
      ++corners;
    } else {
      // A side bar touches the stirrup on its face.
      const std::size_t f = order[0];
      EXPECT_NEAR(dist[f], e.v.c + e.v.ds + b.d / 2, kTol);
      EXPECT_EQ(b.d, e.x_face[f] ? e.v.dX : e.v.dY);
      along[f].push_back(e.faces.Along(f, x, y));
    }
  }
  EXPECT_EQ(corners, 4);
  for (std::size_t f = 0; f < 4; ++f) {
    const int n = e.x_face[f] ? e.v.nX : e.v.nY;
    ASSERT_EQ(static_cast<int>(along[f].size()), n) << "side bars on face " << f;
    std::sort(along[f].begin(), along[f].end());
    const double side = e.faces.Length(f);
    for (int k = 0; k < n; ++k) {
      // Spread evenly between the corner bars.
      EXPECT_NEAR(along[f][static_cast<std::size_t>(k)], o + (k + 1) * (side - 2 * o) / (n + 1),
                  1e-5)
          << "face " << f << " bar " << k;
    }
  }
}

void CheckNoOverlap(const std::vector<Bar>& bars) {
  for (std::size_t i = 0; i < bars.size(); ++i) {
    for (std::size_t j = i + 1; j < bars.size(); ++j) {
      const double gap = BarDistance(bars[i], bars[j]);
      EXPECT_GE(gap, (bars[i].d + bars[j].d) / 2 - kTol)
          << Describe(bars[i]) << " overlaps " << Describe(bars[j]);
    }
  }
}

std::array<bool, 4> XFaces(const std::vector<Point2D>& ccw,
                           const std::vector<Point3D>& cage_corners) {
  const double ux = cage_corners[1].X() - cage_corners[0].X(),
               uy = cage_corners[1].Y() - cage_corners[0].Y();
  std::array<bool, 4> x{};
  for (std::size_t f = 0; f < 4; ++f) {
    const double fx = ccw[(f + 1) % 4].X() - ccw[f].X(), fy = ccw[(f + 1) % 4].Y() - ccw[f].Y();
    x[f] = std::abs(ux * fx + uy * fy) > 0.5 * std::hypot(ux, uy) * std::hypot(fx, fy);
  }
  return x;
}

ColumnSpec RandomColumn(Rng& rng) {
  ColumnSpec s;
  s.x = rng.Uniform(-20000, 20000);
  s.y = rng.Uniform(-20000, 20000);
  s.theta = RandomAngle(rng);
  s.first =
      rng.Chance(0.3) ? rng.Pick({200.0, 300.0, 400.0, 600.0}) : std::round(rng.Uniform(200, 1200));
  s.second = rng.Chance(0.3) ? s.first : std::round(rng.Uniform(200, 1200));
  // Keep the sections columns, not walls.
  if (std::max(s.first, s.second) > 4 * std::min(s.first, s.second)) s.second = 3 * s.first;
  s.bottom = rng.Uniform(-3000, 20000);
  s.top = s.bottom + rng.Pick({2400.0, 2800.0, 3000.0, 3600.0, 4500.0});
  s.start_corner = rng.Int(0, 3);
  s.clockwise = rng.Chance(0.5);
  return s;
}

TEST(CageGeometry, SingleCageBarsStandWhereADetailerPutsThem) {
  for (unsigned seed = 1; seed <= 2500; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Rng rng(seed);
    const ColumnSpec column = RandomColumn(rng);
    const Values v = RandomValues(rng, std::min(column.first, column.second),
                                  std::max(column.first, column.second), false);
    Host host;
    HostUtil::SessionScope scope(host.session);
    cage_single::Reinforcement cage(Palette("cage_single.pal", v), nullptr, host.input,
                                    PIER_TOOL_DIR, host.strings, HostVertices({column}));
    ASSERT_FALSE(cage.error());
    const auto placements = cage.Rebars();
    const auto bars = BarsOf(placements);
    std::vector<Bar> stirrups, longitudinal;
    for (const auto& b : bars) {
      if (b.type == BendingShapeType::Stirrup) stirrups.push_back(b);
      if (b.type == BendingShapeType::LongitudinalBar) longitudinal.push_back(b);
    }
    const auto ccw = CcwCorners(column);
    LowerExpect e{Faces{ccw}, column.bottom, column.top, v, XFaces(ccw, cage.Column())};
    CheckStirrups(stirrups, e, v.top_len, v.bot_len);
    CheckLowerBars(longitudinal, e);
    const double height = geomkit::round_down(column.top - column.bottom + v.S - 50);
    for (const auto& b : longitudinal) {
      ASSERT_EQ(b.points.size(), 2u);
      EXPECT_NEAR(b.points.back().Z() - b.points.front().Z(), height, kTol);
    }
    CheckNoOverlap(longitudinal);
    if (HasFailure()) return;
  }
}

// ---------------------------------------------------------------------------
// Stacked cages: how they carry their bars up is judged with the detailing
// rules (cage_detailing_test.cpp).

TEST(CageGeometry, AnUpperColumnLargerThanTheLowerIsRefused) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Rng rng(seed + 200000);
    const ColumnSpec lower = RandomColumn(rng);
    ColumnSpec upper = lower;
    upper.bottom = lower.top + 250;
    upper.top = upper.bottom + 3000;
    (rng.Chance(0.5) ? upper.first : upper.second) += rng.Pick({0.5, 10.0, 100.0});
    upper.start_corner = rng.Int(0, 3);
    const Values v = RandomValues(rng, std::min(lower.first, lower.second),
                                  std::max(lower.first, lower.second), true);
    Host host;
    HostUtil::SessionScope scope(host.session);
    cage_stacked::Reinforcement cage(Palette("cage_stacked.pal", v), nullptr, host.input,
                                     PIER_TOOL_DIR, host.strings, HostVertices({lower, upper}));
    EXPECT_TRUE(cage.error());
    EXPECT_TRUE(cage.Rebars().empty());
    ASSERT_FALSE(host.session.Messages().empty());
    EXPECT_NE(std::find(host.session.Messages().begin(), host.session.Messages().end(),
                        std::string("Please check again.\nCross section of the column above is "
                                    "bigger than cross section of the column below!")),
              host.session.Messages().end());
    if (HasFailure()) return;
  }
}

}  // namespace

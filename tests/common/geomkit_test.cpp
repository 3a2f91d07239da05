#include "common/geomkit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>

#include "common/invariant.h"
#include "host/plugin_api.h"
#include "support/expect_geo.h"

namespace {

using geomkit::PointList;
using HostGeo::Point3D;
using testing::AllOf;
using testing::HasSubstr;

constexpr double kTol = 1e-9;

// Runs `call`, expects it to throw E, and returns the message.
template <typename E, typename F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "no exception of the expected type was thrown";
  return {};
}

// Corners c0..c(n-1) with distinct coordinates, so any mix-up shows.
PointList Numbered(int n) {
  PointList points;
  for (int k = 0; k < n; ++k) points.emplace_back(k, 10 * k, 100 * k);
  return points;
}

// ---------------------------------------------------------------------------
// Moves, checked on a real straight bar.

class MoveTest : public testing::Test {
 protected:
  HostReinf::BendingShape bar_{
      {{0, 0, 0}, {1000, 0, 0}},
      {.diameter = 16, .shape_type = HostReinf::BendingShapeType::LongitudinalBar}};

  void ExpectMovedBy(double vx, double vy, double vz) {
    EXPECT_POLYLINE_NEAR(bar_.GetPolyline(), (PointList{{vx, vy, vz}, {1000 + vx, vy, vz}}));
  }
};

TEST_F(MoveTest, MoveAndMoveParallelGoAlongTheAngle) {
  geomkit::move({.Shape = bar_, .length = 100, .angle = 0});
  ExpectMovedBy(100, 0, 0);
  geomkit::Move_parallel({.Shape = bar_, .length = 100, .angle = HostGeo::Angle::FromDeg(30)});
  ExpectMovedBy(100 + 100 * std::sqrt(3.0) / 2, 50, 0);
  EXPECT_EQ(bar_.GetDiameter(), 16);
}

TEST_F(MoveTest, PerpendicularSignsPickTheSide) {
  geomkit::Move_perpendicular({.Shape = bar_, .length = 100, .angle = 0});
  ExpectMovedBy(0, 100, 0);
  geomkit::Move_perpendicular({.Shape = bar_, .length = 100, .angle = 0, .dir_y = -1});
  ExpectMovedBy(0, 0, 0);
  // At 90 degrees, dir_x = -1 points along 180 degrees, dir_y = -1 along 0.
  const HostGeo::Angle right = std::numbers::pi / 2;
  geomkit::Move_perpendicular({.Shape = bar_, .length = 100, .angle = right, .dir_x = -1});
  ExpectMovedBy(-100, 0, 0);
  geomkit::Move_perpendicular({.Shape = bar_, .length = 100, .angle = right, .dir_y = -1});
  ExpectMovedBy(0, 0, 0);
}

TEST_F(MoveTest, OffsetsAreNeitherScaledNorRotated) {
  geomkit::Move_parallel({.Shape = bar_, .length = 0, .angle = 1.234, .delta_z = 500});
  ExpectMovedBy(0, 0, 500);
  geomkit::Move_parallel({.Shape = bar_,
                          .length = 100,
                          .angle = 0,
                          .dir_x = -1,
                          .dir_y = -1,
                          .delta_x = 10,
                          .delta_y = 20,
                          .delta_z = -500});
  ExpectMovedBy(-90, 20, 0);
  geomkit::Move_perpendicular(
      {.Shape = bar_, .length = 50, .angle = 0, .dir_y = -1, .delta_x = 7, .delta_y = 3});
  ExpectMovedBy(-83, -27, 0);
}

TEST(PointHelpers, Getpointfrom2points) {
  const auto p = geomkit::Getpointfrom2points({0, 0, 0}, {300, 400, 0}, 50);
  EXPECT_NEAR(p[0], 30, kTol);
  EXPECT_NEAR(p[1], 40, kTol);
  // Backwards along the line, and z plays no part.
  const auto q = geomkit::Getpointfrom2points({300, 400, 7}, {0, 0, -9}, 500);
  EXPECT_NEAR(q[0], 0, kTol);
  EXPECT_NEAR(q[1], 0, kTol);
  const auto msg = ErrorOf<std::invalid_argument>([] {
    geomkit::Getpointfrom2points({1, 2, 0}, {1, 2, 50}, 10);
  });
  EXPECT_THAT(msg, HasSubstr("plan position"));
}

TEST(PointHelpers, OffsetsAndMidPoint) {
  const Point3D p{1, 2, 3};
  EXPECT_POINT_NEAR(geomkit::Offset_x(p, 100, 0.0), Point3D(101, 2, 3));
  EXPECT_POINT_NEAR(geomkit::Offset_x(p, 100, std::numbers::pi / 2), Point3D(1, 102, 3));
  EXPECT_POINT_NEAR(geomkit::Offset_y(p, 100, 0.0), Point3D(1, 102, 3));
  EXPECT_POINT_NEAR(geomkit::Offset_y(p, 100, HostGeo::Angle::FromDeg(90)), Point3D(-99, 2, 3));
  EXPECT_POINT_NEAR(geomkit::Offset_y(p, -100, HostGeo::Angle::FromDeg(-30)),
                    Point3D(1 - 50, 2 - 100 * std::sqrt(3.0) / 2, 3));
  EXPECT_EQ(geomkit::MidPoint({0, 0, 0}, {1, 1, 1}), Point3D(0.5, 0.5, 0.5));
  EXPECT_EQ(geomkit::MidPoint({-3, 4, 1}, {3, 6, 2}), Point3D(0, 5, 1.5));
}

// ---------------------------------------------------------------------------
// Corner lists.

TEST(CornerLists, BoxFromThreeDimensions) {
  const auto box = geomkit::get_pnts_fr_3_dimens(400, 300, 3000, {10, 20, 30});
  const PointList expected{{10, 20, 30},   {410, 20, 30},   {410, 320, 30},   {10, 320, 30},
                           {10, 20, 3030}, {410, 20, 3030}, {410, 320, 3030}, {10, 320, 3030}};
  EXPECT_EQ(box, expected);
}

TEST(CornerLists, RearrangeKeepsANormalListAsItIs) {
  const auto box = geomkit::get_pnts_fr_3_dimens(400, 300, 3000, {0, 0, 0});
  EXPECT_EQ(geomkit::Rearrange(box), box);
  // Equal y of corners 0 and 3 is "not greater": no change either, even for
  // a list that is not a box and has more than eight points.
  PointList odd = Numbered(10);
  odd[3] = Point3D(5, odd[0].Y(), 0);
  EXPECT_EQ(geomkit::Rearrange(odd), odd);
}

TEST(CornerLists, RearrangeRestartsTheBottomFaceAndLevelsTheTopAtCorner7) {
  // Old top corners 4 to 6 carry odd levels; only corner 7's level counts.
  const auto with_top = [](PointList bottom) {
    bottom.push_back(Point3D(bottom[0].X(), bottom[0].Y(), 111));
    bottom.push_back(Point3D(bottom[1].X(), bottom[1].Y(), 222));
    bottom.push_back(Point3D(bottom[2].X(), bottom[2].Y(), 333));
    bottom.push_back(Point3D(bottom[3].X(), bottom[3].Y(), 3000));
    return bottom;
  };
  const PointList normal{{0, 0, 0},    {400, 0, 0},    {400, 300, 0},    {0, 300, 0},
                         {0, 0, 3000}, {400, 0, 3000}, {400, 300, 3000}, {0, 300, 3000}};

  // x of 0 > x of 1: positions (2, 3, 0, 1).
  const auto a = with_top({{400, 300, 0}, {0, 300, 0}, {0, 0, 0}, {400, 0, 0}});
  EXPECT_EQ(geomkit::Rearrange(a), normal);
  // Otherwise: positions (3, 2, 1, 0).
  const auto b = with_top({{0, 300, 0}, {400, 300, 0}, {400, 0, 0}, {0, 0, 0}});
  EXPECT_EQ(geomkit::Rearrange(b), normal);
  // Equal x of corners 0 and 1 is "not greater": (3, 2, 1, 0).
  const auto c = with_top({{0, 300, 0}, {0, 0, 0}, {400, 0, 0}, {400, 200, 0}});
  const auto rc = geomkit::Rearrange(c);
  ASSERT_EQ(rc.size(), 8u);
  EXPECT_EQ(rc[0], c[3]);
  EXPECT_EQ(rc[1], c[2]);
  EXPECT_EQ(rc[2], c[1]);
  EXPECT_EQ(rc[3], c[0]);
  EXPECT_EQ(rc[4], Point3D(400, 200, 3000));

  EXPECT_THAT(ErrorOf<std::invalid_argument>([] { geomkit::Rearrange(Numbered(7)); }),
              AllOf(HasSubstr("Rearrange"), HasSubstr("8"), HasSubstr("7")));
}

TEST(CornerLists, RotateStartsEachFaceOneCornerLaterFromTheIndex) {
  const PointList c = Numbered(16);
  EXPECT_EQ(geomkit::Rotate(c, 0), (PointList{c[1], c[2], c[3], c[0], c[5], c[6], c[7], c[4]}));
  EXPECT_EQ(geomkit::Rotate(c, 8),
            (PointList{c[9], c[10], c[11], c[8], c[13], c[14], c[15], c[12]}));
  EXPECT_THROW(geomkit::Rotate(c, 9), std::out_of_range);
  EXPECT_THROW(geomkit::Rotate(Numbered(7), 0), std::out_of_range);
}

TEST(CornerLists, RearrangeBotTopSwapsFaces) {
  const PointList c = Numbered(8);
  const auto swapped = geomkit::Rearrange_bot_top(c);
  EXPECT_EQ(swapped, (PointList{c[4], c[5], c[6], c[7], c[0], c[1], c[2], c[3]}));
  EXPECT_EQ(geomkit::Rearrange_bot_top(swapped), c);
  EXPECT_THROW(geomkit::Rearrange_bot_top(Numbered(5)), std::invalid_argument);
}

// ---------------------------------------------------------------------------
// Rounding, grades, exposure, covers.

TEST(Rounding, StepsOf50WithTheFlooredRemainder) {
  EXPECT_EQ(geomkit::round_up(450), 450);
  EXPECT_EQ(geomkit::round_up(451), 500);
  EXPECT_EQ(geomkit::round_up(0), 0);
  EXPECT_EQ(geomkit::round_up(-30), 0);
  EXPECT_EQ(geomkit::round_up(-51), -50);
  EXPECT_EQ(geomkit::round_down(499), 450);
  EXPECT_EQ(geomkit::round_down(-30), -50);
  EXPECT_EQ(geomkit::round_number(475), 25);
  EXPECT_EQ(geomkit::round_number(-30), 20);
  EXPECT_EQ(geomkit::round_number(-0.5), 49.5);
  EXPECT_EQ(geomkit::round_up(120.5), 150.0);
  EXPECT_EQ(geomkit::round_down(120.5), 100.0);
  // A length measured between corners far out carries noise far below a
  // millimetre: it is the multiple of 50 it stands on.
  EXPECT_EQ(geomkit::round_up(300.0000000002), 300.0);
  EXPECT_EQ(geomkit::round_up(299.9999999998), 300.0);
  EXPECT_EQ(geomkit::round_down(299.9999999998), 300.0);
  EXPECT_EQ(geomkit::round_down(300.0000000002), 300.0);
  EXPECT_EQ(geomkit::round_up(300.001), 350.0);
  for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
    EXPECT_THROW(geomkit::round_up(bad), std::invalid_argument);
    EXPECT_THROW(geomkit::round_number(bad), std::invalid_argument);
  }
}

TEST(Rounding, To10TiesGoToTheEvenMultiple) {
  EXPECT_EQ(geomkit::round_to_10(75), 80);
  EXPECT_EQ(geomkit::round_to_10(105), 100);
  EXPECT_EQ(geomkit::round_to_10(168), 170);
  EXPECT_EQ(geomkit::round_to_10(114), 110);
  EXPECT_EQ(geomkit::round_to_10(192), 190);
  EXPECT_EQ(geomkit::round_to_10(240), 240);
  EXPECT_EQ(geomkit::round_to_10(-75), -80);
  // The products the palette limits compute, whatever their last bit.
  EXPECT_EQ(geomkit::round_to_10(0.6 * 125), 80);
  EXPECT_EQ(geomkit::round_to_10(0.6 * 175), 100);
  EXPECT_EQ(geomkit::round_to_10(std::nextafter(105.0, 0.0)), 100);
  EXPECT_EQ(geomkit::round_to_10(std::nextafter(75.0, 0.0)), 80);
  EXPECT_EQ(geomkit::round_to_10(104.999), 100);
  EXPECT_EQ(geomkit::round_to_10(105.001), 110);
  EXPECT_THROW(geomkit::round_to_10(std::nan("")), std::invalid_argument);
}

TEST(DesignCode, GradesExposureAndCovers) {
  EXPECT_EQ(geomkit::concre_grade(0), "C12/15");
  EXPECT_EQ(geomkit::concre_grade(13), "C90/105");
  EXPECT_THAT(ErrorOf<std::out_of_range>([] { geomkit::concre_grade(14); }), HasSubstr("14"));
  EXPECT_THROW(geomkit::concre_grade(-1), std::out_of_range);

  EXPECT_EQ(geomkit::concr_exposure("XC1"), (std::array<int, 3>{10, 10, 1}));
  EXPECT_EQ(geomkit::concr_exposure("XD3"), (std::array<int, 3>{40, 15, 5}));
  EXPECT_THAT(ErrorOf<std::invalid_argument>([] { geomkit::concr_exposure("xc1"); }),
              AllOf(HasSubstr("\"xc1\""), HasSubstr("XC1, XC2")));
  for (const auto& name : geomkit::exposure_list()) {
    const auto lowest = geomkit::concr_exposure(name)[2];
    EXPECT_NO_THROW(geomkit::concre_grade(lowest)) << name;
  }

  EXPECT_EQ(geomkit::Cover_rebar(30, 25), 30);
  EXPECT_EQ(geomkit::Cover_stirrup_rebar(30, 10, 25), 40);
  EXPECT_EQ(geomkit::Cover_stirrup(30, 10), 40);
}

// ---------------------------------------------------------------------------
// The CSV reader.

using Rows = std::vector<std::vector<std::string>>;

TEST(Csv, QuotingAndLineEnds) {
  EXPECT_EQ(geomkit::parse_csv("a,b\n1,2\n"), (Rows{{"a", "b"}, {"1", "2"}}));
  EXPECT_EQ(geomkit::parse_csv("\"x, y\",\"say \"\"hi\"\"\",3"),
            (Rows{{"x, y", "say \"hi\"", "3"}}));
  EXPECT_EQ(geomkit::parse_csv("\"two\nlines\",z\r\nnext\r\n"),
            (Rows{{"two\nlines", "z"}, {"next"}}));
  // Empty cells and empty lines keep their places, so row k is line k.
  EXPECT_EQ(geomkit::parse_csv(",\n\n\"\",x\n"), (Rows{{"", ""}, {}, {"", "x"}}));
  // A quote inside an unquoted cell is an ordinary character.
  EXPECT_EQ(geomkit::parse_csv("5\"x,y"), (Rows{{"5\"x", "y"}}));
  EXPECT_EQ(geomkit::parse_csv(""), Rows{});
  EXPECT_THAT(ErrorOf<std::runtime_error>([] { geomkit::parse_csv("a\n\"open,b\nc"); }),
              AllOf(HasSubstr("closing quote"), HasSubstr("row 1")));
  EXPECT_THAT(ErrorOf<std::runtime_error>([] { geomkit::parse_csv("\"a\nb\",x\n\"open"); }),
              HasSubstr("row 2"));
}

// A fresh folder per test, removed afterwards.
class TableFolder : public testing::Test {
 protected:
  std::filesystem::path dir_;

  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("geomkit_test_" + std::string(info->name()) + "_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return (dir_ / name).string();
  }

  // A full table whose cell [row][column] holds offset + 100 row + column.
  void WriteGrid(const std::string& name, int offset) {
    std::string text;
    for (int row = 0; row < 24; ++row) {
      text += row == 0 || row == 12 ? "\"bond, diameter\"" : "d";
      for (int column = 1; column <= 14; ++column) {
        text += "," + std::to_string(offset + 100 * row + column);
      }
      text += "\n";
    }
    Write(name, text);
  }

  std::string Path() const { return dir_.string(); }
};

TEST_F(TableFolder, ReadCsvNamesAMissingFile) {
  const auto path = (dir_ / "nowhere.csv").string();
  EXPECT_THAT(ErrorOf<std::runtime_error>([&] { geomkit::read_csv(path); }), HasSubstr(path));
  const auto bad = Write("open.csv", "a,\"b\n");
  EXPECT_THAT(ErrorOf<std::runtime_error>([&] { geomkit::read_csv(bad); }),
              AllOf(HasSubstr(bad), HasSubstr("closing quote")));
}

TEST_F(TableFolder, LookupsReadRowAndColumnOfTheirOwnFile) {
  WriteGrid(geomkit::kLapLengthForTensionFile, 0);
  WriteGrid(geomkit::kAnchorageLengthForTensionFile, 10000);
  WriteGrid(geomkit::kLapLengthForAnchorageFile, 20000);
  // Diameter 12 is position 3: row 4 for good bond, row 16 otherwise.
  EXPECT_EQ(geomkit::lap_length_for_tension(Path(), 12, 4), "4040");
  EXPECT_EQ(geomkit::lap_length_for_tension(Path(), 12.0, 4, "good"), "4040");
  EXPECT_EQ(geomkit::lap_length_for_tension(Path(), 12, 4, "poor"), "16040");
  EXPECT_EQ(geomkit::lap_length_for_tension(Path(), 12, 4, "Good"), "16040");
  EXPECT_EQ(geomkit::anchorage_length_for_tension(Path(), 6, 1), "101010");
  EXPECT_EQ(geomkit::lap_length_for_anchorage(Path(), 40, 14, "poor"), "223140");
}

TEST_F(TableFolder, LookupReadsTheFileAnewEachTime) {
  std::string text(4, '\n');
  Write(geomkit::kLapLengthForTensionFile, text + "12,1,2,3, 60 \n");
  EXPECT_EQ(geomkit::lap_length_for_tension(Path(), 12, 4), "600");
  Write(geomkit::kLapLengthForTensionFile, text + "12,1,2,3,75\n");
  EXPECT_EQ(geomkit::lap_length_for_tension(Path(), 12, 4), "750");
}

TEST_F(TableFolder, LookupErrorsNameFileRowColumnAndContent) {
  const std::string file = (dir_ / geomkit::kLapLengthForTensionFile).string();
  const auto lookup = [&](int grade) { geomkit::lap_length_for_tension(Path(), 12, grade); };

  EXPECT_THAT(ErrorOf<std::runtime_error>([&] { lookup(4); }), HasSubstr(file));

  Write(geomkit::kLapLengthForTensionFile, "h\n1\n2\n");
  EXPECT_THAT(ErrorOf<std::out_of_range>([&] { lookup(4); }),
              AllOf(HasSubstr(file), HasSubstr("row 4"), HasSubstr("3 rows")));

  std::string head(4, '\n');
  Write(geomkit::kLapLengthForTensionFile, head + "12,1,2\n");
  EXPECT_THAT(ErrorOf<std::out_of_range>([&] { lookup(4); }),
              AllOf(HasSubstr(file), HasSubstr("column 4"), HasSubstr("counted from 0")));

  for (const std::string cell : {"", "  ", "\"\""}) {
    Write(geomkit::kLapLengthForTensionFile, head + "12,1,2,3," + cell + ",5\n");
    EXPECT_THAT(
        ErrorOf<std::runtime_error>([&] { lookup(4); }),
        AllOf(HasSubstr(file), HasSubstr("row 4"), HasSubstr("column 4"), HasSubstr("empty")))
        << "cell [" << cell << "]";
  }
  for (const std::string cell : {"4x", "-5", "4.5", "1 2"}) {
    Write(geomkit::kLapLengthForTensionFile, head + "12,1,2,3," + cell + "\n");
    EXPECT_THAT(ErrorOf<std::runtime_error>([&] { lookup(4); }),
                AllOf(HasSubstr(file), HasSubstr("row 4"), HasSubstr("column 4"),
                      HasSubstr("\"" + cell + "\"")));
  }
  // Column 0 holds the row label, not a grade.
  Write(geomkit::kLapLengthForTensionFile, head + "12,1,2,3,4\n");
  EXPECT_THROW(lookup(0), std::out_of_range);
}

TEST_F(TableFolder, LookupRejectsADiameterOutsideTheTables) {
  WriteGrid(geomkit::kLapLengthForTensionFile, 0);
  for (const double d : {18.0, 22.0, 12.5}) {
    EXPECT_THAT(
        ErrorOf<std::invalid_argument>([&] { geomkit::lap_length_for_tension(Path(), d, 4); }),
        AllOf(HasSubstr("6, 8, 10, 12, 14, 16, 20, 25, 28, 32, 40")));
  }
  EXPECT_THAT(
      ErrorOf<std::invalid_argument>([&] { geomkit::anchorage_length_for_tension(Path(), 18, 4); }),
      HasSubstr("diameter 18 mm"));
}

#ifdef __linux__
// The table file is closed again on every path, a failing lookup too.
TEST_F(TableFolder, LookupLeavesNoFileOpen) {
  const auto open_files = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
  };
  std::string head(4, '\n');
  Write(geomkit::kLapLengthForTensionFile, head + "12,1,2,3,x\n");
  const auto before = open_files();
  for (int i = 0; i < 20; ++i) {
    EXPECT_THROW(geomkit::lap_length_for_tension(Path(), 12, 4), std::runtime_error);
    EXPECT_THROW(geomkit::lap_length_for_tension(Path(), 12, 9), std::out_of_range);
  }
  EXPECT_EQ(open_files(), before);
}
#endif

// ---------------------------------------------------------------------------
// Pieces of a wall around an opening. The wall is 0..3000 x 0..200 x
// 0..2800; the window 1000..2000 x 0..200 x 900..2100, the door the same
// from the wall's base.

struct Box {
  double x0, x1, y0, y1, z0, z1;
  double Volume() const { return (x1 - x0) * (y1 - y0) * (z1 - z0); }
};

// Checks that `piece` is a corner list of an axis-parallel box and returns it.
Box AsBox(const PointList& piece) {
  EXPECT_EQ(piece.size(), 8u);
  if (piece.size() != 8) return {};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(piece[i].X(), piece[i + 4].X()) << "corner " << i + 4 << " above " << i;
    EXPECT_EQ(piece[i].Y(), piece[i + 4].Y()) << "corner " << i + 4 << " above " << i;
    EXPECT_EQ(piece[i].Z(), piece[0].Z());
    EXPECT_EQ(piece[i + 4].Z(), piece[4].Z());
  }
  Box b{piece[0].X(), piece[0].X(), piece[0].Y(), piece[0].Y(), piece[0].Z(), piece[4].Z()};
  for (const auto& p : piece) {
    b.x0 = std::min(b.x0, p.X());
    b.x1 = std::max(b.x1, p.X());
    b.y0 = std::min(b.y0, p.Y());
    b.y1 = std::max(b.y1, p.Y());
  }
  EXPECT_LT(b.z0, b.z1) << "bottom face below the top face";
  return b;
}

void ExpectBox(const PointList& piece, const Box& expected) {
  const Box b = AsBox(piece);
  EXPECT_EQ(b.x0, expected.x0);
  EXPECT_EQ(b.x1, expected.x1);
  EXPECT_EQ(b.y0, expected.y0);
  EXPECT_EQ(b.y1, expected.y1);
  EXPECT_EQ(b.z0, expected.z0);
  EXPECT_EQ(b.z1, expected.z1);
}

class WallPieces : public testing::Test {
 protected:
  PointList wall_ = geomkit::get_pnts_fr_3_dimens(3000, 200, 2800, {0, 0, 0});
  PointList window_ = geomkit::get_pnts_fr_3_dimens(1000, 200, 1200, {1000, 0, 900});
  PointList door_ = [this] {
    PointList l = wall_;
    const auto door = geomkit::get_pnts_fr_3_dimens(1000, 200, 2100, {1000, 0, 0});
    l.insert(l.end(), door.begin(), door.end());
    return l;
  }();
};

TEST_F(WallPieces, WindowPiecesAreTheBoxesAroundTheOpening) {
  const auto &W = wall_, &O = window_;
  ExpectBox(geomkit::Window_Hor_points1(W, O), {0, 3000, 0, 200, 0, 900});
  ExpectBox(geomkit::Window_Hor_points2(W, O), {0, 3000, 0, 200, 2100, 2800});
  ExpectBox(geomkit::Window_Hor_points3(W, O), {0, 1000, 0, 200, 900, 2100});
  ExpectBox(geomkit::Window_Hor_points4(W, O), {2000, 3000, 0, 200, 900, 2100});
  ExpectBox(geomkit::Window_Ver_points1(W, O), {0, 1000, 0, 200, 0, 2800});
  ExpectBox(geomkit::Window_Ver_points2(W, O), {2000, 3000, 0, 200, 0, 2800});
  ExpectBox(geomkit::Window_Ver_points3(W, O), {1000, 2000, 0, 200, 2100, 2800});
  ExpectBox(geomkit::Window_Ver_points4(W, O), {1000, 2000, 0, 200, 0, 900});

  // Given corners stay at their listed places.
  const auto above = geomkit::Window_Ver_points3(W, O);
  EXPECT_EQ((PointList{above[0], above[1], above[2], above[3]}),
            (PointList{O[4], O[5], O[6], O[7]}));
  const auto beside = geomkit::Window_Hor_points3(W, O);
  EXPECT_EQ(beside[1], O[0]);
  EXPECT_EQ(beside[6], O[7]);
}

TEST_F(WallPieces, EachWindowCutTilesTheWallAroundTheOpening) {
  // Off-centre window in a wall that does not start at the origin.
  const PointList W = geomkit::get_pnts_fr_3_dimens(4200, 300, 3000, {-500, 40, 100});
  const PointList O = geomkit::get_pnts_fr_3_dimens(800, 300, 1400, {2100, 40, 1000});
  const double rest = AsBox(W).Volume() - AsBox(O).Volume();
  const double hor = AsBox(geomkit::Window_Hor_points1(W, O)).Volume() +
                     AsBox(geomkit::Window_Hor_points2(W, O)).Volume() +
                     AsBox(geomkit::Window_Hor_points3(W, O)).Volume() +
                     AsBox(geomkit::Window_Hor_points4(W, O)).Volume();
  const double ver = AsBox(geomkit::Window_Ver_points1(W, O)).Volume() +
                     AsBox(geomkit::Window_Ver_points2(W, O)).Volume() +
                     AsBox(geomkit::Window_Ver_points3(W, O)).Volume() +
                     AsBox(geomkit::Window_Ver_points4(W, O)).Volume();
  EXPECT_DOUBLE_EQ(hor, rest);
  EXPECT_DOUBLE_EQ(ver, rest);
}

TEST_F(WallPieces, DoorPieces) {
  const auto& L = door_;
  ExpectBox(geomkit::Wall_Door_Hor_points1(L), {2000, 3000, 0, 200, 0, 2100});
  ExpectBox(geomkit::Wall_Door_Hor_points2(L), {0, 1000, 0, 200, 0, 2100});
  ExpectBox(geomkit::Wall_Door_Hor_points3(L), {0, 3000, 0, 200, 2100, 2800});
  ExpectBox(geomkit::Wall_Door_Ver_points1(L), {0, 1000, 0, 200, 0, 2800});
  ExpectBox(geomkit::Wall_Door_Ver_points2(L), {2000, 3000, 0, 200, 0, 2800});
  const double rest = AsBox(wall_).Volume() - 1000 * 200 * 2100;
  EXPECT_DOUBLE_EQ(AsBox(geomkit::Wall_Door_Hor_points1(L)).Volume() +
                       AsBox(geomkit::Wall_Door_Hor_points2(L)).Volume() +
                       AsBox(geomkit::Wall_Door_Hor_points3(L)).Volume(),
                   rest);
}

TEST_F(WallPieces, DoorPieceAboveTheDoorKeepsTheWallsTopCorners) {
  // Bottom face: the door's top face; top corners 5 and 6 are the wall's own
  // corners 5 and 6, the others stand above door corners 12 and 15.
  const auto& L = door_;
  const auto piece = geomkit::Wall_Door_Ver_points3(L);
  EXPECT_EQ(piece, (PointList{L[12], L[13], L[14], L[15], Point3D(1000, 0, 2800), L[5], L[6],
                              Point3D(1000, 200, 2800)}));
  // A door at the wall's end makes it the box above the door.
  PointList at_end = wall_;
  const auto door = geomkit::get_pnts_fr_3_dimens(1000, 200, 2100, {2000, 0, 0});
  at_end.insert(at_end.end(), door.begin(), door.end());
  ExpectBox(geomkit::Wall_Door_Ver_points3(at_end), {2000, 3000, 0, 200, 2100, 2800});
}

TEST_F(WallPieces, ShortListsAreErrors) {
  PointList fifteen = door_;
  fifteen.pop_back();
  EXPECT_THAT(ErrorOf<std::invalid_argument>([&] { geomkit::Wall_Door_Hor_points1(fifteen); }),
              AllOf(HasSubstr("Wall_Door_Hor_points1"), HasSubstr("16"), HasSubstr("15")));
  EXPECT_THROW(geomkit::Wall_Door_Ver_points3(fifteen), std::invalid_argument);
  PointList seven = window_;
  seven.pop_back();
  EXPECT_THROW(geomkit::Window_Hor_points1(wall_, seven), std::invalid_argument);
  EXPECT_THROW(geomkit::Window_Ver_points4(seven, window_), std::invalid_argument);
}

}  // namespace

// A broken invariant is an internal fault naming what broke and where,
// whatever the build; a refusal of input is not.
TEST(Invariant, ABrokenOneIsAnInternalFaultNamingWhatAndWhere) {
  EXPECT_NO_THROW(geomkit::Invariant(true, "holds"));
  const int line = __LINE__ + 2;
  try {
    geomkit::Invariant(1 + 1 == 3, "arithmetic holds");
    ADD_FAILURE() << "a broken invariant passed";
  } catch (const std::logic_error& e) {
    EXPECT_EQ(e.what(),
              "broken invariant: arithmetic holds (geomkit_test.cpp:" + std::to_string(line) + ")");
    EXPECT_TRUE(HostUtil::IsInternalFault(e));
  }
  EXPECT_FALSE(HostUtil::IsInternalFault(std::invalid_argument("a cover of -10 mm")));
  EXPECT_FALSE(HostUtil::IsInternalFault(std::out_of_range("grade position 9")));
  EXPECT_FALSE(HostUtil::IsInternalFault(std::runtime_error("model.json: line 3")));
  EXPECT_TRUE(HostUtil::IsInternalFault(std::bad_alloc()));
}

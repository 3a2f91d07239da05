#include "tables/length_tables.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "common/geomkit.h"

namespace {

using lengthtables::Bond;
using lengthtables::LengthCm;
using lengthtables::Table;
using testing::HasSubstr;

constexpr int kC25 = 4;  // palette grade value of C25/30

TEST(LengthTables, KnownValues) {
  EXPECT_EQ(LengthCm(Table::LapLengthForTension, 12, kC25, Bond::Good), 73);
  EXPECT_EQ(LengthCm(Table::AnchorageLengthForTension, 12, kC25, Bond::Good), 49);
  EXPECT_EQ(LengthCm(Table::LapLengthForAnchorage, 12, kC25, Bond::Good), 49);
  EXPECT_EQ(LengthCm(Table::LapLengthForTension, 25, kC25, Bond::Good), 152);
  EXPECT_EQ(LengthCm(Table::AnchorageLengthForTension, 25, kC25, Bond::Good), 101);
  EXPECT_EQ(LengthCm(Table::LapLengthForAnchorage, 25, kC25, Bond::Good), 101);
  EXPECT_EQ(LengthCm(Table::LapLengthForTension, 32, kC25, Bond::Poor), 277);
  EXPECT_EQ(LengthCm(Table::AnchorageLengthForTension, 32, kC25, Bond::Poor), 185);
  EXPECT_EQ(LengthCm(Table::LapLengthForAnchorage, 32, kC25, Bond::Poor), 185);
  // The logarithmic tensile strength above C50/60, its cap at C60/75, the
  // reduced bond of bars above 32 mm and the weakest grade.
  EXPECT_EQ(LengthCm(Table::AnchorageLengthForTension, 20, 10, Bond::Good), 50);
  EXPECT_EQ(LengthCm(Table::LapLengthForTension, 20, 14, Bond::Good), 72);
  EXPECT_EQ(LengthCm(Table::AnchorageLengthForTension, 40, kC25, Bond::Good), 176);
  EXPECT_EQ(LengthCm(Table::LapLengthForTension, 16, 1, Bond::Good), 159);
  // fbd of C25/30, good bond: 2.25 x 0.7 x 0.30 x 25^(2/3) / 1.5.
  EXPECT_NEAR(lengthtables::BondStrength(12, kC25, Bond::Good), 2.693, 1e-3);
}

TEST(LengthTables, MinimumLengthsAndTheirRounding) {
  // A thin bar in strong concrete is governed by the minimums: an exact
  // 200 mm stays 20 cm.
  for (int grade = 9; grade <= 14; ++grade) {
    EXPECT_EQ(LengthCm(Table::LapLengthForAnchorage, 6, grade, Bond::Good), 20) << grade;
    EXPECT_DOUBLE_EQ(lengthtables::LengthMm(Table::LapLengthForAnchorage, 6, grade, Bond::Good),
                     200.0);
  }
}

TEST(LengthTables, BondStrengthRules) {
  // Grades above C60/75 keep its tensile strength.
  for (int grade = 12; grade <= 14; ++grade) {
    EXPECT_DOUBLE_EQ(lengthtables::BondStrength(20, grade, Bond::Good),
                     lengthtables::BondStrength(20, 11, Bond::Good));
  }
  EXPECT_GT(lengthtables::BondStrength(20, 11, Bond::Good),
            lengthtables::BondStrength(20, 10, Bond::Good));
  // Poor bond: 0.7; bars above 32 mm: (132 - phi) / 100.
  EXPECT_DOUBLE_EQ(lengthtables::BondStrength(20, kC25, Bond::Poor),
                   0.7 * lengthtables::BondStrength(20, kC25, Bond::Good));
  EXPECT_DOUBLE_EQ(lengthtables::BondStrength(40, kC25, Bond::Good),
                   0.92 * lengthtables::BondStrength(32, kC25, Bond::Good));
  EXPECT_THROW(lengthtables::BondStrength(12, 0, Bond::Good), std::out_of_range);
  EXPECT_THROW(lengthtables::BondStrength(12, 15, Bond::Good), std::out_of_range);
  EXPECT_THROW(lengthtables::BondStrength(0, kC25, Bond::Good), std::invalid_argument);
}

TEST(LengthTables, LengthsFallWithGradeAndRiseWithDiameterAndPoorBond) {
  for (const Table table : lengthtables::kTables) {
    for (const Bond bond : {Bond::Good, Bond::Poor}) {
      for (std::size_t i = 0; i < lengthtables::Diameters().size(); ++i) {
        const double d = lengthtables::Diameters()[i];
        for (int grade = 1; grade <= 14; ++grade) {
          const int cm = LengthCm(table, d, grade, bond);
          if (grade > 1) {
            EXPECT_LE(cm, LengthCm(table, d, grade - 1, bond));
          }
          if (i > 0) {
            EXPECT_GE(cm, LengthCm(table, lengthtables::Diameters()[i - 1], grade, bond));
          }
          if (bond == Bond::Poor) {
            EXPECT_GE(cm, LengthCm(table, d, grade, Bond::Good));
          }
          // A lap for tension is never shorter than the anchorage.
          EXPECT_GE(LengthCm(Table::LapLengthForTension, d, grade, bond),
                    LengthCm(Table::AnchorageLengthForTension, d, grade, bond));
        }
      }
    }
  }
}

TEST(LengthTables, CsvLayoutMatchesTheLookup) {
  const auto& diameters = geomkit::diameter_list();
  const auto& grades = geomkit::concr_grade_list();
  EXPECT_EQ(lengthtables::Diameters(), diameters);
  EXPECT_EQ(lengthtables::GradeNames(), grades);
  for (const Table table : lengthtables::kTables) {
    const auto rows = geomkit::parse_csv(lengthtables::TableCsv(table));
    ASSERT_EQ(rows.size(), 24u) << lengthtables::FileName(table);
    for (std::size_t r = 0; r < rows.size(); ++r) {
      ASSERT_EQ(rows[r].size(), 15u) << "row " << r;
    }
    for (const std::size_t heading : {0u, 12u}) {
      for (std::size_t c = 1; c <= 14; ++c) EXPECT_EQ(rows[heading][c], grades[c - 1]);
    }
    for (std::size_t i = 0; i < diameters.size(); ++i) {
      EXPECT_EQ(std::stod(rows[i + 1][0]), diameters[i]);
      EXPECT_EQ(std::stod(rows[i + 13][0]), diameters[i]);
      for (int g = 1; g <= 14; ++g) {
        const auto c = static_cast<std::size_t>(g);
        EXPECT_EQ(rows[i + 1][c], std::to_string(LengthCm(table, diameters[i], g, Bond::Good)));
        EXPECT_EQ(rows[i + 13][c], std::to_string(LengthCm(table, diameters[i], g, Bond::Poor)));
      }
    }
  }
}

class TableFiles : public testing::Test {
 protected:
  std::filesystem::path dir_;
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("length_tables_test_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
};

TEST_F(TableFiles, WrittenTablesAreReadBackByTheTool) {
  const auto folder = dir_ / "tool";
  lengthtables::WriteTables(folder);  // creates the folder
  const std::string path = folder.string();
  EXPECT_EQ(geomkit::lap_length_for_tension(path, 12, kC25), "730");
  EXPECT_EQ(geomkit::anchorage_length_for_tension(path, 25, kC25), "1010");
  EXPECT_EQ(geomkit::lap_length_for_anchorage(path, 32, kC25, "poor"), "1850");
  EXPECT_EQ(geomkit::lap_length_for_tension(path, 32, kC25, "poor"), "2770");

  // Rewriting replaces the files and leaves no temporary file behind.
  lengthtables::WriteTables(folder);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    EXPECT_EQ(entry.path().extension(), ".csv") << entry.path();
    ++files;
  }
  EXPECT_EQ(files, 3);
}

TEST_F(TableFiles, AFolderThatCannotBeMadeIsNamed) {
  std::filesystem::create_directories(dir_);
  const auto blocker = dir_ / "file";
  std::ofstream(blocker) << "not a folder";
  try {
    lengthtables::WriteTables(blocker / "tool");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_THAT(e.what(), HasSubstr((blocker / "tool").string()));
  }
}

}  // namespace

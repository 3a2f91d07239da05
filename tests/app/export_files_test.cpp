// The export set as files other programs read: schedule.xlsx read back from
// its zip, a building's schedule within what spreadsheets and terminals
// take, and every output the same under a decimal-comma locale.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <locale>
#include <map>
#include <regex>
#include <sstream>

#include "app/export/exporter.h"

namespace {

using HostReinf::BarPlacement;
namespace Builder = HostReinf::GeneralReinfShapeBuilder;

HostReinf::BendingShape Link(double width, double height) {
  return Builder::create_stirrup_with_user_hooks(
      {.width = width,
       .height = height,
       .model_angles = HostGeo::RotationAngles(0, 0, 0),
       .shape_props = HostReinf::ReinforcementShapeProperties::rebar(
           8, 4, 4, 4, HostReinf::BendingShapeType::Stirrup),
       .concrete_cover_props = HostReinf::ConcreteCoverProperties::all(30),
       .stirrup_type = HostReinf::StirrupType::Column,
       .hook_length_start = 91,
       .hook_angle_start = 135,
       .hook_length_end = 91,
       .hook_angle_end = 135});
}

HostReinf::BendingShape Straight(double length, double d) {
  return Builder::create_longitudinal_shape_with_hooks(
      length, HostGeo::RotationAngles(0, 270, 0),
      HostReinf::ReinforcementShapeProperties::rebar(d, 4, 4, 4,
                                                     HostReinf::BendingShapeType::LongitudinalBar),
      HostReinf::ConcreteCoverProperties::all(0), -1, -1);
}

// `columns` columns of 300 x 500 at 1 m apart in a row, each with its cage
// of links and four corner bars, and the model they stand in.
pierhost::ExportInput Row(int columns, const std::string& project = "Block A") {
  HostElementAdapter::ElementModel::Builder model("Row");
  pierhost::ExportInput input{nullptr, {}, project, "2024-01-01"};
  for (int k = 0; k < columns; ++k) {
    const double x = 1000.0 * k;
    const std::string id = "C" + std::to_string(k + 1) + "-grid-line-" + std::to_string(k % 7);
    model.AddColumn(id, {{x, 0}, {x + 300, 0}, {x + 300, 500}, {x, 500}}, 0, 3000);
    input.cages.push_back(
        {id,
         {id},
         {BarPlacement::BySpacing(1, Link(300, 500), {x, 0, 0}, {x, 0, 3000}, 30, 30, 175),
          BarPlacement::ByCount(2, Straight(3200, 16), {x + 46, 46, 0}, {x + 254, 46, 0}, 0, 0,
                                2)}});
  }
  input.model = model.Build();
  return input;
}

std::string Output(const pierhost::Exporter& writer, const pierhost::ExportInput& input,
                   const pierhost::Schedule& schedule) {
  std::ostringstream out;
  writer.Write(input, schedule, out);
  return out.str();
}

// ---------------------------------------------------------------------------
// A reader of zip files (stored or deflated members), enough for a workbook.

std::uint32_t Le(const std::string& z, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int k = bytes - 1; k >= 0; --k) {
    v = (v << 8) | static_cast<unsigned char>(z.at(at + static_cast<std::size_t>(k)));
  }
  return v;
}

std::map<std::string, std::string> Unzip(const std::string& z) {
  std::map<std::string, std::string> files;
  // The end of the central directory: its entries' count and offset.
  const std::size_t end = z.rfind(std::string("PK\x05\x06", 4));
  if (end == std::string::npos) throw std::runtime_error("not a zip file");
  const std::uint32_t count = Le(z, end + 10, 2);
  std::size_t at = Le(z, end + 16, 4);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (Le(z, at, 4) != 0x02014b50) throw std::runtime_error("a broken central directory");
    const std::uint32_t method = Le(z, at + 10, 2), packed = Le(z, at + 20, 4),
                        size = Le(z, at + 24, 4), name_length = Le(z, at + 28, 2),
                        extra = Le(z, at + 30, 2), comment = Le(z, at + 32, 2),
                        local = Le(z, at + 42, 4);
    const std::string name = z.substr(at + 46, name_length);
    at += 46 + name_length + extra + comment;
    const std::size_t data = local + 30 + Le(z, local + 26, 2) + Le(z, local + 28, 2);
    std::string content(size, '\0');
    if (method == 0) {
      content = z.substr(data, size);
    } else if (method == 8) {
      z_stream s{};
      if (inflateInit2(&s, -15) != Z_OK) throw std::runtime_error("inflate");
      s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(z.data() + data));
      s.avail_in = packed;
      s.next_out = reinterpret_cast<Bytef*>(content.data());
      s.avail_out = size;
      const int status = inflate(&s, Z_FINISH);
      inflateEnd(&s);
      if (status != Z_STREAM_END) throw std::runtime_error("a member does not inflate: " + name);
    } else {
      throw std::runtime_error("an unknown compression in " + name);
    }
    files[name] = content;
  }
  return files;
}

// The cells of a worksheet by reference ("C8"): its text, and whether it is
// a text cell (not a number).
struct Cell {
  std::string value;
  bool text = false;
};
std::map<std::string, Cell> Cells(const std::string& sheet) {
  std::map<std::string, Cell> cells;
  static const std::regex cell(
      R"re(<c r="([A-Z]+[0-9]+)"[^>]*?(t="(inlineStr|s|str)")?[^>]*>(<is><t[^>]*>([^<]*)</t></is>|<v>([^<]*)</v>))re");
  for (auto it = std::sregex_iterator(sheet.begin(), sheet.end(), cell);
       it != std::sregex_iterator(); ++it) {
    const auto& m = *it;
    cells[m[1]] = m[5].matched ? Cell{m[5], true} : Cell{m[6], m[3].matched};
  }
  return cells;
}

TEST(ScheduleXlsxTest, MarksAndShapeCodesReadBackAsTextAndCountsAsNumbers) {
  const auto input = Row(3);
  const auto schedule = pierhost::BuildSchedule(input);
  const auto files = Unzip(Output(*pierhost::MakeScheduleXlsxWriter(), input, schedule));
  ASSERT_TRUE(files.count("xl/worksheets/sheet1.xml"));
  ASSERT_TRUE(files.count("xl/worksheets/sheet3.xml"));
  const auto cells = Cells(files.at("xl/worksheets/sheet1.xml"));
  // The headings in row 7, then one line per mark of the one group.
  ASSERT_EQ(cells.at("C7").value, "Bar mark");
  for (const auto& [row, mark, code] : {std::tuple{"8", "01", "52"}, std::tuple{"9", "02", "00"}}) {
    const auto& m = cells.at(std::string("C") + row);
    EXPECT_EQ(m.value, mark);
    EXPECT_TRUE(m.text) << "mark " << mark << " is a number";
    const auto& c = cells.at(std::string("I") + row);
    EXPECT_EQ(c.value, code);
    EXPECT_TRUE(c.text) << "shape code " << code << " is a number";
    // Members, bars in each, total, length: numbers.
    for (const char* column : {"E", "F", "G", "H"}) {
      EXPECT_FALSE(cells.at(column + std::string(row)).text) << column << row;
    }
  }
  EXPECT_EQ(cells.at("A8").value, "G1");
  EXPECT_EQ(cells.at("E8").value, "3");  // three members
  // The member table: each cage and its group.
  const auto members = Cells(files.at("xl/worksheets/sheet3.xml"));
  EXPECT_EQ(members.at("A4").value, "C3-grid-line-2");
  EXPECT_EQ(members.at("B4").value, "G1");
  // The same run gives the same bytes.
  EXPECT_EQ(Output(*pierhost::MakeScheduleXlsxWriter(), input, schedule),
            Output(*pierhost::MakeScheduleXlsxWriter(), input, schedule));
}

// ---------------------------------------------------------------------------

TEST(BuildingScheduleTest, TenThousandCagesFitSpreadsheetCellsAndTerminalLines) {
  const auto input = Row(10000);
  const auto schedule = pierhost::BuildSchedule(input);
  const std::string csv = Output(*pierhost::MakeScheduleCsvWriter(), input, schedule);
  // The longest field: split on commas outside quotes.
  std::size_t longest = 0, field = 0, lines = 0;
  bool quoted = false;
  for (const char ch : csv) {
    if (ch == '"') quoted = !quoted;
    if (!quoted && (ch == ',' || ch == '\n')) {
      longest = std::max(longest, field);
      field = 0;
      lines += ch == '\n';
    } else {
      ++field;
    }
  }
  EXPECT_LE(longest, 300u);
  EXPECT_GE(lines, 10000u);  // the member table has every cage
  EXPECT_NE(csv.find("\"C10000-grid-line-3\",\"G1\""), std::string::npos);

  const std::string table = pierhost::ScheduleTable(input, schedule);
  std::istringstream in(table);
  std::string line;
  while (std::getline(in, line)) EXPECT_LE(line.size(), 100u) << line.substr(0, 120);
  EXPECT_NE(table.find("10000 cages"), std::string::npos);

  // The drawing's title block names the group, not ten thousand members.
  const std::string svg = Output(*pierhost::MakeDrawingSvgWriter(), input, schedule);
  EXPECT_EQ(svg.find("C9999-"), std::string::npos);
  EXPECT_NE(svg.find("and 9999 more"), std::string::npos);
}

// ---------------------------------------------------------------------------

// A locale with a decimal comma and grouped thousands: the system's German
// one where it is installed, else one made here.
struct CommaNumbers : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

class LocaleGuard {
 public:
  LocaleGuard() : previous_(std::locale()) {
    try {
      std::locale::global(std::locale("de_DE.UTF-8"));
      system_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    } catch (const std::runtime_error&) {
      std::locale::global(std::locale(std::locale::classic(), new CommaNumbers));
    }
  }
  ~LocaleGuard() {
    std::locale::global(previous_);
    std::setlocale(LC_ALL, "C");
  }
  bool System() const { return system_; }

 private:
  std::locale previous_;
  bool system_ = false;
};

TEST(OutputLocaleTest, EveryOutputIsTheSameUnderADecimalCommaLocale) {
  auto input = Row(2, "Block A");
  // A column turned and far out, so that numbers have decimals and
  // thousands.
  const double c = std::cos(0.5), s = std::sin(0.5);
  HostElementAdapter::ElementModel::Builder model("Turned");
  std::vector<HostGeo::Point2D> corners;
  for (const auto& [x, y] : {std::pair{0.0, 0.0}, {300.0, 0.0}, {300.0, 500.0}, {0.0, 500.0}}) {
    corners.emplace_back(123456.75 + x * c - y * s, 6543.25 + x * s + y * c);
  }
  model.AddColumn("T1", corners, -1250.5, 1749.5);
  input.model = model.Build();
  input.cages = {{"T1",
                  {"T1"},
                  {BarPlacement::BySpacing(1, Link(300, 500), {123456.75, 6543.25, -1250.5},
                                           {123456.75, 6543.25, 1749.5}, 30, 30, 175)}}};
  const auto schedule = pierhost::BuildSchedule(input);

  std::map<std::string, std::string> plain;
  for (const auto& writer : pierhost::AllExporters()) {
    plain[writer->FileName()] = Output(*writer, input, schedule);
  }
  const std::string table = pierhost::ScheduleTable(input, schedule);
  {
    LocaleGuard german;
    std::ostringstream probe;
    probe << 1234.5;
    ASSERT_EQ(probe.str(), "1.234,5") << "the locale does not write decimal commas";
    for (const auto& writer : pierhost::AllExporters()) {
      // (Compared as a whole: a difference in a binary file is not printed.)
      EXPECT_TRUE(Output(*writer, input, schedule) == plain[writer->FileName()])
          << writer->FileName() << " differs" << (german.System() ? " (system locale)" : "");
    }
    EXPECT_EQ(pierhost::ScheduleTable(input, schedule), table);
  }
  // The outputs hold decimals to compare: "-1.251" is a level of the
  // drawing, the centreline in model.json lies beyond 123456 mm.
  EXPECT_NE(plain["drawing.svg"].find("-1.251"), std::string::npos);
  EXPECT_TRUE(std::regex_search(plain["model.json"], std::regex(R"(\[12\d{4}\.\d+, )")));
}

}  // namespace

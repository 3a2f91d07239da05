// bars.abs read back by a reader of its own: records split into blocks and
// fields, the checksum recomputed, the values against the schedule.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "app/export/bvbs.h"
#include "app/export/exporter.h"

namespace {

// One record as a reader sees it: its blocks by their letter, each block's
// fields by their letter (a geometry block's fields in order), and whether
// its checksum holds.
struct ReadRecord {
  std::string kind;                                    // "BF2D"
  std::map<char, std::string> header;                  // j, r, i, p, l, n, e, d, g, s
  std::vector<std::pair<char, std::string>> geometry;  // l, w, l, w, ...
  int checksum = -1;
  bool checksum_holds = false;
};

ReadRecord Read(const std::string& line) {
  ReadRecord r;
  EXPECT_GE(line.size(), 2u);
  EXPECT_EQ(line.substr(line.size() - 2), "\r\n") << "a record ends in CR LF";
  const std::string text = line.substr(0, line.size() - 2);
  // The checksum: 96 less the sum of the codes up to and including the C,
  // modulo 32.
  const std::size_t c = text.rfind("@C");
  EXPECT_NE(c, std::string::npos) << text;
  if (c == std::string::npos) return r;
  int sum = 0;
  for (std::size_t i = 0; i <= c + 1; ++i) sum += static_cast<unsigned char>(text[i]);
  r.checksum = std::stoi(text.substr(c + 2));
  r.checksum_holds = r.checksum == 96 - sum % 32;
  EXPECT_EQ(text.back(), '@');

  // Fields are separated by "@"; a block starts with its capital letter.
  std::vector<std::string> fields;
  std::string field;
  for (std::size_t i = 0; i <= c; ++i) {
    if (text[i] == '@') {
      fields.push_back(field);
      field.clear();
    } else {
      field += text[i];
    }
  }
  char block = 0;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    std::string f = fields[k];
    if (k == 0) {
      r.kind = f;
      continue;
    }
    if (!f.empty() && f[0] >= 'A' && f[0] <= 'Z') {
      block = f[0];
      f.erase(0, 1);
    }
    if (f.empty()) continue;
    if (block == 'H') r.header[f[0]] = f.substr(1);
    if (block == 'G') r.geometry.emplace_back(f[0], f.substr(1));
  }
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    out.push_back(text.substr(at, end == std::string::npos ? end : end + 1 - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out;
}

TEST(BvbsTest, ARecordMatchesTheOneWorkedByHand) {
  // The character codes up to the C sum to 4658; 4658 mod 32 is 18 and
  // 96 - 18 = 78.
  const std::string straight = pierhost::bvbs::Format({.project = "P",
                                                       .drawing = "RC-001",
                                                       .revision = "P01",
                                                       .mark = "02",
                                                       .length = 3200,
                                                       .count = 4,
                                                       .unit_mass = 1.578,
                                                       .diameter = 16,
                                                       .grade = "B500B",
                                                       .mandrel = 0,
                                                       .legs = {{3200, 0}}});
  EXPECT_EQ(straight,
            "BF2D@HjP@rRC-001@iP01@p02@l3200@n4@e1.578@d16@gB500B@s0@v@Gl3200@w0@C78@\r\n");
  EXPECT_TRUE(Read(straight).checksum_holds);

  // A closed link with 135-degree hooks: legs and bends in bending order;
  // its codes sum to 7769, 25 modulo 32, and 96 - 25 = 71.
  const std::string link = pierhost::bvbs::Format(
      {.project = "P",
       .drawing = "RC-001",
       .revision = "P01",
       .mark = "01",
       .length = 1525,
       .count = 3,
       .unit_mass = 0.395,
       .diameter = 8,
       .grade = "B500B",
       .mandrel = 32,
       .legs = {{105, 135}, {240, 90}, {440, 90}, {240, 90}, {440, 135}, {105, 0}}});
  EXPECT_EQ(link,
            "BF2D@HjP@rRC-001@iP01@p01@l1525@n3@e0.395@d8@gB500B@s32@v@"
            "Gl105@w135@l240@w90@l440@w90@l240@w90@l440@w135@l105@w0@C71@\r\n");
}

TEST(BvbsTest, TheChecksumCatchesAChangedCharacterAndFieldsCannotBreakTheRecord) {
  std::string record = pierhost::bvbs::Format({.project = "Block @A\x1b[2J",
                                               .mark = "01",
                                               .length = 1000,
                                               .count = 1,
                                               .legs = {{1000, 0}}});
  // The separator and control characters of a name do not reach the file.
  EXPECT_NE(record.find("@HjBlock A[2J@"), std::string::npos) << record;
  ASSERT_TRUE(Read(record).checksum_holds);
  record[record.find("l1000")] = 'm';
  EXPECT_FALSE(Read(record).checksum_holds);
  // The last leg never bends, whatever the caller says.
  const auto r = Read(pierhost::bvbs::Format({.mark = "1", .legs = {{100, 90}, {200, 90}}}));
  EXPECT_EQ(r.geometry.back(), (std::pair<char, std::string>{'w', "0"}));
}

// A cage of 135-degree links and straight bars written to bars.abs: one
// record per mark, each whole, with the schedule's length and count.
TEST(BvbsTest, TheFileHasOneCheckedRecordPerMarkWithTheSchedulesValues) {
  namespace Builder = HostReinf::GeneralReinfShapeBuilder;
  const auto link = Builder::create_stirrup_with_user_hooks(
      {.width = 300,
       .height = 500,
       .model_angles = HostGeo::RotationAngles(0, 0, 0),
       .shape_props = HostReinf::ReinforcementShapeProperties::rebar(
           8, 4, 4, 4, HostReinf::BendingShapeType::Stirrup),
       .concrete_cover_props = HostReinf::ConcreteCoverProperties::all(30),
       .stirrup_type = HostReinf::StirrupType::Column,
       .hook_length_start = 91,
       .hook_angle_start = 135,
       .hook_length_end = 91,
       .hook_angle_end = 135});
  const auto bar = Builder::create_longitudinal_shape_with_hooks(
      3200, HostGeo::RotationAngles(0, 270, 0),
      HostReinf::ReinforcementShapeProperties::rebar(16, 4, 4, 4,
                                                     HostReinf::BendingShapeType::LongitudinalBar),
      HostReinf::ConcreteCoverProperties::all(0), -1, -1);
  using HostReinf::BarPlacement;
  pierhost::ExportInput input{
      nullptr,
      {{"C1",
        {},
        {BarPlacement::ByCount(1, link, {0, 0, 0}, {0, 0, 3000}, 30, 30, 12),
         BarPlacement::ByCount(2, bar, {46, 46, 0}, {254, 46, 0}, 0, 0, 2)}},
       {"C2", {}, {BarPlacement::ByCount(1, link, {0, 0, 0}, {0, 0, 3000}, 30, 30, 10)}}},
      "Block A",
      "2024-01-01"};
  const auto schedule = pierhost::BuildSchedule(input);
  std::ostringstream out;
  pierhost::MakeBvbsWriter()->Write(input, schedule, out);
  const auto lines = Lines(out.str());
  ASSERT_EQ(lines.size(), schedule.marks.size());
  for (std::size_t m = 0; m < lines.size(); ++m) {
    const ReadRecord r = Read(lines[m]);
    const auto& mark = schedule.marks[m];
    EXPECT_TRUE(r.checksum_holds) << lines[m];
    EXPECT_EQ(r.kind, "BF2D");
    EXPECT_EQ(r.header.at('p'), mark.mark);
    EXPECT_EQ(r.header.at('j'), "Block A");
    EXPECT_EQ(std::stod(r.header.at('l')), mark.scheduled_length);
    EXPECT_EQ(std::stod(r.header.at('d')), mark.shape.diameter);
    if (mark.shape.code == "52") {
      EXPECT_EQ(r.header.at('n'), "22");  // 12 + 10 links
      EXPECT_EQ(r.header.at('s'), "32");  // 4d mandrel
      // C, A, B, A, B, D with the two hooks' bends of 135 degrees.
      std::vector<std::string> legs, bends;
      for (const auto& [key, value] : r.geometry) (key == 'l' ? legs : bends).push_back(value);
      EXPECT_EQ(legs, (std::vector<std::string>{"115", "240", "440", "240", "440", "115"}));
      EXPECT_EQ(bends, (std::vector<std::string>{"135", "90", "90", "90", "135", "0"}));
    } else {
      EXPECT_EQ(r.header.at('n'), "2");
      EXPECT_EQ(r.geometry, (std::vector<std::pair<char, std::string>>{{'l', "3200"}, {'w', "0"}}));
    }
  }
}

}  // namespace

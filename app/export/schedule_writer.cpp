// schedule.csv and the schedule as a table for the terminal: a header
// naming the project, the drawing, the members and the date; the bar lines
// of each group of cages; the total length and mass per diameter and the
// grand total; the notes; the member table (app/export/schedule_rows.h).
//
// The CSV file follows RFC 4180: CRLF line ends, every row with the same
// number of fields, a field quoted when it holds a comma, a quote or a line
// break, quotes inside doubled. Marks, shape codes and names are always
// quoted, so that a spreadsheet told to take quoted fields as text keeps
// "01" and "00" as they are. A cell a spreadsheet would take for a formula
// (an id such as "=cmd|' /C calc'!A0") starts with an apostrophe, which
// spreadsheets show as text. Lengths are whole mm (scheduled lengths are
// multiples of 5 mm), total lengths in m with two decimals, masses in kg
// with two decimals, unit masses with three.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

#include "app/export/exporter.h"
#include "app/export/schedule_rows.h"
#include "app/export/text.h"

namespace pierhost {

std::string Dimension(double mm) { return mm == 0 ? std::string() : Fixed(mm, 0); }

namespace {

std::string Cell(const std::string& text) {
  const std::string cut = FirstCharacters(text, kMaxCellCharacters);
  return cut.size() < text.size() ? cut + "..." : cut;
}

}  // namespace

ScheduleRows MakeScheduleRows(const ExportInput& input, const Schedule& schedule) {
  ScheduleRows rows;
  const auto groups = CageGroups(input, schedule);
  std::string members =
      Integer(input.cages.size()) + (input.cages.size() == 1 ? " cage" : " cages");
  if (input.cages.size() == 1) members = Cell(input.cages.front().name);
  if (groups.size() > 1)
    members += " in " + Integer(groups.size()) + " groups (member table below)";
  rows.header = {{"Project", Cell(input.project)},
                 {"Drawing", Cell(input.drawing_number) + " revision " + Cell(input.revision)},
                 {"Members", members},
                 {"Date", input.date}};

  rows.bars.rows.push_back({"Group", "Members", "Bar mark", "Type and size", "Number of members",
                            "Number of bars in each", "Total number", "Length of each bar (mm)",
                            "Shape code", "A", "B", "C", "D", "E/R"});
  rows.bars.text = {true,  true, true,  true,  false, false, false,
                    false, true, false, false, false, false, false};
  std::vector<std::vector<const ScheduleLine*>> lines_of(input.cages.size());
  {
    std::map<std::string, std::size_t> index_of;
    for (std::size_t c = 0; c < input.cages.size(); ++c) index_of.emplace(input.cages[c].name, c);
    for (const auto& line : schedule.lines) {
      if (auto it = index_of.find(line.member); it != index_of.end()) {
        lines_of[it->second].push_back(&line);
      }
    }
  }
  for (const auto& group : groups) {
    const std::size_t n = group.cages.size();
    for (const ScheduleLine* line : lines_of[group.cages.front()]) {
      const MarkEntry& m = schedule.marks[line->mark];
      rows.bars.rows.push_back({group.name, group.members, m.mark, TypeAndSize(m.shape.diameter),
                                Integer(n), Integer(line->count), Integer(n * line->count),
                                Fixed(m.scheduled_length, 0), m.shape.code, Dimension(m.shape.A),
                                Dimension(m.shape.B), Dimension(m.shape.C), Dimension(m.shape.D),
                                Dimension(m.shape.E)});
    }
  }

  rows.totals.rows.push_back(
      {"Type and size", "Total length (m)", "Unit mass (kg/m)", "Mass (kg)"});
  rows.totals.text = {true, false, false, false};
  for (const auto& t : schedule.totals) {
    rows.totals.rows.push_back({TypeAndSize(t.diameter), Fixed(t.length_m, 2),
                                Fixed(UnitMass(t.diameter), 3), Fixed(t.mass_kg, 2)});
  }
  rows.totals.rows.push_back({"Total", "", "", Fixed(schedule.total_mass_kg, 2)});

  rows.members.rows.push_back({"Member", "Group", "Columns"});
  rows.members.text = {true, true, true};
  std::vector<std::string> group_of(input.cages.size());
  for (const auto& group : groups) {
    for (const std::size_t c : group.cages) group_of[c] = group.name;
  }
  for (std::size_t c = 0; c < input.cages.size(); ++c) {
    std::string columns;
    for (const auto& id : input.cages[c].column_ids) columns += (columns.empty() ? "" : ", ") + id;
    rows.members.rows.push_back({Cell(input.cages[c].name), group_of[c], Cell(columns)});
  }

  // Shapes without a standard code are drawn with their dimensions on the
  // drawing; then the schedule's own findings.
  for (const auto& m : schedule.marks) {
    if (m.shape.code == "99") {
      rows.notes.push_back(
          "mark " + m.mark + ": shape code 99, " +
          (m.shape.sketch.empty() ? std::string("see its sketch") : m.shape.sketch) +
          "; sketched with its dimensions on the drawing");
    }
  }
  for (const auto& n : schedule.notes) rows.notes.push_back(n);
  return rows;
}

namespace {

std::string CsvField(const std::string& cell, bool text) {
  const std::string value = LooksLikeFormula(cell) ? "'" + cell : cell;
  if (!text && value.find_first_of(",\"\r\n") == std::string::npos) return value;
  if (value.empty()) return value;
  std::string out = "\"";
  for (char ch : value) {
    if (ch == '"') out += '"';
    out += ch;
  }
  return out + '"';
}

class ScheduleCsvWriter : public Exporter {
 public:
  std::string FileName() const override { return "schedule.csv"; }

  void Write(const ExportInput& input, const Schedule& schedule, std::ostream& out) const override {
    const ScheduleRows rows = MakeScheduleRows(input, schedule);
    const std::size_t width = rows.bars.rows.front().size();
    auto row = [&](std::vector<std::string> cells, const std::vector<bool>& text) {
      cells.resize(width);
      std::string line;
      for (std::size_t i = 0; i < cells.size(); ++i) {
        line += (i ? "," : "") + CsvField(cells[i], i < text.size() && text[i]);
      }
      out << line << "\r\n";
    };
    const std::vector<bool> key_value{false, true};
    row({"Bar schedule"}, {});
    for (const auto& [key, value] : rows.header) row({key, value}, key_value);
    for (const auto* table : {&rows.bars, &rows.totals}) {
      row({}, {});
      for (const auto& r : table->rows) row(r, table->text);
    }
    if (!rows.notes.empty()) {
      row({}, {});
      row({"Notes"}, {});
      for (const auto& n : rows.notes) row({n}, {true});
    }
    row({}, {});
    row({"Member table"}, {});
    for (const auto& r : rows.members.rows) row(r, rows.members.text);
  }
};

// Pads the cells of each column to one width. Columns of numbers are set to
// the right, their headings too; the others to the left.
void Table(std::ostringstream& out, const ScheduleRows::Table& table) {
  std::vector<std::size_t> widths;
  for (const auto& row : table.rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (std::size_t k = 0; k < table.rows.size(); ++k) {
    std::string line;
    for (std::size_t i = 0; i < table.rows[k].size(); ++i) {
      const std::string& cell = table.rows[k][i];
      const std::string pad(widths[i] - cell.size(), ' ');
      const bool right = i < table.text.size() && !table.text[i];
      line += (i ? "  " : "") + (right ? pad + cell : cell + pad);
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << '\n';
    if (k == 0) {
      std::size_t total = 0;
      for (std::size_t w : widths) total += w;
      out << std::string(total + 2 * (widths.size() - 1), '-') << '\n';
    }
  }
}

// A terminal's lines hold this many characters at most.
constexpr std::size_t kTerminalWidth = 100;

std::string Short(const std::string& text, std::size_t chars) {
  const std::string cut = FirstCharacters(text, chars);
  return cut.size() < text.size() ? cut + "..." : cut;
}

}  // namespace

std::unique_ptr<Exporter> MakeScheduleCsvWriter() { return std::make_unique<ScheduleCsvWriter>(); }

std::string ScheduleTable(const ExportInput& input, const Schedule& schedule) {
  ScheduleRows rows = MakeScheduleRows(input, schedule);
  // What a terminal would take for its own controls is shown escaped, and
  // every line fits the terminal: the members column is left out (the
  // group names them), long values are cut.
  for (auto* table : {&rows.bars, &rows.totals}) {
    for (auto& row : table->rows) {
      for (auto& cell : row) cell = Short(EscapeControls(cell), 24);
    }
  }
  for (auto& row : rows.bars.rows) row.erase(row.begin() + 1);
  rows.bars.text.erase(rows.bars.text.begin() + 1);
  rows.bars.rows.front() = {"Group", "Mark", "Size", "Mbrs", "Each", "Total", "Length",
                            "Shape", "A",    "B",    "C",    "D",    "E/R"};
  rows.totals.rows.front() = {"Size", "Length (m)", "kg/m", "Mass (kg)"};
  std::ostringstream out;
  out << "Bar schedule\n";
  for (const auto& [key, value] : rows.header) {
    out << Short(key + ": " + EscapeControls(value), kTerminalWidth) << '\n';
  }
  out << "Lengths and dimensions in mm\n\n";
  Table(out, rows.bars);
  out << '\n';
  Table(out, rows.totals);
  if (!rows.notes.empty()) {
    out << "\nNotes:\n";
    for (const auto& n : rows.notes)
      out << "  " << Short(EscapeControls(n), kTerminalWidth - 2) << '\n';
  }
  // The groups' members, when the groups are few; a building's are in the
  // member table of schedule.csv.
  const auto groups = CageGroups(input, schedule);
  if (groups.size() > 1 && groups.size() <= 20) {
    out << "\nGroups:\n";
    for (const auto& g : groups) {
      out << "  " << Short(g.name + ": " + EscapeControls(g.members), kTerminalWidth - 2) << '\n';
    }
  }
  return out.str();
}

}  // namespace pierhost

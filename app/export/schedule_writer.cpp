// schedule.csv and the schedule as a table for the terminal: a header
// naming the project, the members and the date; one line per bar mark and
// member; the total length and mass per diameter and the grand total; the
// notes. Cages with identical lines share them as several members.
//
// The CSV file follows RFC 4180: CRLF line ends, every row with the same
// number of fields, a field quoted when it holds a comma, a quote or a line
// break, quotes inside doubled. A cell a spreadsheet would take for a formula
// (an id such as "=cmd|' /C calc'!A0") starts with an apostrophe, which
// spreadsheets show as text. Lengths are whole mm (scheduled lengths are
// multiples of 5 mm), total lengths in m with two decimals, masses in kg
// with two decimals, unit masses with three.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

#include "app/export/exporter.h"
#include "app/export/text.h"

namespace pierhost {

namespace {

std::string Fixed(double v, int decimals) {
  std::ostringstream s;
  s.setf(std::ios::fixed);
  s.precision(decimals);
  s << v;
  const std::string text = s.str();
  // A value that rounds to zero is written without its sign.
  return text.find_first_not_of("-0.") == std::string::npos && text[0] == '-' ? text.substr(1)
                                                                              : text;
}

// A scheduled dimension: whole mm, empty when the shape does not use it.
std::string Dimension(double mm) { return mm == 0 ? std::string() : Fixed(mm, 0); }

// The rows of the schedule, as text cells; the CSV and the terminal table
// lay out the same rows.
struct Rows {
  std::vector<std::pair<std::string, std::string>> header;  // project, members, date
  std::vector<std::vector<std::string>> bars;               // first row: the headings
  std::vector<std::vector<std::string>> totals;             // first row: the headings
  std::vector<std::string> notes;
};

std::string MemberNames(const ExportInput& input, const std::vector<std::size_t>& cages) {
  std::string names;
  for (std::size_t c : cages) names += (names.empty() ? "" : ", ") + input.cages[c].name;
  return names;
}

Rows MakeRows(const ExportInput& input, const Schedule& schedule) {
  Rows rows;
  std::vector<std::size_t> all(input.cages.size());
  for (std::size_t c = 0; c < all.size(); ++c) all[c] = c;
  rows.header = {
      {"Project", input.project}, {"Members", MemberNames(input, all)}, {"Date", input.date}};

  rows.bars.push_back({"Member", "Bar mark", "Type and size", "Number of members",
                       "Number of bars in each", "Total number", "Length of each bar (mm)",
                       "Shape code", "A", "B", "C", "D", "E/R"});
  for (const auto& group : IdenticalCages(input, schedule)) {
    const std::string& first = input.cages[group.front()].name;
    for (const auto& line : schedule.lines) {
      if (line.member != first) continue;
      const MarkEntry& m = schedule.marks[line.mark];
      const std::size_t members = group.size();
      rows.bars.push_back({MemberNames(input, group), m.mark, TypeAndSize(m.shape.diameter),
                           std::to_string(members), std::to_string(line.count),
                           std::to_string(members * line.count), Fixed(m.scheduled_length, 0),
                           m.shape.code, Dimension(m.shape.A), Dimension(m.shape.B),
                           Dimension(m.shape.C), Dimension(m.shape.D), Dimension(m.shape.E)});
    }
  }

  rows.totals.push_back({"Type and size", "Total length (m)", "Unit mass (kg/m)", "Mass (kg)"});
  for (const auto& t : schedule.totals) {
    rows.totals.push_back({TypeAndSize(t.diameter), Fixed(t.length_m, 2),
                           Fixed(UnitMass(t.diameter), 3), Fixed(t.mass_kg, 2)});
  }
  rows.totals.push_back({"Total", "", "", Fixed(schedule.total_mass_kg, 2)});

  // Shapes without a standard code are described, so that the bender can
  // sketch them; then the schedule's own findings.
  for (const auto& m : schedule.marks) {
    if (m.shape.code == "99" && !m.shape.sketch.empty()) {
      std::string dims =
          m.shape.C > 0 ? " (A, B outside dimensions; C, D hook legs)" : " (A: length)";
      rows.notes.push_back("mark " + m.mark + ": shape code 99, " + m.shape.sketch + dims);
    }
  }
  for (const auto& n : schedule.notes) rows.notes.push_back(n);
  return rows;
}

std::string CsvField(const std::string& cell) {
  const std::string text = LooksLikeFormula(cell) ? "'" + cell : cell;
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char ch : text) {
    if (ch == '"') out += '"';
    out += ch;
  }
  return out + '"';
}

class ScheduleCsvWriter : public Exporter {
 public:
  std::string FileName() const override { return "schedule.csv"; }

  void Write(const ExportInput& input, const Schedule& schedule, std::ostream& out) const override {
    const Rows rows = MakeRows(input, schedule);
    const std::size_t width = rows.bars.front().size();
    auto row = [&](std::vector<std::string> cells) {
      cells.resize(width);
      for (std::size_t i = 0; i < cells.size(); ++i) out << (i ? "," : "") << CsvField(cells[i]);
      out << "\r\n";
    };
    row({"Bar schedule"});
    for (const auto& [key, value] : rows.header) row({key, value});
    row({});
    for (const auto& r : rows.bars) row(r);
    row({});
    for (const auto& r : rows.totals) row(r);
    if (!rows.notes.empty()) {
      row({});
      row({"Notes"});
      for (const auto& n : rows.notes) row({n});
    }
  }
};

// Pads the cells of each column to one width. Columns of numbers (every
// filled cell below the headings starts with a digit) are set to the right,
// their headings too; the others to the left.
void Table(std::ostringstream& out, const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  std::vector<bool> numeric;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    widths.resize(std::max(widths.size(), rows[k].size()), 0);
    numeric.resize(widths.size(), true);
    for (std::size_t i = 0; i < rows[k].size(); ++i) {
      const std::string& cell = rows[k][i];
      widths[i] = std::max(widths[i], cell.size());
      if (k > 0 && !cell.empty() && std::isdigit(static_cast<unsigned char>(cell[0])) == 0)
        numeric[i] = false;
    }
  }
  for (std::size_t k = 0; k < rows.size(); ++k) {
    std::string line;
    for (std::size_t i = 0; i < rows[k].size(); ++i) {
      const std::string& cell = rows[k][i];
      const std::string pad(widths[i] - cell.size(), ' ');
      line += (i ? "  " : "") + (numeric[i] ? pad + cell : cell + pad);
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

}  // namespace

std::unique_ptr<Exporter> MakeScheduleCsvWriter() { return std::make_unique<ScheduleCsvWriter>(); }

std::string ScheduleTable(const ExportInput& input, const Schedule& schedule) {
  Rows rows = MakeRows(input, schedule);
  // What a terminal would take for its own controls is shown escaped.
  for (auto* table : {&rows.bars, &rows.totals}) {
    for (auto& row : *table) {
      for (auto& cell : row) cell = EscapeControls(cell);
    }
  }
  for (auto& [key, value] : rows.header) value = EscapeControls(value);
  for (auto& note : rows.notes) note = EscapeControls(note);
  // Short headings, so that the table fits a terminal.
  rows.bars.front() = {"Member", "Mark", "Size", "Mbrs", "Each", "Total", "Length",
                       "Shape",  "A",    "B",    "C",    "D",    "E/R"};
  rows.totals.front() = {"Size", "Length (m)", "kg/m", "Mass (kg)"};
  std::ostringstream out;
  out << "Bar schedule\n";
  for (const auto& [key, value] : rows.header) out << key << ": " << value << '\n';
  out << "Lengths and dimensions in mm\n\n";
  Table(out, rows.bars);
  out << '\n';
  Table(out, rows.totals);
  if (!rows.notes.empty()) {
    out << "\nNotes:\n";
    for (const auto& n : rows.notes) out << "  " << n << '\n';
  }
  return out.str();
}

}  // namespace pierhost

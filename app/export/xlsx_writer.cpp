// schedule.xlsx: the schedule as a workbook, with libxlsxwriter. Three
// sheets: "Schedule" (the header, the bar lines per group and the notes),
// "Totals" (length and mass per diameter) and "Members" (each cage and its
// group). Marks, shape codes and names are text cells, so that "01" and
// "00" stay as they are; counts, lengths and masses are numbers.
#include <unistd.h>
#include <xlsxwriter.h>

#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "app/export/exporter.h"
#include "app/export/schedule_rows.h"
#include "app/export/text.h"

namespace pierhost {

namespace {

// libxlsxwriter writes a file of its own; the workbook is made in a
// temporary file that is then copied into the output and removed.
class TemporaryFile {
 public:
  TemporaryFile() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "pierhost-xlsx-XXXXXX").string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("schedule.xlsx: no temporary file could be made");
    close(fd);
    path_ = pattern;
  }
  ~TemporaryFile() { std::remove(path_.c_str()); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The input's date ("2024-01-01") at midnight UTC; the same run then gives
// the same bytes. A date that does not read so is 1 January 1980, the
// earliest a zip file holds.
std::time_t DocumentTime(const std::string& date) {
  std::tm tm{};
  tm.tm_year = 80;
  tm.tm_mday = 1;
  int y = 0, m = 0, d = 0;
  if (date.size() >= 10 && std::sscanf(date.c_str(), "%4d-%2d-%2d", &y, &m, &d) == 3 && y >= 1980 &&
      m >= 1 && m <= 12 && d >= 1 && d <= 31) {
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
  }
  return timegm(&tm);
}

void Check(lxw_error error, const char* what) {
  if (error != LXW_NO_ERROR) {
    throw std::runtime_error(std::string("schedule.xlsx: ") + what + ": " + lxw_strerror(error));
  }
}

// Writes a table from `first_row`: text columns as text, the others as
// numbers where the cell holds one.
lxw_row_t WriteTable(lxw_worksheet* sheet, lxw_row_t first_row, const ScheduleRows::Table& table,
                     lxw_format* bold) {
  lxw_row_t r = first_row;
  for (std::size_t k = 0; k < table.rows.size(); ++k, ++r) {
    const auto& row = table.rows[k];
    for (std::size_t i = 0; i < row.size(); ++i) {
      const auto col = static_cast<lxw_col_t>(i);
      const std::string& cell = row[i];
      if (cell.empty()) continue;
      double number = 0;
      const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), number);
      const bool is_number = k > 0 && !(i < table.text.size() && table.text[i]) &&
                             ec == std::errc() && end == cell.data() + cell.size();
      if (is_number) {
        Check(worksheet_write_number(sheet, r, col, number, nullptr), "a number");
      } else {
        Check(worksheet_write_string(sheet, r, col, cell.c_str(), k == 0 ? bold : nullptr),
              "a text");
      }
    }
  }
  return r;
}

class ScheduleXlsxWriter : public Exporter {
 public:
  std::string FileName() const override { return "schedule.xlsx"; }

  void Write(const ExportInput& input, const Schedule& schedule, std::ostream& out) const override {
    const ScheduleRows rows = MakeScheduleRows(input, schedule);
    TemporaryFile file;
    // The library writes its numbers with printf: a decimal comma of the
    // process's locale must not reach the file.
    const ClassicNumbersInThisThread classic_numbers;
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;  // rows go to disk as they are written
    lxw_workbook* book = workbook_new_opt(file.Path().c_str(), &options);
    if (!book) throw std::runtime_error("schedule.xlsx: the workbook could not be made");
    lxw_doc_properties properties{};
    std::string name = "Bar schedule";
    properties.title = name.data();
    properties.created = DocumentTime(input.date);
    Check(workbook_set_properties(book, &properties), "the properties");
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format* title = workbook_add_format(book);
    format_set_bold(title);
    format_set_font_size(title, 14);

    lxw_worksheet* main = workbook_add_worksheet(book, "Schedule");
    Check(worksheet_write_string(main, 0, 0, "Bar schedule", title), "the title");
    lxw_row_t r = 1;
    for (const auto& [key, value] : rows.header) {
      Check(worksheet_write_string(main, r, 0, key.c_str(), bold), "the header");
      Check(worksheet_write_string(main, r, 1, value.c_str(), nullptr), "the header");
      ++r;
    }
    r = WriteTable(main, r + 1, rows.bars, bold);
    if (!rows.notes.empty()) {
      ++r;
      Check(worksheet_write_string(main, r++, 0, "Notes", bold), "the notes");
      for (const auto& note : rows.notes) {
        Check(worksheet_write_string(main, r++, 0, note.c_str(), nullptr), "a note");
      }
    }
    WriteTable(workbook_add_worksheet(book, "Totals"), 0, rows.totals, bold);
    WriteTable(workbook_add_worksheet(book, "Members"), 0, rows.members, bold);
    Check(workbook_close(book), "writing the workbook");

    std::ifstream in(file.Path(), std::ios::binary);
    out << in.rdbuf();
    if (!in) throw std::runtime_error("schedule.xlsx: the workbook could not be read back");
  }
};

}  // namespace

std::unique_ptr<Exporter> MakeScheduleXlsxWriter() {
  return std::make_unique<ScheduleXlsxWriter>();
}

}  // namespace pierhost

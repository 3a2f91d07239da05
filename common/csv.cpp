// The small CSV reader of the length tables: comma separator, double-quote
// quoting, rows of text cells.
//
// Every line is a row, an empty line too (as a row without cells), so row k
// of the result is line k of the file and a message naming a row points at
// the line a user sees. A line break inside a quoted cell belongs to the
// cell. "\r\n" ends a row like "\n". A quote inside an unquoted cell is kept
// as an ordinary character; a quoted cell left open at the end of the text is
// an error, since the rest of the file would silently become one cell.
#include <cstdio>
#include <stdexcept>

#include "common/geomkit.h"

namespace geomkit {

namespace {

// Walks the text cell by cell. `on_cell(row, column, cell)` sees each cell
// (the buffer is reused, copy what you keep); `on_row_end(row, cells)` ends
// each row. Either may return false to stop early.
template <typename OnCell, typename OnRowEnd>
void Scan(const std::string& text, OnCell&& on_cell, OnRowEnd&& on_row_end) {
  std::string cell;
  std::size_t row = 0, column = 0;
  bool in_quotes = false;
  bool row_has_content = false;  // a separator or a character has been seen in this row
  std::size_t line = 0;          // 0-based line of the current character
  std::size_t quote_line = 0;    // where the open quoted cell began

  const auto end_cell = [&] {
    const bool go_on = on_cell(row, column, cell);
    cell.clear();
    ++column;
    return go_on;
  };
  const auto end_row = [&] {
    if (row_has_content && !end_cell()) return false;
    const bool go_on = on_row_end(row, column);
    ++row;
    column = 0;
    row_has_content = false;
    return go_on;
  };

  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_quotes) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          cell += '"';
          ++i;
        } else {
          in_quotes = false;
        }
      } else {
        if (c == '\n') ++line;
        cell += c;
      }
      continue;
    }
    switch (c) {
      case ',':
        row_has_content = true;
        if (!end_cell()) return;
        break;
      case '\r':
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        if (!end_row()) return;
        ++line;
        break;
      case '\n':
        if (!end_row()) return;
        ++line;
        break;
      case '"':
        // Only a quote that opens a cell starts quoting.
        if (cell.empty()) {
          in_quotes = true;
          quote_line = line;
        } else {
          cell += c;
        }
        row_has_content = true;
        break;
      default:
        cell += c;
        row_has_content = true;
        break;
    }
  }
  if (in_quotes) {
    throw std::runtime_error("a quoted cell that begins on row " + std::to_string(quote_line) +
                             " (counted from 0) has no closing quote");
  }
  // Text after the last line break is a row of its own.
  if (row_has_content) end_row();
}

}  // namespace

std::vector<std::vector<std::string>> parse_csv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  Scan(
      text,
      [&](std::size_t, std::size_t, const std::string& cell) {
        row.push_back(cell);
        return true;
      },
      [&](std::size_t, std::size_t) {
        rows.push_back(std::move(row));
        row.clear();
        return true;
      });
  return rows;
}

CsvCell find_csv_cell(const std::string& text, std::size_t row, std::size_t column) {
  CsvCell out;
  Scan(
      text,
      [&](std::size_t r, std::size_t c, const std::string& cell) {
        if (r == row && c == column) {
          out.found = true;
          out.text = cell;
        }
        return true;
      },
      [&](std::size_t r, std::size_t cells) {
        out.rows = r + 1;
        if (r == row) {
          out.cells_in_row = cells;
          return false;  // nothing after the row is needed
        }
        return true;
      });
  return out;
}

std::string read_text_file(const std::string& path) {
  std::string text;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    throw std::runtime_error("cannot open the table file \"" + path +
                             "\": it is missing or not readable");
  }
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);  // closed on every path, before anything is parsed
  if (failed) throw std::runtime_error("cannot read the table file \"" + path + "\"");
  // A byte-order mark written by some editors is not part of the first cell.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  return text;
}

std::vector<std::vector<std::string>> read_csv(const std::string& path) {
  const std::string text = read_text_file(path);
  try {
    return parse_csv(text);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error("table file \"" + path + "\": " + e.what());
  }
}

}  // namespace geomkit

// The small CSV reader of the length tables: comma separator, double-quote
// quoting, rows of text cells.
//
// Every line is a row, an empty line too (as a row without cells), so row k
// of the result is line k of the file and a message naming a row points at
// the line a user sees. A line break inside a quoted cell belongs to the
// cell. "\r\n" ends a row like "\n". A quote inside an unquoted cell is kept
// as an ordinary character; a quoted cell left open at the end of the text is
// an error, since the rest of the file would silently become one cell.
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/geomkit.h"

namespace geomkit {

std::vector<std::vector<std::string>> parse_csv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string cell;
  bool in_quotes = false;
  bool row_has_content = false;  // a separator or a character has been seen in this row
  std::size_t line = 0;          // 0-based line of the current character
  std::size_t quote_line = 0;    // where the open quoted cell began

  const auto end_row = [&] {
    if (row_has_content) {
      row.push_back(std::move(cell));
    }
    rows.push_back(std::move(row));
    row.clear();
    cell.clear();
    row_has_content = false;
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
        row.push_back(std::move(cell));
        cell.clear();
        row_has_content = true;
        break;
      case '\r':
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        end_row();
        ++line;
        break;
      case '\n':
        end_row();
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
  return rows;
}

std::vector<std::vector<std::string>> read_csv(const std::string& path) {
  std::string text;
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      throw std::runtime_error("cannot open the table file \"" + path +
                               "\": it is missing or not readable");
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
      throw std::runtime_error("cannot read the table file \"" + path + "\"");
    }
    text = std::move(buffer).str();
  }  // the file is closed here, before parsing, on every path
  // A byte-order mark written by some editors is not part of the first cell.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  try {
    return parse_csv(text);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error("table file \"" + path + "\": " + e.what());
  }
}

}  // namespace geomkit

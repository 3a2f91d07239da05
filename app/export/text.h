// Text and numbers as the outputs write them.
//
// Numbers: every writer formats through the functions below, which use
// std::to_chars and so never depend on the locale of the process (a host
// program running in a decimal-comma locale still writes "12.5", and no
// digit grouping).
//
// Text from the model (element ids, names) as each output can hold it. Ids
// are the user's own and may hold anything JSON can: control characters,
// escape sequences, text a spreadsheet takes for a formula, 100,000
// characters. Each output keeps the id whole where it can and shows what
// it cannot hold as a visible escape.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

namespace pierhost {

// `value` with exactly `decimals` digits after the point ("12.50", "3"),
// never "-0" or "-0.00". A value that is not finite is an error.
std::string Fixed(double value, int decimals);
// The shortest text that reads back as `value` ("12.5", "0.001", "1e+20").
std::string Shortest(double value);
// `value` rounded to `decimals` digits after the point, without trailing
// zeros ("124.71", "34", "0.5"); never "-0".
std::string Rounded(double value, int decimals);
// A whole number ("1234").
std::string Integer(long long value);
template <typename T>
requires std::is_integral_v<T> std::string Integer(T value) {
  return Integer(static_cast<long long>(value));
}

// While it lives, the calling thread formats numbers as the "C" locale
// does, whatever the process's locale: for the libraries that write numbers
// with printf (the workbook's, the PDF's). Other threads are not touched.
class ClassicNumbersInThisThread {
 public:
  ClassicNumbersInThisThread();
  ~ClassicNumbersInThisThread();
  ClassicNumbersInThisThread(const ClassicNumbersInThisThread&) = delete;
  ClassicNumbersInThisThread& operator=(const ClassicNumbersInThisThread&) = delete;

 private:
  void* classic_ = nullptr;   // locale_t
  void* previous_ = nullptr;  // locale_t
};

// Control characters (C0, DEL, C1), the marks that reorder text on screen
// (bidirectional overrides and isolates) and bytes that are not UTF-8, as
// visible escapes: "\x1b", "\u009b", "\u202e", "\xff". `keep` lists the
// C0 characters left as they are ("\n" for text of several lines).
std::string EscapeControls(std::string_view utf8, std::string_view keep = {});

// At most `max_chars` characters (code points) of UTF-8 text, never cutting
// a character.
std::string FirstCharacters(std::string_view utf8, std::size_t max_chars);

// Whether a spreadsheet opening a CSV file would take the cell for a formula:
// it starts with =, +, -, @, a tab or a carriage return and is not a plain
// number such as -12.5.
bool LooksLikeFormula(std::string_view cell);

}  // namespace pierhost

#include "app/export/text.h"

#include <locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace pierhost {

namespace {

void RequireFinite(double value) {
  if (!std::isfinite(value)) {
    // A number that is not finite is a fault of the writer's caller; its
    // text would be "inf" or "nan", which no reader takes.
    throw std::invalid_argument("a number to write is not finite");
  }
}

// Takes off a sign in front of a text that holds no digit but zeros.
std::string WithoutNegativeZero(std::string text) {
  if (!text.empty() && text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) {
    text.erase(0, 1);
  }
  return text;
}

}  // namespace

std::string Fixed(double value, int decimals) {
  RequireFinite(value);
  char buf[400];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, std::max(decimals, 0));
  if (ec != std::errc()) throw std::invalid_argument("a number is too long to write");
  return WithoutNegativeZero(std::string(buf, end));
}

std::string Shortest(double value) {
  RequireFinite(value);
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value == 0 ? 0.0 : value);
  return std::string(buf, end);
}

std::string Rounded(double value, int decimals) {
  std::string text = Fixed(value, decimals);
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  return WithoutNegativeZero(text);
}

ClassicNumbersInThisThread::ClassicNumbersInThisThread() {
  locale_t classic = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
  if (!classic) throw std::runtime_error("the C locale could not be made for writing numbers");
  classic_ = classic;
  previous_ = uselocale(classic);
}

ClassicNumbersInThisThread::~ClassicNumbersInThisThread() {
  uselocale(static_cast<locale_t>(previous_));
  freelocale(static_cast<locale_t>(classic_));
}

std::string Integer(long long value) {
  char buf[24];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, end);
}

namespace {

// The length of the well-formed UTF-8 sequence starting at text[i] and its
// code point; 0 when the bytes there are not UTF-8.
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t n = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    n = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    n = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    n = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
  if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
  return n;
}

bool Reorders(char32_t cp) {
  return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E ||
         cp == 0x200F || cp == 0x061C;
}

// "\x" and two hex digits, or "\u" and four.
std::string Hex(const char* prefix, unsigned value) {
  static constexpr char kHex[] = "0123456789abcdef";
  const int digits = prefix[1] == 'u' ? 4 : 2;
  std::string out = prefix;
  for (int k = digits - 1; k >= 0; --k) out += kHex[(value >> (4 * k)) & 0xFU];
  return out;
}

}  // namespace

std::string EscapeControls(std::string_view utf8, std::string_view keep) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const std::size_t n = DecodeUtf8(utf8, i, cp);
    if (n == 0) {
      out += Hex("\\x", static_cast<unsigned char>(utf8[i]));
      ++i;
      continue;
    }
    if (cp < 0x20 || cp == 0x7F) {
      if (keep.find(static_cast<char>(cp)) != std::string_view::npos) {
        out += static_cast<char>(cp);
      } else {
        out += Hex("\\x", static_cast<unsigned>(cp));
      }
    } else if ((cp >= 0x80 && cp <= 0x9F) || Reorders(cp)) {
      out += Hex("\\u", static_cast<unsigned>(cp));
    } else {
      out.append(utf8.substr(i, n));
    }
    i += n;
  }
  return out;
}

std::string FirstCharacters(std::string_view utf8, std::size_t max_chars) {
  std::size_t i = 0;
  for (std::size_t chars = 0; i < utf8.size() && chars < max_chars; ++chars) {
    char32_t cp = 0;
    const std::size_t n = DecodeUtf8(utf8, i, cp);
    i += n == 0 ? 1 : n;
  }
  return std::string(utf8.substr(0, i));
}

bool LooksLikeFormula(std::string_view cell) {
  if (cell.empty()) return false;
  const char first = cell.front();
  if (first != '=' && first != '+' && first != '-' && first != '@' && first != '\t' &&
      first != '\r') {
    return false;
  }
  // A plain number is read as the number it is (but "-inf" is not one).
  if (cell.find_first_not_of("0123456789.eE+-") != std::string_view::npos) return true;
  double value = 0;
  const char* begin = cell.data() + (first == '+' ? 1 : 0);
  const auto [end, ec] = std::from_chars(begin, cell.data() + cell.size(), value);
  return !(ec == std::errc() && end == cell.data() + cell.size() && begin != end);
}

}  // namespace pierhost

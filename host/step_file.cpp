#include "host/step_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace HostStep {

const char* ToString(Kind kind) {
  switch (kind) {
    case Kind::Null:
      return "$ (no value)";
    case Kind::Derived:
      return "* (derived)";
    case Kind::Integer:
      return "an integer";
    case Kind::Real:
      return "a real";
    case Kind::String:
      return "a string";
    case Kind::Enum:
      return "an enumeration";
    case Kind::Binary:
      return "a binary";
    case Kind::Ref:
      return "a reference";
    case Kind::List:
      return "a list";
    case Kind::Typed:
      return "a typed value";
  }
  return "a value";
}

namespace {

// Lists nested deeper than this are refused: IFC nests four deep at most,
// and a hostile file must not make the decoder's stacks grow without end.
constexpr std::size_t kMaxDepth = 256;

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// The characters of a keyword after its first, looked up: the scanner asks
// for every character of every type name.
constexpr auto kKeywordChars = [] {
  std::array<bool, 256> table{};
  for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<std::size_t>(c)] = true;
  for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c)] = true;
  table['_'] = true;
  return table;
}();
bool IsKeywordChar(char c) { return kKeywordChars[static_cast<unsigned char>(c)]; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

std::string Shown(const char* p, const char* end) {
  if (p >= end) return "the end of the file";
  const unsigned char c = static_cast<unsigned char>(*p);
  if (c >= 0x20 && c < 0x7f) return std::string("'") + *p + "'";
  static constexpr char kHex[] = "0123456789ABCDEF";
  return std::string("the byte 0x") + kHex[c >> 4] + kHex[c & 15];
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The length of a well-formed UTF-8 sequence at s[i], 0 if there is none.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = b(i);
  std::size_t n = 0;
  if ((b0 & 0xE0) == 0xC0 && b0 >= 0xC2) {
    n = 2;
  } else if ((b0 & 0xF0) == 0xE0) {
    n = 3;
  } else if ((b0 & 0xF8) == 0xF0 && b0 <= 0xF4) {
    n = 4;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
  }
  return n;
}

unsigned HexValue(std::string_view s) {
  unsigned v = 0;
  for (char c : s) {
    v <<= 4;
    if (IsDigit(c)) {
      v |= static_cast<unsigned>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      v |= static_cast<unsigned>(c - 'A' + 10);
    } else {
      v |= static_cast<unsigned>(c - 'a' + 10);
    }
  }
  return v;
}

bool AllHex(std::string_view s) { return std::all_of(s.begin(), s.end(), IsHex); }

}  // namespace

std::string DecodeString(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size();) {
    const char c = raw[i];
    if (c == '\'') {  // '' stands for one quote
      out += '\'';
      i += (i + 1 < raw.size() && raw[i + 1] == '\'') ? 2 : 1;
      continue;
    }
    if (static_cast<unsigned char>(c) >= 0x80) {
      // Written raw, against the format, by some programs: UTF-8 where it
      // is, Latin-1 otherwise.
      if (const std::size_t n = Utf8Length(raw, i)) {
        out.append(raw.substr(i, n));
        i += n;
      } else {
        AppendUtf8(out, static_cast<unsigned char>(c));
        ++i;
      }
      continue;
    }
    if (c != '\\') {
      out += c;
      ++i;
      continue;
    }
    const std::string_view rest = raw.substr(i);
    if (rest.starts_with("\\\\")) {
      out += '\\';
      i += 2;
    } else if (rest.size() >= 4 && rest.starts_with("\\S\\")) {
      // A character of the upper half of the code page (Latin-1 here).
      AppendUtf8(out, static_cast<unsigned char>(rest[3]) + 128u);
      i += 4;
    } else if (rest.size() >= 4 && rest.starts_with("\\P") && rest[3] == '\\') {
      i += 4;  // a code page switch; the upper half is read as Latin-1
    } else if (rest.size() >= 5 && rest.starts_with("\\X\\") && AllHex(rest.substr(3, 2))) {
      AppendUtf8(out, HexValue(rest.substr(3, 2)));
      i += 5;
    } else if (rest.starts_with("\\X2\\") || rest.starts_with("\\X4\\")) {
      const std::size_t digits = rest[2] == '2' ? 4 : 8;
      const std::size_t close = rest.find("\\X0\\", 4);
      const std::string_view hex = rest.substr(4, close == std::string_view::npos ? 0 : close - 4);
      if (close == std::string_view::npos || hex.size() % digits != 0 || !AllHex(hex)) {
        out += c;  // not a directive after all: kept as written
        ++i;
        continue;
      }
      for (std::size_t k = 0; k < hex.size(); k += digits) {
        char32_t cp = HexValue(hex.substr(k, digits));
        // UTF-16 surrogate pairs in \X2\.
        if (digits == 4 && cp >= 0xD800 && cp <= 0xDBFF && k + 8 <= hex.size()) {
          const char32_t low = HexValue(hex.substr(k + 4, 4));
          if (low >= 0xDC00 && low <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            k += 4;
          }
        }
        AppendUtf8(out, cp);
      }
      i += close + 4;
    } else if (rest.starts_with("\\N\\")) {
      out += '\n';
      i += 3;
    } else {
      out += c;  // a lone backslash: kept as written
      ++i;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------
// The scanner: one pass over the text that checks its syntax and records
// where each instance is. Parameters are checked here with the same grammar
// the decoder reads them with.

class Scanner {
 public:
  explicit Scanner(StepFile& file)
      : file_(file), begin_(file.text_.data()), p_(begin_), end_(begin_ + file.text_.size()) {}

  void Run();

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    std::string where = file_.source_name_ + ":" + std::to_string(line_) + ": ";
    if (current_id_ != 0) {
      where += "#" + std::to_string(current_id_) + ": ";
    } else if (previous_id_ != 0) {
      where += "after #" + std::to_string(previous_id_) + ": ";
    }
    throw StepError(where + what);
  }
  void SkipBlanks();
  bool At(std::string_view word) const {
    return static_cast<std::size_t>(end_ - p_) >= word.size() &&
           std::memcmp(p_, word.data(), word.size()) == 0;
  }
  void Expect(char c, const char* what) {
    SkipBlanks();
    if (p_ >= end_ || *p_ != c)
      Fail(std::string("expected ") + what + ", found " + Shown(p_, end_));
    ++p_;
  }
  std::string_view Keyword();
  void Parameters();  // at '(': checks the list, leaves p_ after its ')'
  void String();
  void Header();
  void Data();
  void Instance();

  StepFile& file_;
  const char* begin_;
  const char* p_;
  const char* end_;
  std::size_t line_ = 1;
  std::uint32_t current_id_ = 0;
  std::uint32_t previous_id_ = 0;
  std::uint32_t last_type_ = StepFile::kComplex;
  std::vector<char> stack_;  // open lists ('(') and typed values ('T')
};

void Scanner::SkipBlanks() {
  // Most tokens follow each other without blanks.
  if (p_<end_&& static_cast<unsigned char>(*p_)> ' ' && *p_ != '/') return;
  while (p_ < end_) {
    const char c = *p_;
    if (c == ' ' || c == '\t' || c == '\r') {
      ++p_;
    } else if (c == '\n') {
      ++line_;
      ++p_;
    } else if (c == '/' && p_ + 1 < end_ && p_[1] == '*') {
      const std::size_t start_line = line_;
      const char* close = nullptr;
      for (const char* q = p_ + 2; q + 1 < end_; ++q) {
        if (*q == '\n') ++line_;
        if (q[0] == '*' && q[1] == '/') {
          close = q;
          break;
        }
      }
      if (!close) {
        line_ = start_line;
        Fail("a comment /* is never closed with */");
      }
      p_ = close + 2;
    } else {
      return;
    }
  }
}

std::string_view Scanner::Keyword() {
  SkipBlanks();
  const char* start = p_;
  if (p_ < end_ && *p_ == '!') ++p_;  // a user-defined keyword
  if (p_ >= end_ || !IsUpper(*p_)) {
    Fail("expected a keyword (an upper-case name), found " + Shown(p_, end_));
  }
  while (p_ < end_ && IsKeywordChar(*p_)) ++p_;
  return {start, static_cast<std::size_t>(p_ - start)};
}

void Scanner::String() {
  // At the opening quote; '' inside stands for one quote.
  const std::size_t start_line = line_;
  const char* q = p_ + 1;
  for (;;) {
    const void* found = std::memchr(q, '\'', static_cast<std::size_t>(end_ - q));
    if (!found) {
      line_ = start_line;
      Fail("a string is never closed with '");
    }
    const char* quote = static_cast<const char*>(found);
    if (quote + 1 < end_ && quote[1] == '\'') {
      q = quote + 2;
      continue;
    }
    line_ += static_cast<std::size_t>(std::count(p_, quote, '\n'));
    p_ = quote + 1;
    return;
  }
}

void Scanner::Parameters() {
  // p_ is at '('. States: after an opening '(' (a value or ')'), after a
  // ',' (a value), after a value (',' or ')').
  enum class State { Open, Value, After };
  stack_.clear();
  stack_.push_back('(');
  ++p_;
  State state = State::Open;
  for (;;) {
    SkipBlanks();
    if (p_ >= end_) Fail("the file ends inside an instance's parameters");
    const char c = *p_;
    if (state == State::After) {
      if (c == ',') {
        if (stack_.back() == 'T') Fail("a typed value holds exactly one value, found ','");
        state = State::Value;
        ++p_;
      } else if (c == ')') {
        stack_.pop_back();
        ++p_;
        if (stack_.empty()) return;
      } else {
        Fail("expected ',' or ')' after a parameter, found " + Shown(p_, end_));
      }
      continue;
    }
    if (c == ')') {
      if (state == State::Open && stack_.back() == '(') {
        stack_.pop_back();
        ++p_;
        if (stack_.empty()) return;
        state = State::After;
        continue;
      }
      Fail(stack_.back() == 'T' ? "a typed value holds exactly one value, found none"
                                : "a parameter is missing before ')'");
    }
    state = State::After;
    switch (c) {
      case '$':
      case '*':
        ++p_;
        break;
      case '\'':
        String();
        break;
      case '"': {
        const char* q = p_ + 1;
        while (q < end_ && IsHex(*q)) ++q;
        if (q >= end_ || *q != '"' || q == p_ + 1) Fail("a binary value is malformed");
        p_ = q + 1;
        break;
      }
      case '.': {
        const char* q = p_ + 1;
        if (q >= end_ || !IsUpper(*q)) Fail("an enumeration .NAME. is malformed");
        while (q < end_ && IsKeywordChar(*q)) ++q;
        if (q >= end_ || *q != '.') Fail("an enumeration .NAME. is not closed with '.'");
        p_ = q + 1;
        break;
      }
      case '#':
      case '@': {
        const char* q = p_ + 1;
        while (q < end_ && IsDigit(*q)) ++q;
        if (q == p_ + 1) Fail(std::string("'") + c + "' must be followed by an instance number");
        p_ = q;
        break;
      }
      case '(':
        if (stack_.size() >= kMaxDepth) Fail("lists are nested too deeply");
        stack_.push_back('(');
        ++p_;
        state = State::Open;
        break;
      default:
        if (c == '+' || c == '-' || IsDigit(c)) {
          const char* q = p_ + (IsDigit(c) ? 0 : 1);
          const char* digits = q;
          while (q < end_ && IsDigit(*q)) ++q;
          if (q == digits) Fail("a sign must be followed by digits");
          if (q < end_ && *q == '.') {
            ++q;
            while (q < end_ && IsDigit(*q)) ++q;
          }
          if (q < end_ && (*q == 'E' || *q == 'e')) {
            ++q;
            if (q < end_ && (*q == '+' || *q == '-')) ++q;
            const char* exponent = q;
            while (q < end_ && IsDigit(*q)) ++q;
            if (q == exponent) Fail("a number's exponent has no digits");
          }
          p_ = q;
        } else if (IsUpper(c) || c == '!') {
          Keyword();
          SkipBlanks();
          if (p_ >= end_ || *p_ != '(') Fail("a typed value's name must be followed by '('");
          if (stack_.size() >= kMaxDepth) Fail("lists are nested too deeply");
          stack_.push_back('T');
          ++p_;
          state = State::Value;
        } else {
          Fail("expected a parameter, found " + Shown(p_, end_));
        }
    }
  }
}

void Scanner::Header() {
  SkipBlanks();
  if (!At("ISO-10303-21")) {
    Fail("this is not a STEP file (ISO 10303-21): it does not start with ISO-10303-21;");
  }
  p_ += 12;
  Expect(';', "';' after ISO-10303-21");
  SkipBlanks();
  if (Keyword() != "HEADER") Fail("expected HEADER; after ISO-10303-21;");
  Expect(';', "';' after HEADER");
  for (;;) {
    const std::string_view name = Keyword();
    if (name == "ENDSEC") {
      Expect(';', "';' after ENDSEC");
      return;
    }
    SkipBlanks();
    if (p_ >= end_ || *p_ != '(') Fail("expected '(' after " + std::string(name));
    const char* args = p_;
    Parameters();
    if (name == "FILE_SCHEMA") {
      // FILE_SCHEMA((schema names)): read its strings.
      const std::string_view text(args, static_cast<std::size_t>(p_ - args));
      std::size_t at = 0;
      while ((at = text.find('\'', at)) != std::string_view::npos) {
        std::size_t close = at + 1;
        while (close < text.size()) {
          if (text[close] == '\'' && close + 1 < text.size() && text[close + 1] == '\'') {
            close += 2;
          } else if (text[close] == '\'') {
            break;
          } else {
            ++close;
          }
        }
        file_.schemas_.push_back(DecodeString(text.substr(at + 1, close - at - 1)));
        at = close + 1;
      }
    }
    Expect(';', "';' after a header entry");
  }
}

void Scanner::Instance() {
  // At '#': #n = KEYWORD(...); or #n = (KEYWORD(...) KEYWORD(...) ...);
  const std::size_t line = line_;
  ++p_;
  std::uint64_t id = 0;
  const char* digits = p_;
  while (p_ < end_ && IsDigit(*p_)) {
    id = id * 10 + static_cast<unsigned>(*p_ - '0');
    if (id >= 0xffffffffULL) Fail("an instance number is larger than this reader takes (2^32 - 2)");
    ++p_;
  }
  if (p_ == digits) Fail("'#' must be followed by the instance's number");
  if (id == 0) Fail("#0 is not a valid instance number");
  current_id_ = static_cast<std::uint32_t>(id);
  Expect('=', "'=' after the instance number");
  SkipBlanks();
  std::uint32_t type = StepFile::kComplex;
  const char* args = nullptr;
  if (p_ < end_ && *p_ == '(') {
    // A complex instance: several types, each with its parameters.
    ++p_;
    args = p_;
    bool any = false;
    for (;;) {
      SkipBlanks();
      if (p_ < end_ && *p_ == ')') {
        if (!any) Fail("a complex instance lists no type");
        ++p_;
        break;
      }
      Keyword();
      SkipBlanks();
      if (p_ >= end_ || *p_ != '(') Fail("expected '(' after a type name");
      Parameters();
      any = true;
    }
  } else {
    const std::string_view name = Keyword();
    // Instances of one type often follow each other: the last type is
    // tried before the table.
    if (last_type_ != StepFile::kComplex && file_.type_names_[last_type_] == name) {
      type = last_type_;
    } else {
      auto [it, added] =
          file_.type_index_.try_emplace(name, static_cast<std::uint32_t>(file_.type_names_.size()));
      if (added) {
        file_.type_names_.push_back(name);
        file_.of_type_.emplace_back();
      }
      type = last_type_ = it->second;
    }
    SkipBlanks();
    if (p_ >= end_ || *p_ != '(') Fail("expected '(' after " + std::string(name));
    args = p_;
    Parameters();
  }
  const auto length = static_cast<std::uint64_t>(p_ - args);
  if (length >= 0xffffffffULL) Fail("an instance is longer than 4 GiB");
  Expect(';', "';' at the end of the instance");
  file_.records_.push_back({static_cast<std::uint64_t>(args - begin_), current_id_, type,
                            static_cast<std::uint32_t>(length),
                            static_cast<std::uint32_t>(std::min<std::size_t>(line, 0xffffffffu))});
  previous_id_ = current_id_;
  current_id_ = 0;
}

void Scanner::Data() {
  for (;;) {
    SkipBlanks();
    if (p_ >= end_) Fail("the file ends inside the DATA section (no ENDSEC;)");
    if (*p_ == '#') {
      Instance();
      continue;
    }
    const std::string_view word = IsUpper(*p_) ? Keyword() : std::string_view();
    if (word != "ENDSEC") {
      Fail("expected an instance (#n=TYPE(...);) or ENDSEC;, found " +
           (word.empty() ? Shown(p_, end_) : std::string(word)));
    }
    Expect(';', "';' after ENDSEC");
    return;
  }
}

void Scanner::Run() {
  // A byte order mark is not part of the format but does no harm.
  if (At("\xEF\xBB\xBF")) p_ += 3;
  Header();
  bool data = false;
  for (;;) {
    SkipBlanks();
    if (p_ >= end_) Fail("the file ends without END-ISO-10303-21;");
    if (At("END-ISO-10303-21")) {
      p_ += 16;
      Expect(';', "';' after END-ISO-10303-21");
      break;  // what follows (signatures, trailing bytes) is not read
    }
    const std::string_view word = Keyword();
    if (word != "DATA") {
      Fail("expected DATA; or END-ISO-10303-21;, found " + std::string(word));
    }
    SkipBlanks();
    if (p_ < end_ && *p_ == '(') Parameters();  // a named data section's header
    Expect(';', "';' after DATA");
    Data();
    data = true;
  }
  if (!data) Fail("the file has no DATA section");
}

// ---------------------------------------------------------------------------

namespace {

// Decodes the parameter list at text[0] == '(' (checked by the scanner) into
// nodes; the items of each list are listed in `children`.
void Decode(std::string_view text, std::vector<detail::Node>& nodes,
            std::vector<std::uint32_t>& children);

}  // namespace

std::shared_ptr<const StepFile> StepFile::Parse(std::string text, std::string source_name) {
  auto file = std::shared_ptr<StepFile>(new StepFile());
  file->owned_ = std::move(text);
  file->text_ = file->owned_;
  file->source_name_ = std::move(source_name);
  file->Index();
  return file;
}

std::shared_ptr<const StepFile> StepFile::Read(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw StepError(path + ": cannot open the file");
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    throw StepError(path + ": not a regular file");
  }
  auto file = std::shared_ptr<StepFile>(new StepFile());
  file->source_name_ = path;
  const auto size = static_cast<std::size_t>(info.st_size);
  // The file is mapped, not copied: the reader visits it once in order and
  // then only the instances it decodes.
  if (size > 0) {
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
      ::close(fd);
      throw StepError(path + ": cannot read the file");
    }
    ::madvise(map, size, MADV_SEQUENTIAL);
    file->mapping_ = map;
    file->text_ = std::string_view(static_cast<const char*>(map), size);
  }
  ::close(fd);
  file->Index();
  return file;
}

StepFile::~StepFile() {
  if (mapping_) ::munmap(mapping_, text_.size());
}

bool StepFile::LooksLikeStep(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' ||
                           text.front() == '\n')) {
    text.remove_prefix(1);
  }
  return text.starts_with("ISO-10303-21");
}

void StepFile::Index() {
  // A rough guess from typical files (about 70 bytes an instance) spares
  // most of the regrowth of the index.
  records_.reserve(text_.size() / 64 + 16);
  Scanner(*this).Run();
  records_.shrink_to_fit();
  BuildLookup();
}

void StepFile::BuildLookup() {
  std::uint32_t max_id = 0;
  for (const Record& r : records_) max_id = std::max(max_id, r.id);
  const auto duplicate = [&](std::uint32_t id, std::uint32_t first, std::uint32_t second) {
    throw StepError(At(records_[second].line) + ": #" + std::to_string(id) +
                    " is defined twice (first at line " + std::to_string(records_[first].line) +
                    ")");
  };
  // A table indexed by number when the numbers are dense enough for it to
  // cost at most as much as the records themselves.
  if (static_cast<std::uint64_t>(max_id) <= 6ULL * records_.size() + 1024) {
    dense_.assign(static_cast<std::size_t>(max_id) + 1, kNone);
    for (std::uint32_t i = 0; i < records_.size(); ++i) {
      std::uint32_t& slot = dense_[records_[i].id];
      if (slot != kNone) duplicate(records_[i].id, slot, i);
      slot = i;
    }
  } else {
    sparse_.reserve(records_.size());
    for (std::uint32_t i = 0; i < records_.size(); ++i) {
      auto [it, added] = sparse_.try_emplace(records_[i].id, i);
      if (!added) duplicate(records_[i].id, it->second, i);
    }
  }
  std::vector<std::size_t> counts(type_names_.size(), 0);
  for (const Record& r : records_) {
    if (r.type != kComplex) ++counts[r.type];
  }
  for (std::size_t t = 0; t < of_type_.size(); ++t) of_type_[t].reserve(counts[t]);
  for (const Record& r : records_) {
    if (r.type != kComplex) of_type_[r.type].push_back(r.id);
  }
}

std::uint32_t StepFile::Find(std::uint32_t id) const {
  if (!dense_.empty() || sparse_.empty()) {
    return id < dense_.size() ? dense_[id] : kNone;
  }
  const auto it = sparse_.find(id);
  return it == sparse_.end() ? kNone : it->second;
}

std::string_view StepFile::TypeOf(std::uint32_t id) const {
  const std::uint32_t r = Find(id);
  if (r == kNone || records_[r].type == kComplex) return {};
  return type_names_[records_[r].type];
}

std::span<const std::uint32_t> StepFile::OfType(std::string_view type) const {
  const auto it = type_index_.find(type);
  if (it == type_index_.end()) return {};
  return of_type_[it->second];
}

std::string StepFile::At(std::size_t line) const {
  return source_name_ + ":" + std::to_string(line);
}

Entity StepFile::Get(std::uint32_t id, const Entity* from) const {
  const std::uint32_t r = Find(id);
  if (r == kNone) {
    if (from) {
      from->Fail("refers to #" + std::to_string(id) + ", which the file does not hold");
    }
    throw StepError(source_name_ + ": there is no #" + std::to_string(id));
  }
  const Record& record = records_[r];
  Entity e;
  e.file_ = this;
  e.id_ = id;
  e.line_ = record.line;
  if (record.type == kComplex) {
    e.type_ = "(complex)";
    e.Fail("is a complex instance (of several types at once), which this reader does not decode");
  }
  e.type_ = type_names_[record.type];
  Decode(text_.substr(record.begin, record.length), e.nodes_, e.children_);
  return e;
}

// ---------------------------------------------------------------------------

namespace {

void Decode(std::string_view text, std::vector<detail::Node>& nodes,
            std::vector<std::uint32_t>& children) {
  using detail::Node;
  const char* p = text.data();
  const char* end = p + text.size();
  // Items of the lists being read wait on `pending` until their list closes;
  // `open` holds, for each open list, its node and where its items start.
  // Both are kept from one decoding to the next on this thread.
  struct Open {
    std::uint32_t node;
    std::size_t first_pending;
  };
  thread_local std::vector<std::uint32_t> pending;
  thread_local std::vector<Open> open;
  pending.clear();
  open.clear();
  nodes.reserve(text.size() / 6 + 2);
  children.reserve(text.size() / 6 + 2);
  const auto add = [&](Node node) {
    nodes.push_back(node);
    const auto index = static_cast<std::uint32_t>(nodes.size() - 1);
    if (!open.empty()) pending.push_back(index);
    return index;
  };
  const auto close = [&] {
    const Open o = open.back();
    open.pop_back();
    Node& n = nodes[o.node];
    n.first = static_cast<std::uint32_t>(children.size());
    n.count = static_cast<std::uint32_t>(pending.size() - o.first_pending);
    children.insert(children.end(), pending.begin() + static_cast<std::ptrdiff_t>(o.first_pending),
                    pending.end());
    pending.resize(o.first_pending);
  };
  const auto blanks = [&] {
    while (p < end) {
      if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
        ++p;
      } else if (*p == '/' && p + 1 < end && p[1] == '*') {
        const char* q = p + 2;
        while (q + 1 < end && !(q[0] == '*' && q[1] == '/')) ++q;
        p = q + 2;
      } else {
        break;
      }
    }
  };
  nodes.push_back(Node{Kind::List, 0, 0, 0, {}});
  open.push_back({0, 0});
  ++p;  // the opening '('
  while (!open.empty()) {
    blanks();
    const char c = *p;
    if (c == ',') {
      ++p;
      continue;
    }
    if (c == ')') {
      ++p;
      close();
      continue;
    }
    Node node;
    switch (c) {
      case '$':
        node.kind = Kind::Null;
        ++p;
        add(node);
        break;
      case '*':
        node.kind = Kind::Derived;
        ++p;
        add(node);
        break;
      case '\'': {
        const char* q = p + 1;
        for (;;) {
          q = static_cast<const char*>(std::memchr(q, '\'', static_cast<std::size_t>(end - q)));
          if (q + 1 < end && q[1] == '\'') {
            q += 2;
            continue;
          }
          break;
        }
        node.kind = Kind::String;
        node.text = std::string_view(p + 1, static_cast<std::size_t>(q - p - 1));
        p = q + 1;
        add(node);
        break;
      }
      case '"': {
        const char* q = static_cast<const char*>(
            std::memchr(p + 1, '"', static_cast<std::size_t>(end - p - 1)));
        node.kind = Kind::Binary;
        node.text = std::string_view(p + 1, static_cast<std::size_t>(q - p - 1));
        p = q + 1;
        add(node);
        break;
      }
      case '.': {
        const char* q = static_cast<const char*>(
            std::memchr(p + 1, '.', static_cast<std::size_t>(end - p - 1)));
        node.kind = Kind::Enum;
        node.text = std::string_view(p + 1, static_cast<std::size_t>(q - p - 1));
        p = q + 1;
        add(node);
        break;
      }
      case '#':
      case '@': {
        std::uint64_t id = 0;
        const char* q = p + 1;
        while (q < end && IsDigit(*q))
          id = std::min<std::uint64_t>(id * 10 + static_cast<unsigned>(*q++ - '0'), 0xffffffffULL);
        node.kind = Kind::Ref;
        node.first = static_cast<std::uint32_t>(id);
        p = q;
        add(node);
        break;
      }
      case '(': {
        node.kind = Kind::List;
        const std::uint32_t index = add(node);
        open.push_back({index, pending.size()});
        ++p;
        break;
      }
      default:
        if (c == '+' || c == '-' || IsDigit(c)) {
          const char* q = p + 1;
          bool real = false;
          while (q < end && (IsDigit(*q) || *q == '.' || *q == 'E' || *q == 'e' ||
                             ((*q == '+' || *q == '-') && (q[-1] == 'E' || q[-1] == 'e')))) {
            real = real || !IsDigit(*q);
            ++q;
          }
          // from_chars takes no '+'; a value beyond the range of a double
          // is taken as strtod takes it (infinite or zero), for the reader
          // of the value to refuse.
          const char* from = *p == '+' ? p + 1 : p;
          double v = 0;
          const auto [ptr, ec] = std::from_chars(from, q, v);
          if (ec != std::errc() || ptr != q) v = std::strtod(std::string(from, q).c_str(), nullptr);
          node.kind = real ? Kind::Real : Kind::Integer;
          node.number = v;
          p = q;
          add(node);
        } else {
          // A typed value: NAME(value).
          const char* q = p;
          if (*q == '!') ++q;
          while (q < end && IsKeywordChar(*q)) ++q;
          node.kind = Kind::Typed;
          node.text = std::string_view(p, static_cast<std::size_t>(q - p));
          p = q;
          blanks();
          const std::uint32_t index = add(node);
          open.push_back({index, pending.size()});
          ++p;  // its '('
        }
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------

std::size_t Entity::Size() const { return nodes_.empty() ? 0 : nodes_[0].count; }

Value Entity::operator[](std::size_t i) const {
  if (i >= Size()) {
    Fail("has " + std::to_string(Size()) + " attributes; attribute " + std::to_string(i + 1) +
         " is needed");
  }
  return Value(this, children_[nodes_[0].first + i], static_cast<std::uint32_t>(i), -1);
}

std::string Entity::Where() const {
  return file_->At(line_) + ": #" + std::to_string(id_) + "=" + std::string(type_);
}

void Entity::Fail(const std::string& what) const { throw StepError(Where() + " " + what); }

Kind Value::GetKind() const { return entity_->nodes_[node_].kind; }

std::string Value::Path() const {
  std::string s = "attribute " + std::to_string(attribute_ + 1);
  if (item_ >= 0) s += ", item " + std::to_string(item_ + 1);
  return s;
}

void Value::Fail(const std::string& what) const { entity_->Fail(Path() + ": " + what); }

double Value::Number() const {
  const auto& n = entity_->nodes_[node_];
  if (n.kind == Kind::Integer || n.kind == Kind::Real) return n.number;
  if (n.kind == Kind::Typed) return Inner().Number();
  Fail(std::string("expected a number, found ") + ToString(n.kind));
}

long long Value::Integer() const {
  const double v = Number();
  if (v != std::floor(v) || std::abs(v) > 9e15) Fail("expected an integer");
  return static_cast<long long>(v);
}

std::uint32_t Value::Ref() const {
  const auto& n = entity_->nodes_[node_];
  if (n.kind != Kind::Ref) Fail(std::string("expected a reference, found ") + ToString(n.kind));
  return n.first;
}

std::string Value::Text() const {
  const auto& n = entity_->nodes_[node_];
  if (n.kind == Kind::String) return DecodeString(n.text);
  if (n.kind == Kind::Typed) return Inner().Text();
  Fail(std::string("expected a string, found ") + ToString(n.kind));
}

std::string_view Value::Name() const {
  const auto& n = entity_->nodes_[node_];
  if (n.kind != Kind::Enum && n.kind != Kind::Typed) {
    Fail(std::string("expected an enumeration, found ") + ToString(n.kind));
  }
  return n.text;
}

Value Value::Inner() const {
  const auto& n = entity_->nodes_[node_];
  if (n.kind != Kind::Typed) Fail(std::string("expected a typed value, found ") + ToString(n.kind));
  return Value(entity_, entity_->children_[n.first], attribute_, item_);
}

std::size_t Value::Size() const {
  const auto& n = entity_->nodes_[node_];
  if (n.kind != Kind::List) Fail(std::string("expected a list, found ") + ToString(n.kind));
  return n.count;
}

Value Value::operator[](std::size_t i) const {
  const std::size_t size = Size();
  if (i >= size) {
    Fail("the list has " + std::to_string(size) + " items; item " + std::to_string(i + 1) +
         " is needed");
  }
  const auto& n = entity_->nodes_[node_];
  return Value(entity_, entity_->children_[n.first + i], attribute_,
               item_ >= 0 ? item_ : static_cast<int>(i));
}

}  // namespace HostStep

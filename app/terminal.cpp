#include "app/terminal.h"

#include <unistd.h>

#include <iostream>
#include <sstream>

#include "app/export/text.h"

namespace pierhost {

// Passes text on to the terminal's stream with its controls escaped. Text
// is held until a line ends or the stream is flushed, so that a character
// written in parts is judged whole.
class Terminal::Filter : public std::streambuf {
 public:
  explicit Filter(std::ostream& out) : out_(out) {}
  ~Filter() override { Send(Upto::All); }

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    pending_ += traits_type::to_char_type(c);
    if (c == '\n') Send(Upto::Lines);
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<std::size_t>(n));
    if (pending_.find('\n') != std::string::npos) Send(Upto::Lines);
    return n;
  }
  int sync() override {
    Send(Upto::Characters);
    out_.flush();
    return 0;
  }

 private:
  enum class Upto { Lines, Characters, All };
  // Sends the complete lines, or everything but a character cut short, or
  // everything.
  void Send(Upto upto) {
    std::size_t end = pending_.size();
    if (upto == Upto::Lines) end = pending_.rfind('\n') + 1;  // none: 0
    if (upto == Upto::Characters) {
      for (std::size_t back = 1; back <= 3 && back <= end; ++back) {
        const auto b = static_cast<unsigned char>(pending_[end - back]);
        if ((b & 0xC0) == 0x80) continue;  // inside a character: look further back
        const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (length > back) end -= back;
        break;
      }
    }
    if (end == 0) return;
    out_ << EscapeControls(std::string_view(pending_).substr(0, end), "\n\r\t");
    pending_.erase(0, end);
  }

  std::ostream& out_;
  std::string pending_;
};

Terminal::Terminal(std::ostream& out, bool colour)
    : out_(out),
      colour_(colour),
      filter_(std::make_unique<Filter>(out)),
      filtered_(filter_.get()) {}

Terminal::~Terminal() { filtered_.flush(); }

Terminal Terminal::ForStdout() { return Terminal(std::cout, ::isatty(STDOUT_FILENO) == 1); }

std::string Terminal::Paint(const char* code, const std::string& text) const {
  return colour_ ? std::string("\033[") + code + "m" + text + "\033[0m" : text;
}

ToolRun::Observer Terminal::Observer() {
  return {[this](const std::string& p) { Prompt(p); }, [this](const std::string& m) { Message(m); },
          [this](const std::string& l) { Line(l); }};
}

void Terminal::Prompt(const std::string& prompt) {
  filtered_.flush();
  out_ << Paint("36", "> " + EscapeControls(prompt)) << '\n';
}

void Terminal::Message(const std::string& text) {
  // A message box: its lines framed, answered with OK.
  filtered_.flush();
  out_ << Paint("33", "+-- message") << '\n';
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) out_ << Paint("33", "| ") << EscapeControls(line) << '\n';
  out_ << Paint("33", "+-- [OK]") << '\n';
}

void Terminal::Line(const std::string& line) {
  filtered_.flush();
  out_ << Paint("2", "tool: ") << EscapeControls(line) << '\n';
}

void Terminal::Note(const std::string& text) {
  filtered_.flush();
  out_ << EscapeControls(text) << '\n';
}

void Terminal::Error(const std::string& text) {
  filtered_.flush();
  out_.flush();
  std::cerr << Paint("31", "pierhost: error: ") << EscapeControls(text) << '\n';
}

}  // namespace pierhost

#include "app/terminal.h"

#include <unistd.h>

#include <iostream>
#include <sstream>

namespace pierhost {

Terminal::Terminal(std::ostream& out, bool colour) : out_(out), colour_(colour) {}

Terminal Terminal::ForStdout() {
  // A stream of its own over standard output: while the tool handles an
  // event, std::cout is pointed elsewhere to collect what the tool prints, and
  // a message box shown meanwhile must not be taken for one of those lines.
  static std::ostream out(StandardOutputBuffer());
  return Terminal(out, ::isatty(STDOUT_FILENO) == 1);
}

std::string Terminal::Paint(const char* code, const std::string& text) const {
  return colour_ ? std::string("\033[") + code + "m" + text + "\033[0m" : text;
}

ToolRun::Observer Terminal::Observer() {
  return {[this](const std::string& p) { Prompt(p); }, [this](const std::string& m) { Message(m); },
          [this](const std::string& l) { Line(l); }};
}

void Terminal::Prompt(const std::string& prompt) { out_ << Paint("36", "> " + prompt) << '\n'; }

void Terminal::Message(const std::string& text) {
  // A message box: its lines framed, answered with OK.
  out_ << Paint("33", "+-- message") << '\n';
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) out_ << Paint("33", "| ") << line << '\n';
  out_ << Paint("33", "+-- [OK]") << '\n';
}

void Terminal::Line(const std::string& line) { out_ << Paint("2", "tool: ") << line << '\n'; }

void Terminal::Note(const std::string& text) { out_ << text << '\n'; }

void Terminal::Error(const std::string& text) {
  std::cerr << Paint("31", "pierhost: error: ") << text << '\n';
}

}  // namespace pierhost

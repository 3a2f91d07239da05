// How the standalone host shows the tool to a user in a terminal: prompts,
// message boxes and the lines the tool prints.
//
// What reaches the terminal holds the user's ids and names, which may hold
// anything: control characters and escape sequences are shown escaped
// ("\x1b"), never sent to the terminal to act on.
#pragma once

#include <iosfwd>
#include <memory>
#include <ostream>
#include <string>

#include "app/driver.h"

namespace pierhost {

class Terminal {
 public:
  // `out` gets everything; colours only when it is a terminal.
  explicit Terminal(std::ostream& out, bool colour);
  static Terminal ForStdout();
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  ToolRun::Observer Observer();
  void Prompt(const std::string& prompt);
  void Message(const std::string& text);
  void Line(const std::string& line);
  void Note(const std::string& text);
  void Error(const std::string& text);
  // For text of several lines (tables, summaries): line breaks, carriage
  // returns and tabs pass, other control characters are shown escaped.
  std::ostream& Out() { return filtered_; }

 private:
  class Filter;
  std::string Paint(const char* code, const std::string& text) const;
  std::ostream& out_;
  bool colour_;
  std::unique_ptr<Filter> filter_;
  std::ostream filtered_;
};

}  // namespace pierhost

// How the standalone host shows the tool to a user in a terminal: prompts,
// message boxes and the lines the tool prints.
#pragma once

#include <iosfwd>
#include <string>

#include "app/driver.h"

namespace pierhost {

class Terminal {
 public:
  // `out` gets everything; colours only when it is a terminal.
  explicit Terminal(std::ostream& out, bool colour);
  static Terminal ForStdout();

  ToolRun::Observer Observer();
  void Prompt(const std::string& prompt);
  void Message(const std::string& text);
  void Line(const std::string& line);
  void Note(const std::string& text);
  void Error(const std::string& text);
  std::ostream& Out() { return out_; }

 private:
  std::string Paint(const char* code, const std::string& text) const;
  std::ostream& out_;
  bool colour_;
};

}  // namespace pierhost

// The events a host sends a run of the tool: one type for every way they
// arrive (recorded session files, the web API, the commands), one set of
// checks and one dispatcher.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "app/driver.h"

namespace pierhost {

struct ToolEvent {
  enum class Kind { Click, Move, Button, Set, Cancel };
  Kind kind = Kind::Move;
  std::string element;  // Click: an element id, or what the model resolves
  int event_id = 0;     // Button
  std::string name;     // Set
  std::string value;    // Set, as the user would type it
  // One line for messages ("button 2000", "set Concr_Cover=35").
  std::string Describe() const;
};

// The event kinds as session files and requests name them.
inline constexpr std::string_view kEventKinds = "click, move, button, set or cancel";

// A button by its name ("finish", "draw", "rebuild") or its event number,
// checked before narrowing (a number beyond int would wrap onto another
// button). Anything else is an error saying what is allowed.
int ButtonEvent(std::string_view name);
int ButtonEvent(long long number);

// An event the run cannot take now: a button the shown palette lacks.
class EventRefused : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Sends one event to the run. A host offers only the buttons the shown
// palette has: another is an EventRefused naming the palette. The run's
// own errors pass through.
void ApplyEvent(ToolRun& run, const ToolEvent& event);

}  // namespace pierhost

#include "app/events.h"

#include <algorithm>
#include <filesystem>
#include <limits>

#include "tool/protocol.h"

namespace pierhost {

std::string ToolEvent::Describe() const {
  switch (kind) {
    case Kind::Click:
      return "click " + element;
    case Kind::Move:
      return "move";
    case Kind::Button:
      return "button " + std::to_string(event_id);
    case Kind::Set:
      return "set " + name + "=" + value;
    case Kind::Cancel:
      return "cancel";
  }
  return "event";
}

int ButtonEvent(std::string_view name) {
  for (const auto& b : piertool::kNamedButtons) {
    if (b.name == name) return b.event_id;
  }
  std::string allowed;
  for (const auto& b : piertool::kNamedButtons) allowed += "\"" + std::string(b.name) + "\", ";
  throw std::invalid_argument("expected " + allowed.substr(0, allowed.size() - 2) +
                              " or an event number, got \"" + std::string(name) + "\"");
}

int ButtonEvent(long long number) {
  if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
    throw std::invalid_argument("the event number " + std::to_string(number) + " is out of range");
  }
  return static_cast<int>(number);
}

void ApplyEvent(ToolRun& run, const ToolEvent& event) {
  switch (event.kind) {
    case ToolEvent::Kind::Click:
      run.Click(event.element);
      return;
    case ToolEvent::Kind::Move:
      run.Move();
      return;
    case ToolEvent::Kind::Button: {
      const auto palette = run.Palette();
      const bool offered = palette && palette->IsShown() &&
                           std::any_of(palette->GetControls().begin(), palette->GetControls().end(),
                                       [&](const HostBaseElements::PaletteButton& b) {
                                         return b.event_id == event.event_id;
                                       });
      if (!offered) {
        throw EventRefused(
            "no palette shown has a button with event " + std::to_string(event.event_id) +
            (palette
                 ? " (shown: " + std::filesystem::path(palette->GetFileName()).filename().string() +
                       (palette->IsShown() ? "" : ", closed") + ")"
                 : ""));
      }
      run.Button(event.event_id);
      return;
    }
    case ToolEvent::Kind::Set:
      run.Set(event.name, event.value);
      return;
    case ToolEvent::Kind::Cancel:
      run.Cancel();
      return;
  }
}

}  // namespace pierhost

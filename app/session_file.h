// Recorded sessions: the events of one run of the tool, for reproducible
// runs and tests.
//
//   { "format": "pier-session", "version": 1,
//     "model": "frame.json",               (relative to the session file)
//     "events": [ { "click": "C1" }, { "click": "C2" }, { "button": "finish" },
//                 { "set": "Main_Diameter", "value": 20 }, { "move": true },
//                 { "button": "draw" } ] }
// A button is "finish", "draw", "rebuild" or an event number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/events.h"

namespace pierhost {

using SessionEvent = ToolEvent;

struct SessionFile {
  std::string model_path;  // resolved against the session file's folder
  std::vector<SessionEvent> events;
};

// The largest session file read: far more events than a user makes.
inline constexpr std::uintmax_t kMaxSessionFileBytes = std::uintmax_t{16} << 20;

// Any fault is an error naming the file and the event at fault.
SessionFile ParseSession(const std::string& text, const std::string& source,
                         const std::string& base_dir);
SessionFile ReadSession(const std::string& path);

}  // namespace pierhost

// The JSON side of pierhost serve: what a browser session holds, the events
// it accepts, and the documents it answers with (docs/api.md). Nothing here
// knows about HTTP or threads: the server calls it under its one lock.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/driver.h"
#include "app/events.h"
#include "app/serve/session.h"

namespace pierhost::api {

// A request the API refuses: answered with `status` and the message.
class Error : public std::runtime_error {
 public:
  Error(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
  int Status() const { return status_; }

 private:
  int status_;
};

// The point the page's coordinates are relative to, mm: the origin, or for a
// model far from it (an IFC model in its site's coordinates) a point of its
// own, so that single-precision drawing keeps every millimetre.
HostGeo::Point3D ViewOrigin(const HostElementAdapter::ElementModel& model);

// The model as the page draws it: every element with a body, relative to
// ViewOrigin.
nlohmann::json ModelJson(const HostElementAdapter::ElementModel& model);

// The session's state. `since` selects the messages and lines to include
// and whether the preview's bars, its figures and its section are included
// (only when a preview was drawn since; always with `full`).
nlohmann::json StateJson(const WebSession& session, const Marks& since, bool full);

// The bars the session created, for drawing.
nlohmann::json CreatedJson(const WebSession& session);

// The schedule of the created cages as schedule.csv holds it: header, bar
// rows and totals (each list's first row the headings), notes and the
// member table (each cage's group).
nlohmann::json ScheduleJson(const WebSession& session,
                            const std::shared_ptr<const HostElementAdapter::ElementModel>& model);

// One event as the API takes it: {"type": "click", "element": "C1"},
// {"type": "move"}, {"type": "button", "event": 2000},
// {"type": "set", "name": "Main_Diameter", "value": 20}, {"type": "cancel"}.
using Event = ToolEvent;

// The request body: one event object or an array of them. A body that is
// not JSON or an event of the wrong shape is an Error(400) naming the fault.
std::vector<Event> ParseEvents(const std::string& body);

// Sends one event to the run. A button the shown palette lacks is an
// Error(422); the run's own errors pass through.
void Apply(ToolRun& run, const Event& event);

// The file of that name (cage.ifc, schedule.csv, drawing.svg, model.json)
// for the created cages, made in memory. No cages is an Error(409), an
// unknown name an Error(404).
struct File {
  std::string content_type;
  std::string body;
};
File ExportFile(const std::vector<CageRecord>& cages,
                const std::shared_ptr<const HostElementAdapter::ElementModel>& model,
                const std::string& name);

}  // namespace pierhost::api

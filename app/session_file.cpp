#include "app/session_file.h"

#include <filesystem>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "host/file_read.h"
#include "host/json_strict.h"

namespace pierhost {

namespace js = HostUtil::json_strict;
using js::json;

namespace {
std::string ScalarText(const json& j, const std::string& path, const std::string& src) {
  if (j.is_string()) return j.get<std::string>();
  if (j.is_boolean()) return j.get<bool>() ? "true" : "false";
  if (j.is_number_integer() || j.is_number_unsigned()) return std::to_string(j.get<long long>());
  if (j.is_number_float()) {
    std::ostringstream s;
    s.precision(17);
    s << js::FiniteNumber(j, path, src);
    return s.str();
  }
  js::Fail(src, path, "expected a number, text or a switch, got " + js::Describe(j));
}
}  // namespace

SessionFile ParseSession(const std::string& text, const std::string& source,
                         const std::string& base_dir) {
  const json root = js::Parse(text, source);
  js::Object top(root, "", source);
  if (top.Text("format") != "pier-session") top.Fail("format", "expected \"pier-session\"");
  if (top.Integer("version") != 1)
    top.Fail("version", "this program reads version 1 session files");
  SessionFile out;
  const std::string model = top.Text("model");
  if (model.empty()) top.Fail("model", "names no model file");
  out.model_path = (std::filesystem::path(base_dir) / model).lexically_normal().string();
  const json& events = top.Array("events");
  for (std::size_t i = 0; i < events.size(); ++i) {
    const std::string path = "events[" + std::to_string(i) + "]";
    js::Object e(events[i], path, source);
    SessionEvent ev;
    if (e.Has("click")) {
      ev.kind = SessionEvent::Kind::Click;
      ev.element = e.Text("click");
    } else if (e.Has("move")) {
      ev.kind = SessionEvent::Kind::Move;
      if (!e.Switch("move")) e.Fail("move", "a move event is written { \"move\": true }");
    } else if (e.Has("button")) {
      ev.kind = SessionEvent::Kind::Button;
      const json& b = e.Get("button");
      try {
        ev.event_id =
            b.is_string() ? ButtonEvent(b.get<std::string>()) : ButtonEvent(e.Integer("button"));
      } catch (const std::invalid_argument& x) {
        e.Fail("button", x.what());
      }
    } else if (e.Has("set")) {
      ev.kind = SessionEvent::Kind::Set;
      ev.name = e.Text("set");
      ev.value = ScalarText(e.Get("value"), e.PathOf("value"), source);
    } else if (e.Has("cancel")) {
      ev.kind = SessionEvent::Kind::Cancel;
      if (!e.Switch("cancel")) e.Fail("cancel", "a cancel event is written { \"cancel\": true }");
    } else {
      js::Fail(source, path, "expected one of the events " + std::string(kEventKinds));
    }
    e.Finish();
    out.events.push_back(std::move(ev));
  }
  top.Finish();
  return out;
}

SessionFile ReadSession(const std::string& path) {
  return ParseSession(HostUtil::ReadRegularFile(path, "session file", kMaxSessionFileBytes), path,
                      std::filesystem::path(path).parent_path().string());
}

}  // namespace pierhost

#include "host/plugin_api.h"

#include <charconv>
#include <new>
#include <stdexcept>

namespace HostUtil {

bool HostApiAccepts(const std::string& version) {
  int major = -1;
  const char* begin = version.data();
  const char* end = begin + version.size();
  const auto [rest, error] = std::from_chars(begin, end, major);
  if (error != std::errc() || rest == begin) return false;
  // "1", "1.0" and "1.7" are major version 1; "1x" or "10" are not.
  if (rest != end && *rest != '.') return false;
  return major == kHostApiMajor;
}

bool IsInternalFault(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e)) return true;
  if (!dynamic_cast<const std::logic_error*>(&e)) return false;
  return !dynamic_cast<const std::invalid_argument*>(&e) &&
         !dynamic_cast<const std::out_of_range*>(&e) && !dynamic_cast<const std::domain_error*>(&e);
}

PierMouseEvent ToC(const HostInput::MouseMessage& mouse_msg, const HostGeo::Point3D& pnt,
                   const HostInput::MessageInfo& msg_info) {
  PierMouseEvent event{};
  switch (mouse_msg.kind) {
    case HostInput::MouseMessage::Kind::Move:
      event.kind = PIER_MOUSE_MOVE;
      break;
    case HostInput::MouseMessage::Kind::LeftButtonDown:
      event.kind = PIER_MOUSE_LEFT_BUTTON_DOWN;
      break;
    case HostInput::MouseMessage::Kind::LeftButtonUp:
      event.kind = PIER_MOUSE_LEFT_BUTTON_UP;
      break;
  }
  event.element_id = mouse_msg.element_id.c_str();
  event.point[0] = pnt.X();
  event.point[1] = pnt.Y();
  event.point[2] = pnt.Z();
  event.shift = msg_info.shift ? 1 : 0;
  event.control = msg_info.control ? 1 : 0;
  return event;
}

PierValue ToC(const HostBaseElements::PaletteValue& value) {
  PierValue out{};
  const auto& raw = value.Raw();
  if (const auto* d = std::get_if<double>(&raw)) {
    out.kind = PIER_VALUE_NUMBER;
    out.number = *d;
  } else if (const auto* i = std::get_if<std::int64_t>(&raw)) {
    out.kind = PIER_VALUE_INTEGER;
    out.integer = *i;
  } else if (const auto* b = std::get_if<bool>(&raw)) {
    out.kind = PIER_VALUE_SWITCH;
    out.on = *b ? 1 : 0;
  } else {
    out.kind = PIER_VALUE_TEXT;
    out.text = std::get<std::string>(raw).c_str();
  }
  return out;
}

HostInput::MouseMessage MouseMessageOf(const PierMouseEvent& event) {
  HostInput::MouseMessage msg;
  switch (event.kind) {
    case PIER_MOUSE_MOVE:
      msg.kind = HostInput::MouseMessage::Kind::Move;
      break;
    case PIER_MOUSE_LEFT_BUTTON_DOWN:
      msg.kind = HostInput::MouseMessage::Kind::LeftButtonDown;
      break;
    case PIER_MOUSE_LEFT_BUTTON_UP:
      msg.kind = HostInput::MouseMessage::Kind::LeftButtonUp;
      break;
    default:
      throw std::invalid_argument("a mouse event of an unknown kind");
  }
  if (event.element_id) msg.element_id = event.element_id;
  return msg;
}

HostGeo::Point3D PointOf(const PierMouseEvent& event) {
  return HostGeo::Point3D(event.point[0], event.point[1], event.point[2]);
}

HostInput::MessageInfo MessageInfoOf(const PierMouseEvent& event) {
  return {.shift = event.shift != 0, .control = event.control != 0};
}

HostBaseElements::PaletteValue PaletteValueOf(const PierValue& value) {
  switch (value.kind) {
    case PIER_VALUE_NUMBER:
      return value.number;
    case PIER_VALUE_INTEGER:
      return value.integer;
    case PIER_VALUE_SWITCH:
      return value.on != 0;
    case PIER_VALUE_TEXT:
      return std::string(value.text ? value.text : "");
  }
  throw std::invalid_argument("a palette value of an unknown kind");
}

}  // namespace HostUtil

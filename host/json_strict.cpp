#include "host/json_strict.h"

#include <cmath>
#include <stdexcept>

namespace HostUtil::json_strict {

void Fail(const std::string& source, const std::string& path, const std::string& what) {
  throw std::invalid_argument(source + ": " + (path.empty() ? "" : path + ": ") + what);
}

std::string Describe(const json& j) {
  switch (j.type()) {
    case json::value_t::null:
      return "null";
    case json::value_t::boolean:
      return "a switch (true/false)";
    case json::value_t::string:
      return "text";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
      return "a whole number";
    case json::value_t::number_float:
      return "a number";
    case json::value_t::object:
      return "an object";
    case json::value_t::array:
      return "a list";
    default:
      return "an unreadable value";
  }
}

json Parse(const std::string& text, const std::string& source) {
  // Keys seen in each open object, to catch a key given twice, which plain
  // JSON readers would silently let the later one win.
  std::vector<std::set<std::string>> open;
  std::string duplicate;
  auto cb = [&](int /*depth*/, json::parse_event_t event, json& parsed) {
    switch (event) {
      case json::parse_event_t::object_start:
        open.emplace_back();
        break;
      case json::parse_event_t::object_end:
        if (!open.empty()) open.pop_back();
        break;
      case json::parse_event_t::key:
        if (!open.empty() && !open.back().insert(parsed.get<std::string>()).second &&
            duplicate.empty()) {
          duplicate = parsed.get<std::string>();
        }
        break;
      default:
        break;
    }
    return true;
  };
  json j;
  try {
    j = json::parse(text, cb, /*allow_exceptions=*/true, /*ignore_comments=*/false);
  } catch (const json::exception& e) {
    // The parser's message carries the line and column; drop its own prefix.
    std::string what = e.what();
    const auto pos = what.find("] ");
    throw std::invalid_argument(
        source + ": not valid JSON: " + (pos == std::string::npos ? what : what.substr(pos + 2)));
  }
  if (!duplicate.empty()) {
    throw std::invalid_argument(source + ": the key \"" + duplicate +
                                "\" is given twice in one object");
  }
  return j;
}

Object::Object(const json& j, std::string path, std::string source)
    : j_(j), path_(std::move(path)), source_(std::move(source)) {
  if (!j_.is_object()) json_strict::Fail(source_, path_, "expected an object, got " + Describe(j_));
}

std::string Object::PathOf(const std::string& key) const {
  return path_.empty() ? key : path_ + "." + key;
}

void Object::Fail(const std::string& key, const std::string& what) const {
  json_strict::Fail(source_, PathOf(key), what);
}

const json& Object::Get(const std::string& key) {
  taken_.insert(key);
  if (!j_.contains(key)) json_strict::Fail(source_, path_, "the key \"" + key + "\" is missing");
  return j_.at(key);
}

double FiniteNumber(const json& j, const std::string& path, const std::string& source) {
  if (!j.is_number()) Fail(source, path, "expected a number, got " + Describe(j));
  const double v = j.get<double>();
  if (!std::isfinite(v)) Fail(source, path, "the number is not finite");
  return v;
}

double Object::Number(const std::string& key) {
  return FiniteNumber(Get(key), PathOf(key), source_);
}

double Object::NumberOr(const std::string& key, double fallback) {
  taken_.insert(key);
  return Has(key) ? Number(key) : fallback;
}

long long Object::Integer(const std::string& key) {
  const json& v = Get(key);
  if (!v.is_number_integer() && !v.is_number_unsigned()) {
    Fail(key, "expected a whole number, got " + Describe(v));
  }
  if (v.is_number_unsigned() && v.get<unsigned long long>() > 9007199254740992ULL) {
    Fail(key, "the number " + v.dump() + " is too large");
  }
  return v.get<long long>();
}

std::string Object::Text(const std::string& key) {
  const json& v = Get(key);
  if (!v.is_string()) Fail(key, "expected text, got " + Describe(v));
  return v.get<std::string>();
}

std::string Object::TextOr(const std::string& key, const std::string& fallback) {
  taken_.insert(key);
  return Has(key) ? Text(key) : fallback;
}

bool Object::Switch(const std::string& key) {
  const json& v = Get(key);
  if (!v.is_boolean()) Fail(key, "expected true or false, got " + Describe(v));
  return v.get<bool>();
}

const json& Object::Array(const std::string& key, bool optional) {
  static const json empty = json::array();
  taken_.insert(key);
  if (optional && !Has(key)) return empty;
  const json& v = Get(key);
  if (!v.is_array()) Fail(key, "expected a list, got " + Describe(v));
  return v;
}

void Object::Finish() const {
  for (const auto& [key, value] : j_.items()) {
    if (!taken_.count(key)) {
      json_strict::Fail(source_, PathOf(key), "unknown key (check its spelling)");
    }
  }
}

}  // namespace HostUtil::json_strict

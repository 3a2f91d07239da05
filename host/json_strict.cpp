#include "host/json_strict.h"

#include <algorithm>
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

namespace {

// Builds the document from the parser's events, as nlohmann's own builder
// does, and stops at the first key given twice in one object (which plain
// JSON readers silently let the later one win) and at nesting deeper than
// kMaxDepth. The callback parser nlohmann offers for such checks looks back
// over the whole parent array at every object's end, which makes reading a
// model with a million columns take minutes.
//
// The elements of the lists at the streamed top-level keys are handed on
// one by one as they are read and not kept: such a list stands in the
// document as an empty one.
class StrictBuilder : public nlohmann::json_sax<json> {
 public:
  StrictBuilder(json& root, const std::set<std::string>& streamed, const ElementSink& sink)
      : root_(root), streamed_(streamed), sink_(sink) {}

  bool null() override { return Value(nullptr); }
  bool boolean(bool v) override { return Value(v); }
  bool number_integer(number_integer_t v) override { return Value(v); }
  bool number_unsigned(number_unsigned_t v) override { return Value(v); }
  bool number_float(number_float_t v, const string_t&) override { return Value(v); }
  bool string(string_t& v) override { return Value(std::move(v)); }
  bool binary(binary_t& v) override { return Value(std::move(v)); }

  bool start_object(std::size_t) override { return Open(json::value_t::object); }
  bool key(string_t& k) override {
    stream_next_ = open_.size() == 1 && streamed_.contains(k);
    if (stream_next_) stream_key_ = k;
    auto& members = open_.back()->get_ref<json::object_t&>();
    const auto [at, added] = members.emplace(std::move(k), nullptr);
    if (!added) {
      duplicate_ = at->first;
      return false;
    }
    member_ = &at->second;
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override {
    if (stream_next_) {
      // The list stands empty in the document; its elements go to the sink.
      stream_next_ = false;
      *member_ = json::array();
      open_.push_back(nullptr);
      stream_index_ = 0;
      return true;
    }
    return Open(json::value_t::array);
  }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
    // The parser's message carries the line and column; its own prefix goes.
    std::string what = e.what();
    const auto pos = what.find("] ");
    syntax_ = pos == std::string::npos ? what : what.substr(pos + 2);
    return false;
  }

  const std::string& Duplicate() const { return duplicate_; }
  const std::string& Syntax() const { return syntax_; }
  bool TooDeep() const { return too_deep_; }

 private:
  // Places a value where the parser stands: the root, the next element of
  // the open array, the member whose key came last, or a streamed element.
  // The open containers stay put: an array grows only once its open element
  // has been closed.
  template <typename T>
  json* Place(T&& v) {
    stream_next_ = false;
    if (open_.empty()) {
      root_ = json(std::forward<T>(v));
      return &root_;
    }
    json* parent = open_.back();
    if (parent == nullptr) {
      element_ = json(std::forward<T>(v));
      return &element_;
    }
    if (parent->is_array()) {
      parent->emplace_back(std::forward<T>(v));
      return &parent->back();
    }
    *member_ = json(std::forward<T>(v));
    return member_;
  }
  template <typename T>
  bool Value(T&& v) {
    Place(std::forward<T>(v));
    if (open_.size() > 0 && open_.back() == nullptr) Emit();
    return true;
  }
  bool Open(json::value_t type) {
    if (open_.size() >= kMaxDepth) {
      too_deep_ = true;
      return false;
    }
    open_.push_back(Place(type));
    return true;
  }
  bool Close() {
    const bool streamed_list = open_.back() == nullptr;
    open_.pop_back();
    if (!streamed_list && !open_.empty() && open_.back() == nullptr) Emit();
    return true;
  }
  void Emit() {
    sink_(stream_key_, stream_index_++, element_);
    element_ = json();
  }

  json& root_;
  const std::set<std::string>& streamed_;
  const ElementSink& sink_;
  std::vector<json*> open_;  // nullptr: a streamed list
  json* member_ = nullptr;
  bool stream_next_ = false;
  std::string stream_key_;
  std::size_t stream_index_ = 0;
  json element_;
  std::string duplicate_;
  std::string syntax_;
  bool too_deep_ = false;
};

}  // namespace

json Parse(const std::string& text, const std::string& source) {
  return ParseStreaming(text, source, {}, {});
}

json ParseStreaming(const std::string& text, const std::string& source,
                    const std::set<std::string>& streamed, const ElementSink& sink) {
  json root;
  StrictBuilder builder(root, streamed, sink);
  const bool read = json::sax_parse(text, &builder, json::input_format_t::json, /*strict=*/true,
                                    /*ignore_comments=*/false);
  if (read) return root;
  if (!builder.Duplicate().empty()) {
    throw std::invalid_argument(source + ": the key \"" + builder.Duplicate() +
                                "\" is given twice in one object");
  }
  if (builder.TooDeep()) {
    throw std::invalid_argument(source + ": lists and objects are nested more than " +
                                std::to_string(kMaxDepth) + " deep");
  }
  throw std::invalid_argument(source + ": not valid JSON: " + builder.Syntax());
}

Object::Object(const json& j, std::string path, std::string source)
    : j_(j), path_(std::move(path)), source_(std::move(source)) {
  taken_.reserve(8);
  if (!j_.is_object()) json_strict::Fail(source_, path_, "expected an object, got " + Describe(j_));
}

void Object::Take(const std::string& key) {
  if (std::find(taken_.begin(), taken_.end(), key) == taken_.end()) taken_.push_back(key);
}

std::string Object::PathOf(const std::string& key) const {
  return path_.empty() ? key : path_ + "." + key;
}

void Object::Fail(const std::string& key, const std::string& what) const {
  json_strict::Fail(source_, PathOf(key), what);
}

const json& Object::Get(const std::string& key) {
  Take(key);
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
  Take(key);
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
  Take(key);
  return Has(key) ? Text(key) : fallback;
}

bool Object::Switch(const std::string& key) {
  const json& v = Get(key);
  if (!v.is_boolean()) Fail(key, "expected true or false, got " + Describe(v));
  return v.get<bool>();
}

const json& Object::Array(const std::string& key, bool optional) {
  static const json empty = json::array();
  Take(key);
  if (optional && !Has(key)) return empty;
  const json& v = Get(key);
  if (!v.is_array()) Fail(key, "expected a list, got " + Describe(v));
  return v;
}

void Object::Finish() const {
  for (const auto& [key, value] : j_.items()) {
    if (std::find(taken_.begin(), taken_.end(), key) == taken_.end()) {
      json_strict::Fail(source_, PathOf(key), "unknown key (check its spelling)");
    }
  }
}

}  // namespace HostUtil::json_strict

// Strict JSON reading for the host's input files: duplicate keys, unknown
// keys, missing keys, wrong types and non-finite numbers are errors that name
// the file and the key's place.
#pragma once

#include <cstddef>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

namespace HostUtil::json_strict {

using nlohmann::json;

// Lists and objects nested deeper than this are refused: no file the host
// reads needs more than a few levels.
inline constexpr std::size_t kMaxDepth = 64;

// Parses text; a syntax error, a key given twice in one object or nesting
// deeper than kMaxDepth is an error naming `source`.
json Parse(const std::string& text, const std::string& source);

// Takes each element of a list streamed by ParseStreaming: the top-level key
// of the list, the element's index in it and the element.
using ElementSink =
    std::function<void(const std::string& key, std::size_t index, const json& element)>;

// Parses like Parse, but the elements of the lists at the top-level keys in
// `streamed` go to `sink` one by one as they are read and are not kept: a
// file of a million elements is read without holding all of them as JSON at
// once. In the document returned those lists stand empty. What `sink` throws
// ends the parse.
json ParseStreaming(const std::string& text, const std::string& source,
                    const std::set<std::string>& streamed, const ElementSink& sink);

// A JSON object being read: every key must be taken, Finish() rejects the rest.
class Object {
 public:
  Object(const json& j, std::string path, std::string source);

  bool Has(const std::string& key) const { return j_.contains(key); }
  const json& Get(const std::string& key);  // required
  double Number(const std::string& key);
  double NumberOr(const std::string& key, double fallback);
  long long Integer(const std::string& key);
  std::string Text(const std::string& key);
  std::string TextOr(const std::string& key, const std::string& fallback);
  bool Switch(const std::string& key);
  // The array at key (required unless `optional`).
  const json& Array(const std::string& key, bool optional = false);
  std::string PathOf(const std::string& key) const;
  [[noreturn]] void Fail(const std::string& key, const std::string& what) const;
  // Unknown keys are errors.
  void Finish() const;
  const std::string& Path() const { return path_; }
  const std::string& Source() const { return source_; }

 private:
  const json& j_;
  std::string path_;
  std::string source_;
  void Take(const std::string& key);
  // The keys read; objects have few, so a list is quicker than a set.
  std::vector<std::string> taken_;
};

// A finite number at `path`, else an error.
double FiniteNumber(const json& j, const std::string& path, const std::string& source);
[[noreturn]] void Fail(const std::string& source, const std::string& path, const std::string& what);
std::string Describe(const json& j);

}  // namespace HostUtil::json_strict

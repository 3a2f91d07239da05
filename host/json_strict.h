// Strict JSON reading for the host's input files: duplicate keys, unknown
// keys, missing keys, wrong types and non-finite numbers are errors that name
// the file and the key's place.
#pragma once

#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

namespace HostUtil::json_strict {

using nlohmann::json;

// Parses text; a syntax error or a key given twice in one object is an error
// naming `source`.
json Parse(const std::string& text, const std::string& source);

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
  std::set<std::string> taken_;
};

// A finite number at `path`, else an error.
double FiniteNumber(const json& j, const std::string& path, const std::string& source);
[[noreturn]] void Fail(const std::string& source, const std::string& path, const std::string& what);
std::string Describe(const json& j);

}  // namespace HostUtil::json_strict

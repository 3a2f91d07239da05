#include "app/rules.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "host/json_strict.h"

namespace pierhost {

namespace js = HostUtil::json_strict;
using js::json;

bool MatchesPattern(const std::string& pattern, const std::string& text) {
  // Greedy matching with one point to go back to: the last '*'.
  std::size_t p = 0, t = 0, star = std::string::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

namespace {

std::pair<double, double> Range(js::Object& o, const std::string& key) {
  const json& j = o.Get(key);
  const std::string path = o.PathOf(key);
  if (!j.is_array() || j.size() != 2) {
    js::Fail(o.Source(), path, "expected [min, max] in mm, got " + js::Describe(j));
  }
  const double low = js::FiniteNumber(j[0], path + "[0]", o.Source());
  const double high = js::FiniteNumber(j[1], path + "[1]", o.Source());
  if (low < 0 || high < low) {
    js::Fail(o.Source(), path, "expected 0 <= min <= max, got " + j.dump());
  }
  return {low, high};
}

std::vector<std::string> Patterns(js::Object& o, const std::string& key) {
  std::vector<std::string> out;
  const json& j = o.Array(key, true);
  for (std::size_t i = 0; i < j.size(); ++i) {
    if (!j[i].is_string()) {
      js::Fail(o.Source(), o.PathOf(key) + "[" + std::to_string(i) + "]",
               "expected a name pattern (a string), got " + js::Describe(j[i]));
    }
    out.push_back(j[i].get<std::string>());
  }
  return out;
}

bool InRange(const std::optional<std::pair<double, double>>& range, double value) {
  constexpr double kTol = 0.1;  // mm, as the tool compares sizes
  return !range || (value >= range->first - kTol && value <= range->second + kTol);
}

bool AnyMatches(const std::vector<std::string>& patterns,
                std::initializer_list<const std::string*> texts) {
  if (patterns.empty()) return true;
  for (const auto& p : patterns) {
    for (const std::string* t : texts) {
      if (!t->empty() && MatchesPattern(p, *t)) return true;
    }
  }
  return false;
}

}  // namespace

BuildingRules BuildingRules::Parse(const std::string& text, const std::string& source_name) {
  const json root = js::Parse(text, source_name);
  js::Object top(root, "", source_name);
  const std::string format = top.Text("format");
  if (format != "pier-rules") top.Fail("format", "expected \"pier-rules\", got \"" + format + "\"");
  const long long version = top.Integer("version");
  if (version != 1) {
    top.Fail("version",
             "this program reads version 1 rules files, got version " + std::to_string(version));
  }
  BuildingRules out;
  const json& rules = top.Array("rules");
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const std::string path = "rules[" + std::to_string(i) + "]";
    js::Object r(rules[i], path, source_name);
    ColumnRule rule;
    rule.name = r.TextOr("name", path);
    if (r.Has("width")) rule.width = Range(r, "width");
    if (r.Has("length")) rule.length = Range(r, "length");
    rule.storeys = Patterns(r, "storeys");
    rule.names = Patterns(r, "names");
    rule.types = Patterns(r, "types");
    const json& set = r.Array("set");
    for (std::size_t k = 0; k < set.size(); ++k) {
      const std::string at = r.PathOf("set") + "[" + std::to_string(k) + "]";
      if (!set[k].is_string()) {
        js::Fail(source_name, at, "expected \"NAME=VALUE\", got " + js::Describe(set[k]));
      }
      const std::string edit = set[k].get<std::string>();
      const auto eq = edit.find('=');
      if (eq == std::string::npos || eq == 0) {
        js::Fail(source_name, at, "expected \"NAME=VALUE\", got \"" + edit + "\"");
      }
      rule.set.emplace_back(edit.substr(0, eq), edit.substr(eq + 1));
    }
    r.Finish();
    out.rules_.push_back(std::move(rule));
  }
  top.Finish();
  return out;
}

BuildingRules BuildingRules::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot open the rules file");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw std::runtime_error(path + ": cannot read the rules file");
  return Parse(text.str(), path);
}

std::optional<std::size_t> BuildingRules::Match(const HostElementAdapter::ElementModel& model,
                                                std::size_t column) const {
  const auto& e = model.GetElements().at(column);
  double width = 0, length = 0;
  if (e.plan.size() == 4) {
    const double a = e.plan[0].GetDistance(e.plan[1]), b = e.plan[1].GetDistance(e.plan[2]);
    width = std::min(a, b);
    length = std::max(a, b);
  }
  std::string storey;
  if (const auto* source = model.GetSource(); source && e.source.storey) {
    storey = source->storeys.at(*e.source.storey).name;
  }
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    const ColumnRule& r = rules_[i];
    if (InRange(r.width, width) && InRange(r.length, length) && AnyMatches(r.storeys, {&storey}) &&
        AnyMatches(r.names, {&e.id, &e.source.name, &e.source.tag}) &&
        AnyMatches(r.types, {&e.source.type_name})) {
      return i;
    }
  }
  return std::nullopt;
}

}  // namespace pierhost

#include "app/serve/checks.h"

#include <algorithm>
#include <string_view>

namespace pierhost::api {

namespace {

enum Kind : unsigned { kSingle = 1, kStacked = 2, kBoth = 3 };

struct Check {
  const char* id;
  const char* name;
  unsigned kinds;
  // What a finding of this check says; the first check with a match takes it.
  std::vector<std::string_view> says;
};

// In the order the tool makes them: the section, the steel, the cover, then
// the detailing rules.
const std::vector<Check>& Catalogue() {
  static const std::vector<Check> checks = {
      {"width", "Section at least 200 mm wide", kBoth, {"Column Width is now smaller than 200"}},
      {"wall", "A column, not a wall (h/b at most 4)", kBoth, {"classified as a wall"}},
      {"above-size",
       "Column above no larger than this one",
       kStacked,
       {"column above is bigger than cross section"}},
      {"gap",
       "Floor between the two columns",
       kStacked,
       {"the column above starts", "of floor a stacked cage bridges"}},
      {"max-steel", "Steel at most 9 % of the section", kBoth, {"Max Column Reinforcement Area"}},
      {"lap-steel", "Steel at most 9 % where bars lap", kStacked, {"Rebar Ratio in Splice Area"}},
      {"cover", "Cover for the exposure class", kBoth, {"Concrete Cover not enough"}},
      {"spacing", "Clear spacing between bars", kBoth, {"8.2(2)"}},
      {"link-diameter", "Link diameter", kBoth, {"9.5.3(1)"}},
      {"min-steel", "Steel at least 0.2 % of the section", kBoth, {"9.5.2(2)"}},
      {"restraint", "Every bar held by a link or tie", kBoth, {"9.5.3(6)"}},
      {"link-spacing", "Link spacing and end zones", kBoth, {"9.5.3(3)", "9.5.3(4)"}},
      {"ties", "Room for the cross-ties", kBoth, {"cross-tie"}},
      {"below", "Bars from the column below", kBoth, {"column below"}},
      {"anchorage", "Anchorage in the slab above", kSingle, {"anchored in the"}},
      {"lap",
       "Laps in the column above",
       kStacked,
       {"need a lap of", "stands out over this one", "8.7.2(3)"}},
  };
  return checks;
}

bool Has(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

const char* ToString(Severity severity) {
  switch (severity) {
    case Severity::Pass:
      return "pass";
    case Severity::Note:
      return "note";
    case Severity::Warn:
      return "warn";
    case Severity::Block:
      return "block";
  }
  return "note";
}

Severity MessageSeverity(const std::string& text) {
  // The findings Draw tells with their consequence, and the tool's own
  // checks that stop the Draw (a section too thin, a column above larger
  // than the one below, more than 9 % steel).
  if (text.starts_with("Blocked:") || Has(text, "Column Width is now smaller than 200") ||
      Has(text, "column above is bigger than cross section") ||
      Has(text, "Max Column Reinforcement Area")) {
    return Severity::Block;
  }
  if (text.starts_with("Warning:") || Has(text, "Concrete Cover not enough") ||
      Has(text, "Rebar Ratio in Splice Area") || Has(text, "classified as a wall")) {
    return Severity::Warn;
  }
  return Severity::Note;
}

CageChecks SortChecks(bool stacked, const std::vector<std::string>& findings,
                      const std::vector<std::string>& printed) {
  CageChecks out;
  out.checked = true;
  const unsigned kind = stacked ? kStacked : kSingle;
  for (const auto& c : Catalogue()) {
    if (c.kinds & kind) out.checks.push_back({c.id, c.name, Severity::Pass, {}});
  }
  for (const auto& text : findings) {
    Severity severity = MessageSeverity(text);
    if (severity == Severity::Note) severity = Severity::Warn;
    // The first check of this kind of cage that says so; a finding of a
    // check this list does not know yet still shows, under "Other checks".
    std::string id = "other";
    for (const auto& c : Catalogue()) {
      if ((c.kinds & kind) &&
          std::any_of(c.says.begin(), c.says.end(), [&](auto part) { return Has(text, part); })) {
        id = c.id;
        break;
      }
    }
    auto it = std::find_if(out.checks.begin(), out.checks.end(),
                           [&](const CheckState& c) { return c.id == id; });
    if (it == out.checks.end()) {
      out.checks.push_back({"other", "Other checks", Severity::Pass, {}});
      it = out.checks.end() - 1;
    }
    it->findings.push_back(text);
    it->state = std::max(it->state, severity);
    out.state = std::max(out.state, severity);
  }
  // The tool prints only what went wrong while checking: the cage could not
  // be built from these fields.
  for (const auto& line : printed) {
    if (line.empty()) continue;
    out.failures.push_back(line);
    out.state = Severity::Block;
  }
  return out;
}

}  // namespace pierhost::api

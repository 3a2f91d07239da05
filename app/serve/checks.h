// The checks of the cage being edited, as the page lists them: every check
// the tool makes on a cage of that kind, each passed, warned or blocking,
// with the tool's own texts of what it found. The tool tells its findings as
// message boxes; they are sorted into its checks here by what they say.
#pragma once

#include <string>
#include <vector>

namespace pierhost::api {

enum class Severity { Pass, Note, Warn, Block };
const char* ToString(Severity severity);

// How a message box of the tool reads to the user: Block when the cage is
// not created because of it, Warn when it is created all the same, Note for
// everything else (a value the palette corrected, a value refused).
Severity MessageSeverity(const std::string& text);

struct CheckState {
  std::string id;    // "spacing"
  std::string name;  // "Clear spacing between bars"
  Severity state = Severity::Pass;
  std::vector<std::string> findings;  // the tool's texts
};

struct CageChecks {
  bool checked = false;               // false: no cage palette is open
  Severity state = Severity::Pass;    // the worst of the checks
  std::vector<CheckState> checks;     // every check of the cage's kind, in order
  std::vector<std::string> failures;  // what the tool printed when it could not build the cage
};

// The checks of a single cage (stacked false) or a stacked one from the
// message boxes the tool showed while checking it and the lines it printed.
CageChecks SortChecks(bool stacked, const std::vector<std::string>& findings,
                      const std::vector<std::string>& printed);

}  // namespace pierhost::api

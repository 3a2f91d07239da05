// The commands of the standalone host program.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/driver.h"
#include "app/terminal.h"

namespace pierhost {

// Exit statuses.
inline constexpr int kExitCreated = 0;
inline constexpr int kExitFailed = 1;  // an internal fault of the program (a bug, no memory)
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitBlocked = 3;       // the cage's checks blocked creation
inline constexpr int kExitOutputFailed = 4;  // the outputs could not be written

// Refuses a number or revision that is empty, longer than 40 characters or
// holds control characters, naming the option.
void CheckDrawingIssue(const DrawingIssue& issue);

struct CageOptions {
  std::string model;         // a model file (JSON) or an IFC file
  bool all_columns = false;  // IFC: every column, not only concrete ones
  std::vector<std::string> picks;
  std::vector<std::pair<std::string, std::string>> sets;  // NAME, VALUE in order
  std::string out_dir = ".";
  DrawingIssue issue;
};

// One run of the tool: pick, Finish, the edits, a preview, Draw, then the
// outputs. Returns the exit status.
int RunCage(const CageOptions& options, const ToolLocation& tool, Terminal& terminal);
// A recorded session of events.
int RunSession(const std::string& session_path, const std::string& out_dir,
               const ToolLocation& tool, Terminal& terminal, const DrawingIssue& issue = {});
// What the host takes from a model: its storeys, its columns (and, for an
// IFC file, those it does not take, with their reasons) and its walls. As
// text, or as JSON (mm, world coordinates) for programs.
struct ModelOptions {
  std::string model;
  bool all_columns = false;
  bool json = false;
};
int ShowModel(const ModelOptions& options, Terminal& terminal);
// The three length tables.
int WriteTables(const std::string& out_dir, Terminal& terminal);

// Splits "NAME=VALUE"; anything else is an error naming it.
std::pair<std::string, std::string> ParseSet(const std::string& text);

// The date written into outputs: SOURCE_DATE_EPOCH if set (reproducible
// builds), otherwise today.
std::string OutputDate();

// Writes the outputs of the cages created in a run and shows the schedule.
void WriteOutputs(ExportInput input, const std::string& out_dir, const DrawingIssue& issue,
                  Terminal& terminal);

}  // namespace pierhost

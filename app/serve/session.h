// One browser session of pierhost serve: the current run of the tool, the
// cages the session created with their history (delete, undo, redo, and a
// cage opened again and replaced), and the checks of the cage being edited.
// Nothing here knows about HTTP or threads: the server calls a session under
// that session's own lock (last_used and left under the table's).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/driver.h"
#include "app/events.h"
#include "app/serve/checks.h"

namespace pierhost::api {

using Event = ToolEvent;

// A cage the session created, and the palette values it was drawn with, so
// that it can be opened again.
struct CreatedCage {
  int id = 0;  // unique within the session, never reused
  std::vector<std::string> column_ids;
  HostReinf::ModelElementList placements;
  std::string palette;                                      // the palette file's name
  std::vector<std::pair<std::string, std::string>> values;  // every parameter, as typed
  std::size_t Bars() const;
};
using CageList = std::vector<std::shared_ptr<const CreatedCage>>;

// Where a run stood before a request, so that its answer can tell what the
// request added.
struct Marks {
  std::size_t messages = 0;
  std::size_t lines = 0;
  std::size_t previews = 0;
};
Marks Mark(const ToolRun& run);

// Why a Finish with these picks makes no cage, or "" when they make one: one
// column, or a column and the column standing on it (its bottom no more than
// the slab zone above the first one's top, its plan centre inside the first
// one's plan), lower first.
std::string PickRefusal(const HostElementAdapter::ElementModel& model,
                        const std::vector<std::string>& picked);

class WebSession {
 public:
  using RunFactory = std::function<std::unique_ptr<ToolRun>()>;
  WebSession(std::string id, RunFactory make_run,
             std::shared_ptr<const HostElementAdapter::ElementModel> model);

  const std::string& Id() const { return id_; }
  const std::shared_ptr<const HostElementAdapter::ElementModel>& Model() const { return model_; }
  ToolRun& Run() const { return *run_; }
  int RunNumber() const { return run_number_; }

  // A request begins: what the run shows from here on is its answer's.
  void Begin() { since_ = Mark(*run_); }
  const Marks& Since() const { return since_; }

  // One event of a request. Events go to the tool as a host sends them,
  // except that a click on a picked column unpicks it, a click while a cage
  // palette is open and a Finish with picks that make no cage are refused
  // (Error 422). A Draw's cage joins the session's cages, or takes the place
  // of the cage being replaced.
  void Apply(const Event& event);
  // Checks the cage being edited (after the events of a request).
  void Check();
  const CageChecks& Checks() const { return checks_; }

  // The tool started again; the cages stay.
  void NewRun();
  // A new run on a created cage: its columns picked, Finish, its values in
  // the palette; Draw then replaces it.
  void Edit(int cage);
  // The run's next Draws replace this cage rather than add another.
  void Replace(int cage);
  void Delete(int cage);
  void Undo();
  void Redo();

  const CageList& Cages() const { return cages_; }
  std::optional<int> Replacing() const { return replacing_; }
  // What Undo and Redo would do ("Draw C5", "Delete C1+C2"), "" for nothing.
  std::string UndoLabel() const;
  std::string RedoLabel() const;

  // Every cage, named in order ("C5", "C5 #2").
  std::vector<CageRecord> AllCages() const;
  // The cages as they would be with the cage being edited drawn now, and
  // where it stands among them; none without a preview.
  struct Pending {
    std::vector<CageRecord> cages;
    std::size_t index = 0;
  };
  std::optional<Pending> WithPreview() const;
  // The cage palette is open (a cage is being edited).
  bool Editing() const;

  std::chrono::steady_clock::time_point last_used;
  // When its page said it went (closed, reloaded or left); a request since
  // clears it.
  std::optional<std::chrono::steady_clock::time_point> left;

 private:
  struct Step {
    std::string what;
    // The other side of the step: the cages, the one being replaced, and
    // the run it was made in.
    CageList cages;
    std::optional<int> replacing;
    int run = 0;
  };
  const CreatedCage& Find(int cage) const;
  std::string NameOf(int cage) const;
  void Change(std::string what, CageList next, std::optional<int> replacing);
  // Takes the cages the run created since last time.
  void Collect();
  // The run's model holds the session's cages, less the one being replaced.
  void Sync();
  // After the cages changed under an open cage palette: rebuilt against
  // them and shown again.
  void Refresh();
  void Unpick(const std::string& element);
  void Restore(const CreatedCage& cage);

  std::string id_;
  RunFactory make_run_;
  std::shared_ptr<const HostElementAdapter::ElementModel> model_;
  std::unique_ptr<ToolRun> run_;
  int run_number_ = 1;
  std::size_t taken_ = 0;  // of the run's cages, those already in cages_
  Marks since_;
  CageList cages_;
  std::vector<Step> undo_, redo_;
  std::optional<int> replacing_;
  int next_id_ = 1;
  CageChecks checks_;
};

}  // namespace pierhost::api

// The folder a run's outputs go into. The outputs of one run are a set: a
// reader must never find the IFC of one run beside the schedule of another,
// whatever happens to the run (a full disk, a kill at any moment, another
// run writing into the same folder). So each run writes its files into a
// fresh folder of its own, and the set is published at once by turning one
// link, which a rename does atomically:
//
//   DIR/cage.ifc -> .pierhost/current/cage.ifc     one link per output, made once
//   DIR/.pierhost/current -> run-k3J9xQ2a          turned by a rename
//   DIR/.pierhost/run-k3J9xQ2a/cage.ifc, ...       the current set
//   DIR/.pierhost/lock                             held while a run writes
//
// Runs writing into one folder at once take turns (the lock); whatever a
// run killed on the way left behind is removed by the next one. Files are
// created fresh (O_EXCL, O_NOFOLLOW) in folders this program made, so no
// link planted in the folder can redirect them.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace pierhost {

// Outputs that could not be written: a full disk, a folder that cannot be
// written, something in the way of an output. Nothing of the run is published.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The hidden folder in an output folder that holds the sets of outputs.
inline constexpr const char* kOutputStore = ".pierhost";

// An output stream to a file descriptor it owns. A failed write sets badbit
// and keeps the reason (Error()).
class FileOut : public std::ostream {
 public:
  explicit FileOut(int fd);
  ~FileOut() override;
  FileOut(const FileOut&) = delete;
  FileOut& operator=(const FileOut&) = delete;
  // Flushes and closes; false (with Error() set) when anything failed.
  bool Close();
  // Why writing failed: the system's reason, empty when nothing failed.
  std::string Error() const;

 private:
  class Buffer;
  std::unique_ptr<Buffer> buffer_;
};

class OutputFolder {
 public:
  // Opens the output folder `dir` (created when missing) for a new set of
  // the files `names`, waiting while another run writes into it (`waiting`
  // is told once). A folder that cannot be made or written is an error
  // naming it and the system's reason.
  OutputFolder(const std::string& dir, std::vector<std::string> names,
               const std::function<void(const std::string& note)>& waiting = {});
  // A set never published is removed.
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // A new file `name` (one of the names) of this run's set, for writing.
  std::unique_ptr<FileOut> Create(const std::string& name);
  // Makes the set the folder's outputs, all at once; returns their paths
  // (dir/name). The previous set is removed.
  std::vector<std::string> Publish();
  // dir/name, for messages.
  std::string PathOf(const std::string& name) const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Writes `text` to dir/name through a fresh temporary file beside it and a
// rename; temporary files of runs that died are removed. A folder that
// cannot be written is an error naming it and the reason.
void WriteFileAtomically(const std::string& dir, const std::string& name, const std::string& text);

}  // namespace pierhost

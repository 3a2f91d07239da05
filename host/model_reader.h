// Reading a building model from a file a user gives: the host's own model
// file (JSON) or an IFC file, told apart by their content, never by their
// name.
#pragma once

#include <memory>
#include <string>

#include "host/elements.h"

namespace HostElementAdapter {

struct ReadOptions {
  // IFC files: every column with a body the tool can take, not only the
  // concrete ones.
  bool all_columns = false;
};

// Reads the model at `path`. It must be a regular file; a model file that is
// not JSON, an IFC file that breaks the STEP syntax and a model that breaks
// the rules of its format are errors naming the file and where.
std::shared_ptr<const ElementModel> ReadModel(const std::string& path,
                                              const ReadOptions& options = {});

}  // namespace HostElementAdapter

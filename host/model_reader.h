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

// Reads a model file (JSON), a regular file of at most kMaxModelFileBytes.
// Any fault (not JSON, unknown or missing key, wrong type, NaN, duplicate id,
// degenerate or twisted shape) is an error whose message names the file and
// the key or element at fault.
std::shared_ptr<const ElementModel> ReadModelFile(const std::string& path);
// The same from text; `source_name` names the input in messages.
std::shared_ptr<const ElementModel> ParseModelFile(const std::string& text,
                                                   const std::string& source_name);

// Reads the model at `path`. It must be a regular file; a model file that is
// not JSON, an IFC file that breaks the STEP syntax and a model that breaks
// the rules of its format are errors naming the file and where.
std::shared_ptr<const ElementModel> ReadModel(const std::string& path,
                                              const ReadOptions& options = {});

}  // namespace HostElementAdapter

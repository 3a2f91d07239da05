#include "host/model_reader.h"

#include <fstream>
#include <stdexcept>

#include "host/file_read.h"
#include "host/ifc_model.h"
#include "host/step_file.h"

namespace HostElementAdapter {

std::shared_ptr<const ElementModel> ReadModel(const std::string& path, const ReadOptions& options) {
  // A folder, a device or a pipe is refused before anything is read.
  HostUtil::RequireRegularFile(path, "model file");
  // The first bytes tell an IFC file (a STEP physical file) from a model
  // file, whatever the file is called.
  char head[4096] = {};
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot open the model file");
    in.read(head, sizeof head);
    if (in.bad()) throw std::runtime_error(path + ": cannot read the model file");
    const auto got = static_cast<std::size_t>(in.gcount());
    if (!HostStep::StepFile::LooksLikeStep(std::string_view(head, got))) {
      return HostElementAdapter::ReadModelFile(path);
    }
  }
  return HostIfc::ReadModel(HostStep::StepFile::Read(path), options);
}

}  // namespace HostElementAdapter

#include "host/model_reader.h"

#include <sys/stat.h>

#include <fstream>
#include <stdexcept>

#include "host/ifc_model.h"
#include "host/step_file.h"

namespace HostElementAdapter {

std::shared_ptr<const ElementModel> ReadModel(const std::string& path, const ReadOptions& options) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    throw std::runtime_error(path + ": cannot open the model file");
  if (!S_ISREG(info.st_mode)) {
    throw std::runtime_error(path + ": not a regular file; give the path of a model file");
  }
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
      return ElementModel::ReadFile(path);
    }
  }
  return HostIfc::ReadModel(HostStep::StepFile::Read(path), options);
}

}  // namespace HostElementAdapter

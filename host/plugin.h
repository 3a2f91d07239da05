// Loading a tool's plug-in module at run time, as a CAD host does: the host
// opens the module, asks its one entry point for the interface it speaks
// and checks that the tool runs in this host. Everything the host then
// calls goes through the module's C table; an error the tool reports comes
// back as a PluginError on the host's side.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "host/base_elements.h"
#include "host/input.h"
#include "host/plugin_abi.h"
#include "host/plugin_api.h"
#include "host/util.h"

namespace HostUtil {

// An error the tool reported through the plug-in interface, with its text:
// a refusal of what it was given.
class PluginError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A fault of the tool itself, reported through the plug-in interface.
class PluginFault : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

class PluginModule {
 public:
  // Opens the module, asks for this host's interface version and checks the
  // host version with the tool. A module that cannot be opened, has no entry
  // point, speaks another version or does not accept the host is an error
  // naming the file and what is wrong. The module stays loaded for the life
  // of the process.
  static PluginModule Load(const std::string& module_path,
                           const std::string& host_version = kHostApiVersion);

  bool check_host_version(const HostBaseElements::BuildingElement* build_ele,
                          const std::string& version) const;
  void create_element(const HostBaseElements::BuildingElement* build_ele,
                      HostBaseElements::ModelDocument* doc) const;
  // An interactor whose calls go through the module; the caller owns it.
  std::unique_ptr<HostInput::BaseInteractor> create_interactor(
      HostInput::CoordinateInput& coord_input, const std::string& tool_path,
      StringTableService& str_table_service) const;
  const std::string& GetPath() const { return path_; }

 private:
  std::string path_;
  const PierPluginApi* api_ = nullptr;
};

}  // namespace HostUtil

// Loading a tool's plug-in module at run time, as a CAD host does: the host
// opens the module and finds its three entry functions by name.
#pragma once

#include <memory>
#include <string>

#include "host/base_elements.h"
#include "host/input.h"
#include "host/palette.h"
#include "host/util.h"

namespace HostUtil {

// What create_element returns: the elements to create and no handle.
struct CreateElementResult {
  HostReinf::ModelElementList elements;
  std::nullptr_t handle = nullptr;
};

// The entry functions a plug-in module exports with C linkage.
using CheckHostVersionFn = bool (*)(const HostBaseElements::BuildingElement* build_ele,
                                    const std::string& version);
using CreateElementFn = CreateElementResult (*)(const HostBaseElements::BuildingElement* build_ele,
                                                HostBaseElements::ModelDocument* doc);
// The caller owns the returned interactor.
using CreateInteractorFn = HostInput::BaseInteractor* (*)(HostInput::CoordinateInput& coord_input,
                                                          const std::string& tool_path,
                                                          StringTableService& str_table_service);

class PluginModule {
 public:
  // Opens the module and finds its entry functions; a module that cannot be
  // opened or lacks one of them is an error naming the file and the symbol.
  // The module stays loaded for the life of the process.
  static PluginModule Load(const std::string& module_path);

  bool check_host_version(const HostBaseElements::BuildingElement* build_ele,
                          const std::string& version) const {
    return check_host_version_(build_ele, version);
  }
  CreateElementResult create_element(const HostBaseElements::BuildingElement* build_ele,
                                     HostBaseElements::ModelDocument* doc) const {
    return create_element_(build_ele, doc);
  }
  std::unique_ptr<HostInput::BaseInteractor> create_interactor(
      HostInput::CoordinateInput& coord_input, const std::string& tool_path,
      StringTableService& str_table_service) const {
    return std::unique_ptr<HostInput::BaseInteractor>(
        create_interactor_(coord_input, tool_path, str_table_service));
  }
  const std::string& GetPath() const { return path_; }

 private:
  std::string path_;
  CheckHostVersionFn check_host_version_ = nullptr;
  CreateElementFn create_element_ = nullptr;
  CreateInteractorFn create_interactor_ = nullptr;
};

}  // namespace HostUtil

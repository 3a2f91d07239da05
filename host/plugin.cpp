#include "host/plugin.h"

#include <dlfcn.h>

#include <stdexcept>

namespace HostUtil {

namespace {
template <typename Fn>
Fn Find(void* handle, const std::string& path, const char* name) {
  dlerror();
  void* sym = dlsym(handle, name);
  if (!sym) {
    const char* err = dlerror();
    throw std::runtime_error(path + ": the plug-in module has no entry function '" + name + "'" +
                             (err ? std::string(" (") + err + ")" : std::string()));
  }
  return reinterpret_cast<Fn>(sym);
}
}  // namespace

PluginModule PluginModule::Load(const std::string& module_path) {
  void* handle = dlopen(module_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* err = dlerror();
    throw std::runtime_error(module_path +
                             ": cannot load the plug-in module: " + (err ? err : "unknown reason"));
  }
  PluginModule m;
  m.path_ = module_path;
  m.check_host_version_ = Find<CheckHostVersionFn>(handle, module_path, "check_host_version");
  m.create_element_ = Find<CreateElementFn>(handle, module_path, "create_element");
  m.create_interactor_ = Find<CreateInteractorFn>(handle, module_path, "create_interactor");
  return m;
}

}  // namespace HostUtil

#include "host/plugin.h"

#include <dlfcn.h>

#include <utility>

namespace HostUtil {

namespace {

PierHostObject* Handle(void* object) { return static_cast<PierHostObject*>(object); }
const PierHostObject* Handle(const void* object) {
  return static_cast<const PierHostObject*>(object);
}

// Turns a failed call into the tool's error, on the host's side.
void Check(const PierPluginApi& api, PierStatus status) {
  if (status == PIER_OK) return;
  const char* text = api.last_error ? api.last_error() : nullptr;
  const std::string message = text && *text ? text : "the tool reported an error without a message";
  if (status == PIER_FAILED) throw PluginError(message);
  throw PluginFault(message);
}

// The host's side of an interactor in the module.
class ModuleInteractor final : public HostInput::BaseInteractor {
 public:
  ModuleInteractor(const PierPluginApi& api, PierInteractor* interactor)
      : api_(api), interactor_(interactor) {}
  ~ModuleInteractor() override { api_.destroy_interactor(interactor_); }
  ModuleInteractor(const ModuleInteractor&) = delete;
  ModuleInteractor& operator=(const ModuleInteractor&) = delete;

  bool process_mouse_msg(const HostInput::MouseMessage& mouse_msg, const HostGeo::Point3D& pnt,
                         const HostInput::MessageInfo& msg_info) override {
    const PierMouseEvent event = ToC(mouse_msg, pnt, msg_info);
    int handled = 0;
    Check(api_, api_.process_mouse_msg(interactor_, &event, &handled));
    return handled != 0;
  }
  void on_preview_draw() override { Check(api_, api_.on_preview_draw(interactor_)); }
  void on_mouse_leave() override { Check(api_, api_.on_mouse_leave(interactor_)); }
  bool on_cancel_function() override {
    int finished = 0;
    Check(api_, api_.on_cancel_function(interactor_, &finished));
    return finished != 0;
  }
  void modify_element_property(int page, const std::string& name,
                               const HostBaseElements::PaletteValue& value) override {
    const PierValue c_value = ToC(value);
    Check(api_, api_.modify_element_property(interactor_, page, name.c_str(), &c_value));
  }
  void on_control_event(int event_id) override {
    Check(api_, api_.on_control_event(interactor_, event_id));
  }

 private:
  const PierPluginApi& api_;
  PierInteractor* interactor_;
};

}  // namespace

PluginModule PluginModule::Load(const std::string& module_path, const std::string& host_version) {
  void* handle = dlopen(module_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* err = dlerror();
    throw std::runtime_error(module_path +
                             ": cannot load the plug-in module: " + (err ? err : "unknown reason"));
  }
  dlerror();
  void* sym = dlsym(handle, PIER_PLUGIN_ENTRY_NAME);
  if (!sym) {
    const char* err = dlerror();
    throw std::runtime_error(module_path + ": the plug-in module has no entry point '" +
                             PIER_PLUGIN_ENTRY_NAME + "'" +
                             (err ? std::string(" (") + err + ")" : std::string()));
  }
  const auto entry = reinterpret_cast<PierPluginEntry>(sym);
  const PierPluginApi* api = entry(PIER_PLUGIN_ABI_VERSION);
  const std::string speaks =
      "this host speaks plug-in interface version " + std::to_string(PIER_PLUGIN_ABI_VERSION);
  if (!api) {
    throw std::runtime_error(module_path +
                             ": the plug-in module cannot speak the interface of this host (" +
                             speaks + ")");
  }
  if (api->abi_version != PIER_PLUGIN_ABI_VERSION || api->size < sizeof(PierPluginApi)) {
    throw std::runtime_error(module_path +
                             ": the plug-in module speaks plug-in interface version " +
                             std::to_string(api->abi_version) + "; " + speaks);
  }
  PluginModule m;
  m.path_ = module_path;
  m.api_ = api;
  if (!m.check_host_version(nullptr, host_version)) {
    throw std::runtime_error(module_path + ": the tool does not run in a host of API version " +
                             host_version + " (it was built for version " + kHostApiVersion + ")");
  }
  return m;
}

bool PluginModule::check_host_version(const HostBaseElements::BuildingElement* build_ele,
                                      const std::string& version) const {
  int accepted = 0;
  Check(*api_, api_->check_host_version(Handle(build_ele), version.c_str(), &accepted));
  return accepted != 0;
}

void PluginModule::create_element(const HostBaseElements::BuildingElement* build_ele,
                                  HostBaseElements::ModelDocument* doc) const {
  Check(*api_, api_->create_element(Handle(build_ele), Handle(doc)));
}

std::unique_ptr<HostInput::BaseInteractor> PluginModule::create_interactor(
    HostInput::CoordinateInput& coord_input, const std::string& tool_path,
    StringTableService& str_table_service) const {
  PierInteractor* interactor =
      api_->create_interactor(Handle(&coord_input), tool_path.c_str(), Handle(&str_table_service));
  if (!interactor) Check(*api_, PIER_FAILED);
  try {
    return std::make_unique<ModuleInteractor>(*api_, interactor);
  } catch (...) {
    api_->destroy_interactor(interactor);
    throw;
  }
}

}  // namespace HostUtil

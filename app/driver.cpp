#include "app/driver.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace pierhost {

namespace fs = std::filesystem;

ToolLocation ToolLocation::Default(const std::string& argv0) {
  if (const char* env = std::getenv("PIER_PLUGIN"); env && *env) {
    const fs::path module(env);
    return {module.string(), (module.parent_path() / "PierTool").string()};
  }
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) self = fs::absolute(argv0);
  // In a build the program sits in <build>/app and the plug-in in
  // <build>/plugin; installed, they are <prefix>/bin and <prefix>/<lib>/pier/plugin.
  fs::path plugin_dir = self.parent_path().parent_path() / "plugin";
  const fs::path installed = self.parent_path().parent_path() / PIER_INSTALLED_PLUGIN_DIR;
  if (!fs::exists(plugin_dir / "libpiertool.so", ec) && fs::exists(installed, ec)) {
    plugin_dir = installed;
  }
  return {(plugin_dir / "libpiertool.so").string(), (plugin_dir / "PierTool").string()};
}

ToolRun::ToolRun(const HostUtil::PluginModule& plugin,
                 std::shared_ptr<const HostElementAdapter::ElementModel> model,
                 std::string tool_path, Observer observer)
    : model_(std::move(model)),
      document_(std::make_shared<HostBaseElements::ModelDocument>(model_)),
      input_(model_, document_),
      observer_(std::move(observer)) {
  session_.SetMessageHandler([this](const std::string& text, int) {
    if (observer_.message) observer_.message(text);
    return HostUtil::IDOK;
  });
  // What the tool prints reaches this run's console, whichever thread runs it.
  session_.SetLineHandler([this](const std::string& line) {
    if (observer_.line) observer_.line(line);
  });
  Dispatch([&] { interactor_ = plugin.create_interactor(input_, tool_path, strings_); });
}

ToolRun::~ToolRun() {
  // The interactor's code lives in the module: it goes first.
  HostUtil::SessionScope scope(session_);
  interactor_.reset();
}

template <typename Fn>
void ToolRun::Dispatch(Fn&& fn) {
  HostUtil::SessionScope scope(session_);
  std::exception_ptr failure;
  try {
    fn();
  } catch (...) {
    failure = std::current_exception();
  }
  if (input_.GetPrompt() != last_prompt_) {
    last_prompt_ = input_.GetPrompt();
    if (observer_.prompt) observer_.prompt(last_prompt_);
  }
  if (failure) std::rethrow_exception(failure);
}

void ToolRun::Click(const std::string& element_name) {
  // A user may name an element of an IFC model by its GlobalId, Name or Tag.
  const std::string element_id = model_->GetElements()[model_->Resolve(element_name)].id;
  picked_.push_back(element_id);
  Dispatch([&] {
    interactor_->process_mouse_msg(HostInput::MouseMessage::Click(element_id), HostGeo::Point3D(),
                                   {});
  });
}

void ToolRun::Move() {
  Dispatch([&] {
    interactor_->process_mouse_msg(HostInput::MouseMessage::Move(), HostGeo::Point3D(), {});
  });
}

void ToolRun::Button(int event_id) {
  const std::size_t before = document_->GetCreatedBatches().size();
  Dispatch([&] { interactor_->on_control_event(event_id); });
  const auto& batches = document_->GetCreatedBatches();
  for (std::size_t i = before; i < batches.size(); ++i) {
    // The cage is named after the columns picked, lower first.
    std::vector<std::string> columns;
    for (const auto& id : picked_) {
      const auto index = model_->Find(id);
      if (!index) continue;
      const auto& geometry = model_->GetElements()[*index].geometry;
      if (!geometry.IsLine() && geometry.GetVertices().size() == 8) columns.push_back(id);
    }
    // Every Draw creates the cage again: later ones are numbered.
    int number = 1;
    for (const auto& c : cages_) number += c.column_ids == columns ? 1 : 0;
    cages_.push_back({CageName(columns, number), columns, batches[i].elements, number});
  }
}

void ToolRun::Set(const std::string& name, const std::string& value) {
  const auto palette = Palette();
  if (!palette) throw std::invalid_argument("no palette is shown, so '" + name + "' cannot be set");
  const int page = palette->PageOf(name);
  if (page < 0) {
    throw std::invalid_argument("the palette '" + palette->GetFileName() + "' has no parameter '" +
                                name + "'");
  }
  // A value the field cannot hold is refused at the field, as a dialog
  // refuses it, before the tool sees it.
  const auto& ele = *palette->GetBuildingElements().at(0);
  if (ele.Has(name)) {
    const std::string refusal = ele[name].Refusal(HostBaseElements::PaletteValue(value));
    if (!refusal.empty()) {
      throw std::invalid_argument("'" + name + "' cannot be '" + value + "': " + refusal);
    }
  }
  Dispatch([&] {
    interactor_->modify_element_property(page, name, HostBaseElements::PaletteValue(value));
  });
}

void ToolRun::Cancel() {
  Dispatch([&] { interactor_->on_cancel_function(); });
}

}  // namespace pierhost

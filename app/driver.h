// The standalone host's side of one run of the tool: it loads the plug-in
// module, shows what the tool says (prompts, message boxes, printed lines)
// and sends it the events a CAD host sends: clicks on elements, mouse moves,
// palette edits and button presses.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/export/export_model.h"
#include "host/host.h"
#include "host/plugin.h"
#include "tool/protocol.h"

namespace pierhost {

// Where the plug-in module and the tool's folder are.
struct ToolLocation {
  std::string module_path;  // the plug-in module (libpiertool.so)
  std::string tool_path;    // its folder of palettes and tables
  // The location next to this program's build, or given by PIER_PLUGIN.
  static ToolLocation Default(const std::string& argv0);
};

// Palette button events of the tool's palettes.
using piertool::kDraw;
using piertool::kFinish;
using piertool::kRebuild;

class ToolRun {
 public:
  struct Observer {
    std::function<void(const std::string& prompt)> prompt;
    std::function<void(const std::string& text)> message;  // a message box
    std::function<void(const std::string& line)> line;     // a line the tool printed
  };

  ToolRun(const HostUtil::PluginModule& plugin,
          std::shared_ptr<const HostElementAdapter::ElementModel> model, std::string tool_path,
          Observer observer = {});
  ~ToolRun();
  // The session and the interactor hold on to this run's own members.
  ToolRun(const ToolRun&) = delete;
  ToolRun& operator=(const ToolRun&) = delete;
  ToolRun(ToolRun&&) = delete;
  ToolRun& operator=(ToolRun&&) = delete;

  // Events. A click on an element the model lacks, an edit of a parameter
  // the shown palette lacks or a value that does not fit it is an error
  // naming them; errors the tool reports to the host are passed on. A click
  // names the element by its id, or by what ElementModel::Resolve takes.
  void Click(const std::string& element_name);
  void Move();
  void Button(int event_id);
  void Set(const std::string& name, const std::string& value);
  void Cancel();

  const std::string& Prompt() const { return input_.GetPrompt(); }
  const std::vector<std::string>& Messages() const { return session_.Messages(); }
  const std::vector<std::string>& Lines() const { return session_.Lines(); }
  std::shared_ptr<HostBaseElements::BuildingElementPaletteService> Palette() const {
    return session_.GetShownPalette();
  }
  HostBaseElements::ModelDocument& Document() { return *document_; }
  // The element ids clicked so far, in order.
  const std::vector<std::string>& Picked() const { return picked_; }
  // One record per Draw that created bars, named after the picked columns.
  const std::vector<CageRecord>& Cages() const { return cages_; }
  std::vector<CageRecord> TakeCages() { return std::move(cages_); }
  std::size_t PreviewCount() const { return document_->GetPreviewCount(); }

 private:
  template <typename Fn>
  void Dispatch(Fn&& fn);

  std::shared_ptr<const HostElementAdapter::ElementModel> model_;
  std::shared_ptr<HostBaseElements::ModelDocument> document_;
  HostInput::CoordinateInput input_;
  HostUtil::StringTableService strings_;
  HostUtil::Session session_;
  Observer observer_;
  std::unique_ptr<HostInput::BaseInteractor> interactor_;
  std::vector<std::string> picked_;
  std::vector<CageRecord> cages_;
  std::string last_prompt_;
};

}  // namespace pierhost

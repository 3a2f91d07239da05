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
  // The program sits in <build>/app, the plug-in in <build>/plugin.
  const fs::path plugin_dir = self.parent_path().parent_path() / "plugin";
  return {(plugin_dir / "libpiertool.so").string(), (plugin_dir / "PierTool").string()};
}

namespace {

// What the tool prints goes to std::cout. The host collects it per event,
// and independent runs of the tool may be handled on several threads at
// once: std::cout gets, once, a buffer that sends each thread's output to
// that thread's collection while one is open, and everything else on to
// standard output as before.
thread_local std::string* t_collect = nullptr;

class ThreadCollectingBuffer : public std::streambuf {
 public:
  explicit ThreadCollectingBuffer(std::streambuf* out) : out_(out) {}

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (t_collect) {
      t_collect->append(s, static_cast<std::size_t>(n));
      return n;
    }
    std::lock_guard lock(mutex_);
    return out_->sputn(s, n);
  }
  int sync() override {
    if (t_collect) return 0;
    std::lock_guard lock(mutex_);
    return out_->pubsync();
  }

 private:
  std::streambuf* out_;
  std::mutex mutex_;
};

std::streambuf* InstallCollectingBuffer() {
  static std::streambuf* original = [] {
    std::streambuf* out = std::cout.rdbuf();
    std::cout.rdbuf(new ThreadCollectingBuffer(out));
    return out;
  }();
  return original;
}

// Collects what this thread's tool prints while it lives.
class CaptureStdout {
 public:
  CaptureStdout() : previous_(t_collect) {
    InstallCollectingBuffer();
    t_collect = &text_;
  }
  ~CaptureStdout() { t_collect = previous_; }
  CaptureStdout(const CaptureStdout&) = delete;
  CaptureStdout& operator=(const CaptureStdout&) = delete;
  std::vector<std::string> Lines() {
    std::cout.flush();
    std::vector<std::string> out;
    std::string line;
    std::istringstream in(text_);
    while (std::getline(in, line)) out.push_back(line);
    return out;
  }

 private:
  std::string text_;
  std::string* previous_;
};

}  // namespace

std::streambuf* StandardOutputBuffer() { return InstallCollectingBuffer(); }

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
  std::vector<std::string> printed;
  std::exception_ptr failure;
  {
    CaptureStdout capture;
    try {
      fn();
    } catch (...) {
      failure = std::current_exception();
    }
    printed = capture.Lines();
  }
  for (auto& l : printed) {
    if (observer_.line) observer_.line(l);
    lines_.push_back(std::move(l));
  }
  if (input_.GetPrompt() != last_prompt_) {
    last_prompt_ = input_.GetPrompt();
    if (observer_.prompt) observer_.prompt(last_prompt_);
  }
  if (!failure) return;
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw ToolFailure(e.what());
  }
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
    throw std::invalid_argument("the palette '" +
                                fs::path(palette->GetFileName()).filename().string() +
                                "' has no parameter '" + name + "'");
  }
  // A value the field cannot hold is refused at the field, as a dialog
  // refuses it, before the tool sees it.
  const auto& ele = *palette->GetBuildingElements().at(0);
  if (ele.Has(name)) {
    const std::string refusal = ele[name].Refusal(HostBaseElements::PaletteValue(value));
    if (!refusal.empty()) throw FieldRefused(name, value, refusal);
  }
  Dispatch([&] {
    interactor_->modify_element_property(page, name, HostBaseElements::PaletteValue(value));
  });
}

void ToolRun::Cancel() {
  Dispatch([&] { interactor_->on_cancel_function(); });
}

ToolRun::CheckResult ToolRun::Check() {
  // A session of its own takes the message boxes: they are the check's
  // findings, not boxes the user is shown.
  HostUtil::Session scratch;
  scratch.SetShownPalette(session_.GetShownPalette());
  HostUtil::SessionScope scope(scratch);
  CheckResult result;
  {
    CaptureStdout capture;
    try {
      interactor_->on_control_event(kCheck);
    } catch (const std::exception& e) {
      std::cout << e.what() << '\n';
    }
    result.lines = capture.Lines();
  }
  result.findings = scratch.Messages();
  return result;
}

void ToolRun::SetCreated(const std::vector<HostReinf::ModelElementList>& cages) {
  std::vector<HostBaseElements::ModelDocument::Batch> batches;
  batches.reserve(cages.size());
  for (const auto& c : cages) batches.push_back({c});
  document_->SetBatches(std::move(batches));
}

}  // namespace pierhost

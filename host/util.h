// HostUtil: message boxes, string tables and the host's session, the state of
// the user interface that a run of the tool talks to.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/common_properties.h"
#include "host/palette.h"

namespace HostUtil {

inline constexpr int MB_OK = 0;
inline constexpr int IDOK = 1;

// Shows the text to the user in a modal box with the given buttons and
// records it in the current session, in order. Returns the button pressed.
int ShowMessageBox(const std::string& text, int buttons);

// The string tables the host hands to the tool for reading palettes.
struct StringTableService {
  HostBaseElements::StringTable str_table;
  HostBaseElements::StringTable material_str_table;
};

// The user interface of one run: what the user has been shown. The host
// makes a session current while it dispatches an event to the tool; a
// default session is current otherwise.
class Session {
 public:
  using MessageHandler = std::function<int(const std::string& text, int buttons)>;

  // Every message box text of this session, in order.
  const std::vector<std::string>& Messages() const { return messages_; }
  void ClearMessages() { messages_.clear(); }
  // How a message box reaches the user (terminal, dialog); the default
  // answers OK without showing anything.
  void SetMessageHandler(MessageHandler handler) { handler_ = std::move(handler); }
  int ShowMessage(const std::string& text, int buttons);

  // The palette currently shown, if any.
  std::shared_ptr<HostBaseElements::BuildingElementPaletteService> GetShownPalette() const {
    return shown_palette_.lock();
  }
  void SetShownPalette(const std::shared_ptr<HostBaseElements::BuildingElementPaletteService>& p) {
    shown_palette_ = p;
  }

 private:
  std::vector<std::string> messages_;
  MessageHandler handler_;
  std::weak_ptr<HostBaseElements::BuildingElementPaletteService> shown_palette_;
};

Session& CurrentSession();

// Makes `session` current for its lifetime.
class SessionScope {
 public:
  explicit SessionScope(Session& session);
  ~SessionScope();
  SessionScope(const SessionScope&) = delete;
  SessionScope& operator=(const SessionScope&) = delete;

 private:
  Session* previous_;
};

}  // namespace HostUtil

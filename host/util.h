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

// Writes one line to the host's console of the current session: where a tool
// prints. The line holds no newline; text with newlines is printed as lines.
void PrintLine(const std::string& line);

// The string tables the host hands to the tool for reading palettes.
struct StringTableService {
  HostBaseElements::StringTable str_table;
  HostBaseElements::StringTable material_str_table;
};

// The user interface of one run: what the user has been shown, its console
// and its global settings. The host makes a session current on the thread
// that dispatches an event to the tool; a process-wide default session is
// current otherwise. A session is used by one thread at a time.
class Session {
 public:
  using MessageHandler = std::function<int(const std::string& text, int buttons)>;
  using LineHandler = std::function<void(const std::string& line)>;

  // Every message box text of this session, in order.
  const std::vector<std::string>& Messages() const { return messages_; }
  void ClearMessages() { messages_.clear(); }
  // How a message box reaches the user (terminal, dialog); the default
  // answers OK without showing anything.
  void SetMessageHandler(MessageHandler handler) { handler_ = std::move(handler); }
  int ShowMessage(const std::string& text, int buttons);

  // The host's console: every line the tool printed in this session, in
  // order, and how a line reaches the user; without a handler a line goes
  // to standard output.
  const std::vector<std::string>& Lines() const { return lines_; }
  void SetLineHandler(LineHandler handler) { line_handler_ = std::move(handler); }
  void Print(const std::string& line);

  // The global settings (layer, pen, ...) new elements of this session get.
  const HostBaseElements::CommonProperties& GetGlobalProperties() const { return properties_; }
  void SetGlobalProperties(const HostBaseElements::CommonProperties& p) { properties_ = p; }

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
  std::vector<std::string> lines_;
  LineHandler line_handler_;
  HostBaseElements::CommonProperties properties_;
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

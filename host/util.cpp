#include "host/util.h"

#include <algorithm>
#include <cstdio>

namespace HostUtil {

namespace {
Session& DefaultSession() {
  static Session session;
  return session;
}
// Each thread that drives a run of the tool has its own current session.
thread_local Session* g_current = nullptr;
}  // namespace

Session& CurrentSession() { return g_current ? *g_current : DefaultSession(); }

SessionScope::SessionScope(Session& session) : previous_(g_current) { g_current = &session; }
SessionScope::~SessionScope() { g_current = previous_; }

int Session::ShowMessage(const std::string& text, int buttons) {
  messages_.push_back(text);
  return handler_ ? handler_(text, buttons) : IDOK;
}

int ShowMessageBox(const std::string& text, int buttons) {
  return CurrentSession().ShowMessage(text, buttons);
}

void Session::Print(const std::string& text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string line = text.substr(start, end - start);
    if (line_handler_) {
      line_handler_(line);
    } else {
      std::fputs(line.c_str(), stdout);
      std::fputc('\n', stdout);
    }
    lines_.push_back(std::move(line));
    start = end + 1;
  }
}

void PrintLine(const std::string& line) { CurrentSession().Print(line); }

}  // namespace HostUtil

namespace HostBaseElements {

// The global settings are the current session's: two runs on two threads
// never share them.
void SetGlobalProperties(const CommonProperties& props) {
  HostUtil::CurrentSession().SetGlobalProperties(props);
}
CommonProperties GlobalProperties() { return HostUtil::CurrentSession().GetGlobalProperties(); }
void CommonProperties::GetGlobalProperties() { *this = GlobalProperties(); }

}  // namespace HostBaseElements

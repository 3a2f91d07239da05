#include "host/util.h"

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

}  // namespace HostUtil

namespace HostBaseElements {

namespace {
CommonProperties& Globals() {
  static CommonProperties props;
  return props;
}
}  // namespace

void SetGlobalProperties(const CommonProperties& props) { Globals() = props; }
CommonProperties GlobalProperties() { return Globals(); }
void CommonProperties::GetGlobalProperties() { *this = Globals(); }

}  // namespace HostBaseElements

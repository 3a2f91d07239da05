// Feeds arbitrary bytes to the reader of the web API's event bodies, which
// any page could post to a running server. Any input must end in events or
// in a refusal with status 400 whose message repeats at most a short piece
// of the request; a crash, a hang, a sanitizer report or any other
// exception is a fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/serve/api.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  try {
    const auto events = pierhost::api::ParseEvents(body);
    if (events.empty() || events.size() > 100) __builtin_trap();
    for (const auto& event : events) {
      if (event.Describe().empty()) __builtin_trap();
    }
  } catch (const pierhost::api::Error& e) {
    // Refused: the expected outcome for most inputs. Never with the request
    // written back (a deep one overflowed the stack doing so).
    if (e.Status() != 400 || std::string(e.what()).size() > 400) __builtin_trap();
  }
  return 0;
}

// Feeds arbitrary bytes to the recorded session reader. Any input must end
// in a session or in an error a user can read (a std::exception); a crash, a
// hang, a sanitizer report or any other exception is a fault.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "app/session_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const auto session = pierhost::ParseSession(text, "fuzz.json", "/sessions");
    if (session.model_path.empty()) __builtin_trap();
  } catch (const std::exception&) {
    // Rejected with a message: the expected outcome for most inputs.
  }
  return 0;
}

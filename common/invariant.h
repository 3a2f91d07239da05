// Checks of what only a bug can break. They stay on in release builds: a
// broken one is an internal fault (a std::logic_error) that names what broke
// and where, never a wrong cage created in silence.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace geomkit {

[[noreturn]] inline void InvariantBroken(const char* what, std::string_view file, int line) {
  if (const auto slash = file.find_last_of('/'); slash != std::string_view::npos) {
    file.remove_prefix(slash + 1);
  }
  throw std::logic_error(std::string("broken invariant: ") + what + " (" + std::string(file) + ":" +
                         std::to_string(line) + ")");
}

// Where it is called from comes with the call (the compilers' builtins, as
// std::source_location is not there in every standard library we build with).
inline void Invariant(bool holds, const char* what, const char* file = __builtin_FILE(),
                      int line = __builtin_LINE()) {
  if (!holds) [[unlikely]]
    InvariantBroken(what, file, line);
}

}  // namespace geomkit

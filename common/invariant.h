// Checks of what only a bug can break. They stay on in release builds: a
// broken one is an internal fault (a std::logic_error) that names what broke
// and where, never a wrong cage created in silence.
#pragma once

#include <source_location>
#include <stdexcept>
#include <string>
#include <string_view>

namespace geomkit {

[[noreturn]] inline void InvariantBroken(const char* what, const std::source_location& where) {
  std::string_view file = where.file_name();
  if (const auto slash = file.find_last_of('/'); slash != std::string_view::npos) {
    file.remove_prefix(slash + 1);
  }
  throw std::logic_error(std::string("broken invariant: ") + what + " (" + std::string(file) + ":" +
                         std::to_string(where.line()) + ")");
}

inline void Invariant(bool holds, const char* what,
                      const std::source_location& where = std::source_location::current()) {
  if (!holds) [[unlikely]]
    InvariantBroken(what, where);
}

}  // namespace geomkit

// Feeds arbitrary bytes to the model file reader. Any input must end in a
// model or in an error a user can read (a std::exception); a crash, a hang,
// a sanitizer report or any other exception is a fault.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "host/elements.h"
#include "host/model_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const auto model = HostElementAdapter::ParseModelFile(text, "fuzz.json");
    // What the reader promises: every element found again by its id, and
    // every column a prism of 8 vertices over a counter-clockwise plan.
    const auto& elements = model->GetElements();
    for (std::size_t i = 0; i < elements.size(); ++i) {
      if (model->Find(elements[i].id) != i) __builtin_trap();
    }
    for (const std::size_t c : model->GetColumns()) {
      const auto& column = elements[c];
      if (column.geometry.GetVertices().size() != 8 || column.plan.size() != 4) __builtin_trap();
      double twice_area = 0;
      for (std::size_t k = 0; k < 4; ++k) {
        const auto& a = column.plan[k];
        const auto& b = column.plan[(k + 1) % 4];
        twice_area += a.X() * b.Y() - b.X() * a.Y();
      }
      if (!(twice_area > 0)) __builtin_trap();
    }
  } catch (const std::exception&) {
    // Rejected with a message: the expected outcome for most inputs.
  }
  return 0;
}

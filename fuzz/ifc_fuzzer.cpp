// Feeds arbitrary bytes to the IFC reader: the STEP syntax, then the
// element model. Any input must end in a model or in an error a user can
// read (a std::exception); a crash, a hang, a sanitizer report or any other
// exception is a fault.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "host/ifc_model.h"
#include "host/step_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const auto file = HostStep::StepFile::Parse(std::move(text), "fuzz.ifc");
    const auto model = HostIfc::ReadModel(*file);
    // What the reader promises: every column of the file taken or refused,
    // every element found again by its id, every column a prism of 8
    // vertices over a counter-clockwise plan.
    const auto* source = model->GetSource();
    if (!source) __builtin_trap();
    if (model->GetColumns().size() + source->refused.size() != source->columns_in_file) {
      __builtin_trap();
    }
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
      if (!(twice_area > 0) || !(column.top > column.bottom)) __builtin_trap();
    }
  } catch (const std::exception&) {
    // Refused with a message: the expected outcome for most inputs.
  }
  return 0;
}

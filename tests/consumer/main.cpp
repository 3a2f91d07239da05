// Uses the installed libraries as another project would.
#include <cstdio>

#include "common/geomkit.h"
#include "host/model_reader.h"

int main() {
  const auto model = HostElementAdapter::ParseModelFile(
      R"({"format": "pier-model", "version": 1, "name": "one",
          "columns": [{"id": "C1", "corners": [[0, 0], [400, 0], [400, 400], [0, 400]],
                       "bottom": 0, "top": 3000}]})",
      "one.json");
  const bool ok = model->GetElements().size() == 1 && geomkit::round_up(101.0) == 150.0;
  std::puts(ok ? "consumed" : "wrong");
  return ok ? 0 : 1;
}

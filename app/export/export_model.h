// What the host hands to its exporters: the building model and the cages
// the tool created in it, each with the columns it was made for.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/elements.h"
#include "host/reinf.h"

namespace pierhost {

struct CageRecord {
  std::string name;                     // unique within the export, e.g. "C1" or "C1+C2"
  std::vector<std::string> column_ids;  // the columns picked, lower first
  HostReinf::ModelElementList placements;
};

struct ExportInput {
  std::shared_ptr<const HostElementAdapter::ElementModel> model;
  std::vector<CageRecord> cages;
  std::string project;  // shown in headers
  std::string date;     // ISO date, fixed by the caller so that outputs are reproducible
};

}  // namespace pierhost

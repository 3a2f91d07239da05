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
  std::string name;                     // CageName(column_ids, number): unique within the export
  std::vector<std::string> column_ids;  // the columns picked, lower first
  HostReinf::ModelElementList placements;
  int number = 1;  // the how-manieth cage of these columns (a run may draw them again)
};

// A cage's name as people read it: its columns' ids joined by "+", and
// " #2" for the second cage of the same columns: "C1", "C1+C2", "C5 #2". An
// id that holds "+", "#" or a quote, or is empty, is quoted ("\"A+B\"",
// quotes doubled), so that different cages never get one name: a column
// named "A+B" is not the pair A, B.
std::string CageName(const std::vector<std::string>& column_ids, int number);

// The drawing the outputs are issued as: its number and revision, in the
// drawing's title block, the schedule's header and bars.abs.
struct DrawingIssue {
  std::string number = "RC-001";
  std::string revision = "P01";
};

struct ExportInput {
  std::shared_ptr<const HostElementAdapter::ElementModel> model;
  std::vector<CageRecord> cages;
  std::string project;  // shown in headers
  std::string date;     // ISO date, fixed by the caller so that outputs are reproducible
  // The drawing the outputs belong to, in the drawing's title block, the
  // schedule's header and the bending-machine file; its sheets are
  // numbered "<drawing_number>/<sheet>".
  std::string drawing_number = "RC-001";
  std::string revision = "P01";
};

}  // namespace pierhost

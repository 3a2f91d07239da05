// One interface for every output format the host writes, one writer per
// format. Files are never half written: each is written to a temporary file
// in the target folder and renamed over the old one.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/export/bar_schedule.h"
#include "app/export/export_model.h"

namespace pierhost {

class Exporter {
 public:
  virtual ~Exporter() = default;
  // The file name the writer's output gets in the output folder.
  virtual std::string FileName() const = 0;
  virtual void Write(const ExportInput& input, const Schedule& schedule,
                     std::ostream& out) const = 0;
};

std::unique_ptr<Exporter> MakeIfcWriter();
std::unique_ptr<Exporter> MakeScheduleCsvWriter();
std::unique_ptr<Exporter> MakeDrawingSvgWriter();
std::unique_ptr<Exporter> MakeModelJsonWriter();

// The writers of all four outputs: cage.ifc, schedule.csv, drawing.svg, model.json.
std::vector<std::unique_ptr<Exporter>> AllExporters();

// Writes `text` to dir/name through a temporary file and a rename. A folder
// that cannot be written is an error naming it; nothing is left half written.
void WriteFileAtomically(const std::string& dir, const std::string& name, const std::string& text);

// Writes every exporter's output into `dir` (created if missing); returns
// the paths written.
std::vector<std::string> ExportAll(const ExportInput& input, const std::string& dir);
// The same with the schedule already built from `input`.
std::vector<std::string> ExportAll(const ExportInput& input, const Schedule& schedule,
                                   const std::string& dir);

// The schedule as a table for the terminal.
std::string ScheduleTable(const ExportInput& input, const Schedule& schedule);

}  // namespace pierhost

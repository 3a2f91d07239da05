// One interface for every output format the host writes, one writer per
// format. The outputs of a run are published as a set, never half written
// and never mixed with those of another run (app/export/output_folder.h).
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/export/bar_schedule.h"
#include "app/export/export_model.h"
#include "app/export/output_folder.h"

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
std::unique_ptr<Exporter> MakeScheduleXlsxWriter();
std::unique_ptr<Exporter> MakeBvbsWriter();
std::unique_ptr<Exporter> MakeDrawingSvgWriter();
std::unique_ptr<Exporter> MakeDrawingPdfWriter();
std::unique_ptr<Exporter> MakeModelJsonWriter();

// The writers of every output: cage.ifc, schedule.csv, schedule.xlsx,
// bars.abs, drawing.svg, drawing.pdf, model.json.
std::vector<std::unique_ptr<Exporter>> AllExporters();

// The drawing's sheets: A3 landscape, mm.
inline constexpr double kSheetWidthMm = 420;
inline constexpr double kSheetHeightMm = 297;

// Writes every exporter's output into `dir` (created if missing) as one
// set; returns the paths written. `waiting` is told when another run writing
// into the folder makes this one wait.
std::vector<std::string> ExportAll(const ExportInput& input, const std::string& dir);
// The same with the schedule already built from `input`.
std::vector<std::string> ExportAll(
    const ExportInput& input, const Schedule& schedule, const std::string& dir,
    const std::function<void(const std::string& note)>& waiting = {});

// Which sides of a column's plan (corners counter-clockwise) the cage calls
// its X faces: the first and the third when the first side runs within 45
// degrees of the model's x axis, else the second and the fourth.
bool FirstSideIsXFace(const std::vector<HostGeo::Point2D>& plan);

// The sections of input.cages[cage] as drawing.svg draws them (through the
// lower column, and the upper one where bars continue into it; the sizes,
// the cover, every bar cut labelled by its mark, the links' call-up), each
// side labelled X or Y as the cage names its faces: one SVG, in paper mm.
std::string SectionSvg(const ExportInput& input, const Schedule& schedule, std::size_t cage);

// The schedule as a table for the terminal.
std::string ScheduleTable(const ExportInput& input, const Schedule& schedule);

}  // namespace pierhost

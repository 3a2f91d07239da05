#include "app/export/exporter.h"

#include <stdexcept>
#include <thread>

#include "app/export/output_folder.h"

namespace pierhost {

std::string CageName(const std::vector<std::string>& column_ids, int number) {
  std::string name;
  for (const auto& id : column_ids) {
    if (!name.empty()) name += '+';
    if (!id.empty() && id.find_first_of("+#\"") == std::string::npos) {
      name += id;
      continue;
    }
    name += '"';
    for (const char ch : id) name += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    name += '"';
  }
  return number > 1 ? name + " #" + std::to_string(number) : name;
}

std::vector<std::unique_ptr<Exporter>> AllExporters() {
  std::vector<std::unique_ptr<Exporter>> out;
  out.push_back(MakeIfcWriter());
  out.push_back(MakeScheduleCsvWriter());
  out.push_back(MakeScheduleXlsxWriter());
  out.push_back(MakeBvbsWriter());
  out.push_back(MakeDrawingSvgWriter());
  out.push_back(MakeDrawingPdfWriter());
  out.push_back(MakeModelJsonWriter());
  return out;
}

std::vector<std::string> ExportAll(const ExportInput& input, const std::string& dir) {
  return ExportAll(input, BuildSchedule(input), dir);
}

std::vector<std::string> ExportAll(const ExportInput& input, const Schedule& schedule,
                                   const std::string& dir,
                                   const std::function<void(const std::string&)>& waiting) {
  const auto exporters = AllExporters();
  std::vector<std::string> names;
  for (const auto& exporter : exporters) names.push_back(exporter->FileName());
  OutputFolder folder(dir, names, waiting);
  // Every writer writes its file of the new set, side by side on their own
  // threads (the writers only read the cages). Only when all of them
  // succeeded is the set published; otherwise it is dropped, and the
  // folder's outputs stay as they were.
  std::vector<std::exception_ptr> failures(exporters.size());
  std::vector<std::unique_ptr<FileOut>> files;
  for (const auto& name : names) files.push_back(folder.Create(name));
  {
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < exporters.size(); ++i) {
      threads.emplace_back([&, i] {
        try {
          exporters[i]->Write(input, schedule, *files[i]);
          if (!files[i]->Close()) {
            throw OutputError(folder.PathOf(names[i]) + ": writing failed: " + files[i]->Error());
          }
        } catch (...) {
          failures[i] = std::current_exception();
        }
      });
    }
    for (auto& t : threads) t.join();
  }
  for (const auto& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
  return folder.Publish();
}

}  // namespace pierhost

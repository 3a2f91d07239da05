#include "app/export/exporter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

namespace pierhost {

namespace fs = std::filesystem;

std::vector<std::unique_ptr<Exporter>> AllExporters() {
  std::vector<std::unique_ptr<Exporter>> out;
  out.push_back(MakeIfcWriter());
  out.push_back(MakeScheduleCsvWriter());
  out.push_back(MakeDrawingSvgWriter());
  out.push_back(MakeModelJsonWriter());
  return out;
}

void WriteFileAtomically(const std::string& dir, const std::string& name, const std::string& text) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) throw std::runtime_error(dir + ": cannot create the output folder: " + ec.message());
  const fs::path target = fs::path(dir) / name;
  const fs::path temp = fs::path(dir) / ("." + name + ".tmp" + std::to_string(::getpid()));
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error(dir + ": cannot write into the output folder");
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      fs::remove(temp, ec);
      throw std::runtime_error(target.string() + ": writing failed (disk full?)");
    }
  }
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    throw std::runtime_error(target.string() + ": cannot replace the file: " + ec.message());
  }
}

std::vector<std::string> ExportAll(const ExportInput& input, const std::string& dir) {
  const Schedule schedule = BuildSchedule(input);
  // Everything is produced before anything is written, so that a failing
  // writer leaves the folder as it was.
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& exporter : AllExporters()) {
    std::ostringstream text;
    exporter->Write(input, schedule, text);
    files.emplace_back(exporter->FileName(), text.str());
  }
  std::vector<std::string> written;
  for (const auto& [name, text] : files) {
    WriteFileAtomically(dir, name, text);
    written.push_back((fs::path(dir) / name).string());
  }
  return written;
}

}  // namespace pierhost

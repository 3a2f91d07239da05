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

namespace {

std::string TempName(const std::string& name) { return "." + name + ".tmp" + std::to_string(::getpid()); }

// Writes `text` to a temporary file beside `name` in `dir`; returns its path.
fs::path WriteTemp(const std::string& dir, const std::string& name, const std::string& text) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) throw std::runtime_error(dir + ": cannot create the output folder: " + ec.message());
  const fs::path temp = fs::path(dir) / TempName(name);
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error(dir + ": cannot write into the output folder");
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.flush();
  if (!out) {
    out.close();
    fs::remove(temp, ec);
    throw std::runtime_error((fs::path(dir) / name).string() + ": writing failed (disk full?)");
  }
  return temp;
}

void Replace(const fs::path& temp, const fs::path& target) {
  std::error_code ec;
  fs::rename(temp, target, ec);
  if (ec) {
    const std::string why = ec.message();
    fs::remove(temp, ec);
    throw std::runtime_error(target.string() + ": cannot replace the file: " + why);
  }
}

}  // namespace

void WriteFileAtomically(const std::string& dir, const std::string& name, const std::string& text) {
  Replace(WriteTemp(dir, name, text), fs::path(dir) / name);
}

std::vector<std::string> ExportAll(const ExportInput& input, const std::string& dir) {
  const Schedule schedule = BuildSchedule(input);
  // Everything is produced and written to temporary files before any output
  // is replaced, so that a failing writer or a full disk leaves the folder
  // as it was.
  std::vector<std::pair<fs::path, fs::path>> files;
  try {
    for (const auto& exporter : AllExporters()) {
      std::ostringstream text;
      exporter->Write(input, schedule, text);
      const fs::path target = fs::path(dir) / exporter->FileName();
      if (fs::is_directory(target)) {
        throw std::runtime_error(target.string() + ": a folder of that name is in the way");
      }
      files.emplace_back(WriteTemp(dir, exporter->FileName(), text.str()), target);
    }
  } catch (...) {
    std::error_code ec;
    for (const auto& [temp, target] : files) fs::remove(temp, ec);
    throw;
  }
  std::vector<std::string> written;
  for (const auto& [temp, target] : files) {
    Replace(temp, target);
    written.push_back(target.string());
  }
  return written;
}

}  // namespace pierhost

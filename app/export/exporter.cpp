#include "app/export/exporter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

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

std::string TempName(const std::string& name) {
  return "." + name + ".tmp" + std::to_string(::getpid());
}

void CreateFolder(const std::string& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) throw std::runtime_error(dir + ": cannot create the output folder: " + ec.message());
}

// Writes what `write` produces to a temporary file beside `name` in `dir`;
// returns its path. A failure removes the temporary file.
template <typename WriteFn>
fs::path WriteTemp(const std::string& dir, const std::string& name, WriteFn&& write) {
  const fs::path temp = fs::path(dir) / TempName(name);
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error(dir + ": cannot write into the output folder");
  std::error_code ec;
  try {
    write(out);
    out.flush();
  } catch (...) {
    out.close();
    fs::remove(temp, ec);
    throw;
  }
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
  CreateFolder(dir);
  Replace(WriteTemp(dir, name,
                    [&](std::ostream& out) {
                      out.write(text.data(), static_cast<std::streamsize>(text.size()));
                    }),
          fs::path(dir) / name);
}

std::vector<std::string> ExportAll(const ExportInput& input, const std::string& dir) {
  return ExportAll(input, BuildSchedule(input), dir);
}

std::vector<std::string> ExportAll(const ExportInput& input, const Schedule& schedule,
                                   const std::string& dir) {
  CreateFolder(dir);
  const auto exporters = AllExporters();
  for (const auto& exporter : exporters) {
    if (fs::is_directory(fs::path(dir) / exporter->FileName())) {
      throw std::runtime_error((fs::path(dir) / exporter->FileName()).string() +
                               ": a folder of that name is in the way");
    }
  }
  // Every writer writes its temporary file, side by side on their own
  // threads (the writers only read the cages). Only when all of them
  // succeeded are the outputs replaced, so that a failing writer or a full
  // disk leaves the folder as it was.
  std::vector<fs::path> temps(exporters.size());
  std::vector<std::exception_ptr> failures(exporters.size());
  {
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < exporters.size(); ++i) {
      threads.emplace_back([&, i] {
        try {
          temps[i] = WriteTemp(dir, exporters[i]->FileName(), [&](std::ostream& out) {
            exporters[i]->Write(input, schedule, out);
          });
        } catch (...) {
          failures[i] = std::current_exception();
        }
      });
    }
    for (auto& t : threads) t.join();
  }
  for (const auto& failure : failures) {
    if (!failure) continue;
    std::error_code ec;
    for (const auto& temp : temps) {
      if (!temp.empty()) fs::remove(temp, ec);
    }
    std::rethrow_exception(failure);
  }
  std::vector<std::string> written;
  for (std::size_t i = 0; i < exporters.size(); ++i) {
    const fs::path target = fs::path(dir) / exporters[i]->FileName();
    Replace(temps[i], target);
    written.push_back(target.string());
  }
  return written;
}

}  // namespace pierhost

// Assertions on an output folder of pierhost: one published set of the
// outputs and nothing else left behind (app/export/output_folder.h).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

inline const std::vector<std::string> kOutputNames{"bars.abs",     "cage.ifc",   "drawing.pdf",
                                                   "drawing.svg",  "model.json", "schedule.csv",
                                                   "schedule.xlsx"};

// The names in a folder, hidden ones included, sorted; none when it is missing.
inline std::vector<std::string> Listing(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  if (std::filesystem::is_directory(dir, ec)) {
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      names.push_back(e.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

// `dir` holds the outputs, each a link into the one current set, the set
// folder holds their files, and nothing else is left: no temporary
// file, no set of a run that failed or died.
inline ::testing::AssertionResult OneSetOfOutputs(const std::filesystem::path& dir) {
  namespace fs = std::filesystem;
  std::vector<std::string> expected = kOutputNames;
  expected.push_back(".pierhost");
  std::sort(expected.begin(), expected.end());
  const auto names = Listing(dir);
  const auto join = [](const std::vector<std::string>& v) {
    std::string s;
    for (const auto& n : v) s += (s.empty() ? "" : ", ") + n;
    return s;
  };
  if (names != expected) {
    return ::testing::AssertionFailure() << dir << " holds " << join(names);
  }
  const fs::path store = dir / ".pierhost";
  std::error_code ec;
  const fs::path current = fs::read_symlink(store / "current", ec);
  if (ec) return ::testing::AssertionFailure() << store << " has no current set";
  const auto stored = Listing(store);
  std::vector<std::string> kept{current.string(), "current", "lock"};
  std::sort(kept.begin(), kept.end());
  if (stored != kept) {
    return ::testing::AssertionFailure() << store << " holds " << join(stored);
  }
  if (Listing(store / current) != kOutputNames) {
    return ::testing::AssertionFailure()
           << "the current set " << current << " holds " << join(Listing(store / current));
  }
  for (const auto& name : kOutputNames) {
    const fs::path link = fs::read_symlink(dir / name, ec);
    if (ec || link != fs::path(".pierhost/current") / name) {
      return ::testing::AssertionFailure() << dir / name << " is not a link into the current set";
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace testsupport

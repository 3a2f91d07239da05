// tablegen: writes the lap and anchorage length tables into a folder.
//
//   tablegen --out DIR
//
// The values are computed by lengthtables (see length_tables.h for the
// formulas); the build runs this program to put the tables into the tool's
// folder.
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "tables/length_tables.h"

namespace {

constexpr std::string_view kUsage =
    "usage: tablegen --out DIR\n"
    "\n"
    "Computes the lap and anchorage length tables of the column tool and writes\n"
    "lap_length_for_tension.csv, anchorage_length_for_tension.csv and\n"
    "lap_length_for_anchorage.csv into DIR (created when missing).\n"
    "\n"
    "options:\n"
    "  --out DIR    the folder to write the tables into (also --out=DIR)\n"
    "  -h, --help   show this text\n";

int UsageError(const std::string& message) {
  std::cerr << "tablegen: " << message << "\n\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::string> out;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--out") {
      if (i + 1 >= argc) return UsageError("--out needs a folder");
      out = argv[++i];
    } else if (arg.starts_with("--out=")) {
      out = std::string(arg.substr(6));
    } else {
      return UsageError("unknown argument \"" + std::string(arg) + "\"");
    }
    if (out->empty()) return UsageError("--out needs a folder, not an empty name");
  }
  if (!out) return UsageError("no output folder given");

  try {
    lengthtables::WriteTables(*out);
  } catch (const std::exception& e) {
    std::cerr << "tablegen: " << e.what() << '\n';
    return 1;
  }
  return 0;
}

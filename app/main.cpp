// pierhost: the standalone host of the column cage tool. It reads a
// building model, loads the tool's plug-in module, drives it with the
// events a CAD host sends and writes what the tool created.
#include <CLI/CLI.hpp>

#include <iostream>

#include "app/commands.h"

int main(int argc, char** argv) {
  using namespace pierhost;
  CLI::App app{"pierhost: reinforce concrete columns with the column cage tool, outside a CAD program.\n"
               "Exit status: 0 bars created, 2 bad input or usage, 3 the cage's checks blocked creation."};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "Show the help of every command");

  CageOptions cage;
  std::vector<std::string> sets;
  auto* cage_cmd = app.add_subcommand("cage", "One run of the tool: pick, Finish, palette edits, preview, Draw");
  cage_cmd->add_option("MODEL", cage.model, "Building model file (JSON)")->required()->check(CLI::ExistingFile);
  cage_cmd->add_option("--pick", cage.picks, "Element id to click, in order (the column, then the column on it)")
      ->required()
      ->take_last()
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cage_cmd->add_option("--set", sets, "Palette edit NAME=VALUE, applied in order after Finish")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cage_cmd->add_option("--out", cage.out_dir, "Folder for cage.ifc, schedule.csv, drawing.svg, model.json")
      ->capture_default_str();

  std::string session, session_out = ".";
  auto* run_cmd = app.add_subcommand("run", "Replay a recorded session of events");
  run_cmd->add_option("SESSION", session, "Session file (JSON)")->required()->check(CLI::ExistingFile);
  run_cmd->add_option("--out", session_out, "Folder for the outputs")->capture_default_str();

  std::string tables_out;
  auto* tables_cmd = app.add_subcommand("tables", "Write the three lap and anchorage length tables");
  tables_cmd->add_option("--out", tables_out, "Folder to write them into")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kExitBadInput;
  }

  Terminal terminal = Terminal::ForStdout();
  try {
    const ToolLocation tool = ToolLocation::Default(argv[0]);
    if (*cage_cmd) {
      for (const auto& s : sets) cage.sets.push_back(ParseSet(s));
      return RunCage(cage, tool, terminal);
    }
    if (*run_cmd) return RunSession(session, session_out, tool, terminal);
    if (*tables_cmd) return WriteTables(tables_out, terminal);
  } catch (const std::bad_alloc&) {
    terminal.Error("out of memory");
    return kExitFailed;
  } catch (const std::exception& e) {
    terminal.Error(e.what());
    return kExitBadInput;
  }
  return kExitBadInput;
}

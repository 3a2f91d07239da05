// pierhost: the standalone host of the column cage tool. It reads a
// building model, loads the tool's plug-in module, drives it with the
// events a CAD host sends and writes what the tool created.
#include <CLI/CLI.hpp>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <iostream>

#include "app/building.h"
#include "app/commands.h"
#include "app/export/exporter.h"
#include "app/export/output_folder.h"
#include "app/generate.h"
#include "app/rules.h"
#include "app/serve/server.h"
#include "host/plugin_api.h"

int main(int argc, char** argv) {
  using namespace pierhost;
  // A file-size limit (ulimit -f) then makes a write fail with a message,
  // and the unfinished outputs are removed, instead of the process being
  // killed halfway.
  std::signal(SIGXFSZ, SIG_IGN);
  CLI::App app{
      "pierhost: reinforce concrete columns with the column cage tool, outside a CAD program.\n"
      "Exit status: 0 bars created, 2 bad input or usage, 3 the cage's checks blocked creation, "
      "4 the outputs could not be written (full disk, unwritable folder), 1 an internal fault."};
  // At most one command; that there is one is checked after parsing, so that
  // an unknown word is reported as such rather than as a missing command.
  app.require_subcommand(0, 1);
  app.set_help_all_flag("--help-all", "Show the help of every command");

  CageOptions cage;
  std::vector<std::string> sets;
  auto* cage_cmd =
      app.add_subcommand("cage", "One run of the tool: pick, Finish, palette edits, preview, Draw");
  cage_cmd->add_option("MODEL", cage.model, "Building model: a model file (JSON) or an IFC file")
      ->required()
      ->check(CLI::ExistingFile);
  cage_cmd->add_flag("--all-columns", cage.all_columns,
                     "IFC: take the columns of every material, not only concrete ones");
  cage_cmd
      ->add_option("--pick", cage.picks,
                   "Element to click, in order (the column, then the column on it): its id, or "
                   "for an IFC model its GlobalId, Name or Tag")
      ->required()
      ->take_last()
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cage_cmd->add_option("--set", sets, "Palette edit NAME=VALUE, applied in order after Finish")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cage_cmd
      ->add_option("--out", cage.out_dir,
                   "Folder for cage.ifc, schedule.csv and .xlsx, bars.abs, drawing.svg and .pdf, "
                   "model.json")
      ->capture_default_str();

  const auto issue_options = [](CLI::App* command, DrawingIssue& issue) {
    command->add_option("--drawing", issue.number, "Drawing number of the outputs")
        ->capture_default_str();
    command->add_option("--revision", issue.revision, "Revision of the drawing")
        ->capture_default_str();
  };
  issue_options(cage_cmd, cage.issue);

  std::string session, session_out = ".";
  DrawingIssue session_issue;
  auto* run_cmd = app.add_subcommand("run", "Replay a recorded session of events");
  run_cmd->add_option("SESSION", session, "Session file (JSON)")
      ->required()
      ->check(CLI::ExistingFile);
  run_cmd->add_option("--out", session_out, "Folder for the outputs")->capture_default_str();
  issue_options(run_cmd, session_issue);

  std::string tables_out;
  auto* tables_cmd =
      app.add_subcommand("tables", "Write the three lap and anchorage length tables");
  tables_cmd->add_option("--out", tables_out, "Folder to write them into")->required();

  BuildingOptions building;
  std::vector<std::string> building_sets;
  auto* building_cmd = app.add_subcommand("building", "Reinforce every column of a building model");
  building_cmd
      ->add_option("MODEL", building.model, "Building model: a model file (JSON) or an IFC file")
      ->required()
      ->check(CLI::ExistingFile);
  building_cmd->add_flag("--all-columns", building.all_columns,
                         "IFC: take the columns of every material, not only concrete ones");
  std::string rules;
  building_cmd
      ->add_option("--rules", rules,
                   "Rules file: palette edits per kind of column, the first matching rule's "
                   "applied after --set (docs/rules.md)")
      ->check(CLI::ExistingFile);
  building_cmd
      ->add_option("--set", building_sets,
                   "Palette edit NAME=VALUE applied to every column, in order")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  building_cmd->add_option("--out", building.out_dir, "Folder for the outputs")
      ->capture_default_str();
  issue_options(building_cmd, building.issue);
  building_cmd
      ->add_option(
          "--slab-zone", building.slab_zone,
          "Largest gap (mm) between a column's top and the bottom of the column it carries")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);

  GenerateOptions generate;
  std::string grid = "5x4", size = "400x600", generate_out;
  auto* generate_cmd = app.add_subcommand("generate", "Write a synthetic building model");
  generate_cmd->add_option("--storeys", generate.storeys, "Number of storeys")
      ->required()
      ->check(CLI::Range(1, 1000));
  generate_cmd->add_option("--grid", grid, "Columns per storey along x and y, AxB")->required();
  generate_cmd->add_option("--size", size, "Section of the lowest columns in mm, WxL")
      ->capture_default_str();
  generate_cmd->add_option("--seed", generate.seed, "Seed of the offsets and missing columns")
      ->capture_default_str();
  generate_cmd->add_option("--out", generate_out, "Model file to write (default: standard output)");
  bool generate_ifc = false;
  generate_cmd->add_flag("--ifc", generate_ifc,
                         "Write the building as an IFC4 file (columns, walls, storeys, materials)");

  ServeOptions serve;
  auto* serve_cmd = app.add_subcommand(
      "serve", "Serve the tool in a browser: the model in 3D, the palette, the preview");
  serve_cmd->add_option("MODEL", serve.model, "Building model: a model file (JSON) or an IFC file")
      ->required()
      ->check(CLI::ExistingFile);
  serve_cmd->add_flag("--all-columns", serve.all_columns,
                      "IFC: take the columns of every material, not only concrete ones");

  ModelOptions model;
  auto* model_cmd = app.add_subcommand(
      "model",
      "Show what pierhost takes from a model: storeys, columns (and for an IFC file those "
      "not taken, with their reasons) and walls");
  model_cmd->add_option("MODEL", model.model, "Building model: a model file (JSON) or an IFC file")
      ->required()
      ->check(CLI::ExistingFile);
  model_cmd->add_flag("--all-columns", model.all_columns,
                      "IFC: take the columns of every material, not only concrete ones");
  model_cmd->add_flag("--json", model.json, "Print JSON (mm, world coordinates) for programs");
  serve_cmd->add_option("--port", serve.port, "Port to listen on (0: any free one)")
      ->capture_default_str()
      ->check(CLI::Range(0, 65535));
  serve_cmd->add_option("--host", serve.host, "Address to listen on")->capture_default_str();
  serve_cmd->add_option("--web", serve.web_dir,
                        "Folder of the page (default: web/ beside the program's build)");

  try {
    app.parse(argc, argv);
    if (app.get_subcommands().empty()) throw CLI::RequiredError("A command");
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kExitBadInput;
  }

  Terminal terminal = Terminal::ForStdout();
  try {
    const ToolLocation tool = ToolLocation::Default(argv[0]);
    if (*cage_cmd) {
      for (const auto& s : sets) cage.sets.push_back(ParseSet(s));
      CheckDrawingIssue(cage.issue);
      return RunCage(cage, tool, terminal);
    }
    if (*run_cmd) {
      CheckDrawingIssue(session_issue);
      return RunSession(session, session_out, tool, terminal, session_issue);
    }
    if (*serve_cmd) {
      if (serve.web_dir.empty()) serve.web_dir = DefaultWebDir(argv[0]);
      return RunServe(serve, tool, terminal);
    }
    if (*tables_cmd) return WriteTables(tables_out, terminal);
    if (*model_cmd) return ShowModel(model, terminal);
    if (*building_cmd) {
      for (const auto& s : building_sets) building.sets.push_back(ParseSet(s));
      if (!rules.empty())
        building.rules = std::make_shared<BuildingRules>(BuildingRules::Read(rules));
      CheckDrawingIssue(building.issue);
      return RunBuilding(building, tool, terminal);
    }
    if (*generate_cmd) {
      const auto [gx, gy] = ParsePair(grid, "--grid");
      const auto [w, l] = ParsePair(size, "--size");
      if (gx != std::floor(gx) || gy != std::floor(gy))
        throw std::invalid_argument("--grid expects whole numbers");
      generate.grid_x = static_cast<int>(gx);
      generate.grid_y = static_cast<int>(gy);
      generate.width = w;
      generate.length = l;
      const std::string text =
          generate_ifc ? GenerateIfcBuilding(generate) : GenerateBuilding(generate);
      if (generate_out.empty()) {
        std::cout << text;
      } else {
        const std::filesystem::path path(generate_out);
        WriteFileAtomically(path.parent_path().empty() ? "." : path.parent_path().string(),
                            path.filename().string(), text);
        terminal.Note("wrote " + generate_out);
      }
      return kExitCreated;
    }
  } catch (const OutputError& e) {
    terminal.Error(std::string(e.what()) + " (no outputs of this run were published)");
    return kExitOutputFailed;
  } catch (const std::bad_alloc&) {
    terminal.Error("out of memory");
    return kExitFailed;
  } catch (const std::exception& e) {
    if (HostUtil::IsInternalFault(e)) {
      terminal.Error(std::string("internal fault of pierhost (please report it): ") + e.what());
      return kExitFailed;
    }
    terminal.Error(e.what());
    return kExitBadInput;
  } catch (...) {
    terminal.Error("internal fault of pierhost (please report it): an unknown error");
    return kExitFailed;
  }
  return kExitBadInput;
}

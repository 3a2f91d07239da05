#include "app/building.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "app/commands.h"
#include "app/export/exporter.h"
#include "host/model_reader.h"

namespace pierhost {

using HostElementAdapter::Element;
using HostElementAdapter::ElementModel;
using HostGeo::Point2D;

namespace {

constexpr double kTol = HostElementAdapter::kCornerTolerance;

// The plan relative to a point, so that columns far from the origin keep
// their digits.
std::vector<Point2D> Relative(const Element& e, const Point2D& o) {
  std::vector<Point2D> out;
  for (const auto& p : e.plan) out.emplace_back(p.X() - o.X(), p.Y() - o.Y());
  return out;
}

double Area(const std::vector<Point2D>& p) {
  double twice = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point2D& a = p[i];
    const Point2D& b = p[(i + 1) % p.size()];
    twice += a.X() * b.Y() - b.X() * a.Y();
  }
  return twice / 2;
}

// How far p lies on the right of the edge a -> b (outside a
// counter-clockwise polygon); negative inside.
double Outside(const Point2D& a, const Point2D& b, const Point2D& p) {
  const double length = a.GetDistance(b);
  return -((b.X() - a.X()) * (p.Y() - a.Y()) - (b.Y() - a.Y()) * (p.X() - a.X())) / length;
}

// The area two convex counter-clockwise plans share (the one clipped by the
// other, edge by edge).
double OverlapArea(const std::vector<Point2D>& subject, const std::vector<Point2D>& clip) {
  std::vector<Point2D> poly = subject;
  for (std::size_t i = 0; i < clip.size() && !poly.empty(); ++i) {
    const Point2D& a = clip[i];
    const Point2D& b = clip[(i + 1) % clip.size()];
    std::vector<Point2D> next;
    for (std::size_t k = 0; k < poly.size(); ++k) {
      const Point2D& p = poly[k];
      const Point2D& q = poly[(k + 1) % poly.size()];
      const double dp = Outside(a, b, p), dq = Outside(a, b, q);
      if (dp <= 0) next.push_back(p);
      if ((dp < 0 && dq > 0) || (dp > 0 && dq < 0)) {
        const double t = dp / (dp - dq);
        next.emplace_back(p.X() + t * (q.X() - p.X()), p.Y() + t * (q.Y() - p.Y()));
      }
    }
    poly = std::move(next);
  }
  return poly.size() < 3 ? 0.0 : Area(poly);
}

std::string Mm(double v) {
  std::ostringstream s;
  s << std::round(v * 10) / 10;
  return s.str();
}

std::pair<double, double> Sides(const std::vector<Point2D>& plan) {
  const double a = plan[0].GetDistance(plan[1]), b = plan[1].GetDistance(plan[2]);
  return {std::min(a, b), std::max(a, b)};
}

// Why the stacked cage cannot take `upper` on `lower` (plans relative to one
// point), if it cannot: it carries the upper column's bars from the lower
// one's, so the upper must stand within the lower, parallel to it.
std::optional<Stacks::Single> Unstackable(const std::vector<Point2D>& lower,
                                          const std::vector<Point2D>& upper) {
  constexpr double kSizeTol = 0.1;  // mm, as the tool compares sizes
  const auto [lw, ll] = Sides(lower);
  const auto [uw, ul] = Sides(upper);
  if (uw > lw + kSizeTol || ul > ll + kSizeTol) {
    return Stacks::Single{0, 0, "the column above is larger",
                          Mm(uw) + " x " + Mm(ul) + " on " + Mm(lw) + " x " + Mm(ll) + " mm"};
  }
  double out = 0;
  for (const auto& p : upper) {
    for (std::size_t i = 0; i < 4; ++i)
      out = std::max(out, Outside(lower[i], lower[(i + 1) % 4], p));
  }
  if (out > kTol)
    return Stacks::Single{0, 0, "the column above overhangs it", "by " + Mm(out) + " mm"};
  const auto direction = [](const std::vector<Point2D>& p) {
    return std::atan2(p[1].Y() - p[0].Y(), p[1].X() - p[0].X());
  };
  const double quarter = std::numbers::pi / 2;
  const double turn = direction(upper) - direction(lower);
  const double off = std::abs(turn - quarter * std::round(turn / quarter)) * 180 / std::numbers::pi;
  if (off > HostElementAdapter::kAngleTolerance) {
    return Stacks::Single{0, 0, "the column above is turned against it",
                          "by " + Mm(off) + " degrees"};
  }
  return std::nullopt;
}

}  // namespace

Stacks FindStacks(const ElementModel& model, double slab_zone) {
  const auto& elements = model.GetElements();
  const auto columns = model.GetColumns();
  for (const auto i : columns) {
    const Element& e = elements[i];
    const auto check = [&](double v, const char* what) {
      if (!std::isfinite(v) || std::abs(v) > kMaxCoordinate) {
        std::ostringstream s;
        s << model.GetSourceName() << ": column '" << e.id << "': its " << what << " " << v
          << " mm lies beyond " << kMaxCoordinate
          << " mm (100,000 km) from the origin; no building is that far out";
        throw std::invalid_argument(s.str());
      }
    };
    for (const auto& p : e.plan) {
      check(p.X(), "x coordinate");
      check(p.Y(), "y coordinate");
    }
    check(e.bottom, "bottom");
    check(e.top, "top");
  }
  // Each column is indexed once, by the plan cell of its centre; columns
  // wider than a cell are kept aside and tried against every column. A
  // lookup visits the cells near a column or, when they outnumber the
  // cells that hold columns, those cells: the work follows what exists,
  // never the area a column covers.
  constexpr double kCell = 2000;  // mm
  struct Box {
    double x0, y0, x1, y1;
  };
  std::vector<Box> boxes(elements.size());
  std::unordered_map<std::uint64_t, std::vector<std::size_t>> cells;
  std::vector<std::size_t> wide;
  const auto cell_of = [](double v) { return static_cast<std::int64_t>(std::floor(v / kCell)); };
  const auto key = [](std::int64_t x, std::int64_t y) {
    return (static_cast<std::uint64_t>(x + (1LL << 31)) << 32) |
           static_cast<std::uint64_t>(y + (1LL << 31));
  };
  for (const auto i : columns) {
    Box b{1e300, 1e300, -1e300, -1e300};
    for (const auto& p : elements[i].plan) {
      b = {std::min(b.x0, p.X()), std::min(b.y0, p.Y()), std::max(b.x1, p.X()),
           std::max(b.y1, p.Y())};
    }
    boxes[i] = b;
    if (b.x1 - b.x0 > kCell || b.y1 - b.y0 > kCell) {
      wide.push_back(i);
    } else {
      cells[key(cell_of((b.x0 + b.x1) / 2), cell_of((b.y0 + b.y1) / 2))].push_back(i);
    }
  }
  Stacks out;
  out.above.assign(elements.size(), std::nullopt);
  for (const auto i : columns) {
    const Element& lower = elements[i];
    const Box& lb = boxes[i];
    const Point2D origin = lower.plan[0];
    const auto lower_plan = Relative(lower, origin);
    struct Best {
      std::size_t index;
      double bottom, overlap;
    };
    std::optional<Best> best;
    const auto consider = [&](std::size_t j) {
      if (j == i) return;
      const Element& upper = elements[j];
      const double gap = upper.bottom - lower.top;
      if (gap < -kTol || gap > slab_zone) return;
      const Box& ub = boxes[j];
      if (ub.x0 >= lb.x1 || ub.x1 <= lb.x0 || ub.y0 >= lb.y1 || ub.y1 <= lb.y0) return;
      const double overlap = OverlapArea(Relative(upper, origin), lower_plan);
      if (overlap <= 1) return;  // mm2: touching is not standing on
      if (!best || upper.bottom < best->bottom ||
          (upper.bottom == best->bottom &&
           (overlap > best->overlap || (overlap == best->overlap && j < best->index)))) {
        best = Best{j, upper.bottom, overlap};
      }
    };
    const std::int64_t cx0 = cell_of(lb.x0 - kCell / 2), cx1 = cell_of(lb.x1 + kCell / 2);
    const std::int64_t cy0 = cell_of(lb.y0 - kCell / 2), cy1 = cell_of(lb.y1 + kCell / 2);
    const double near = static_cast<double>(cx1 - cx0 + 1) * static_cast<double>(cy1 - cy0 + 1);
    if (near <= static_cast<double>(cells.size())) {
      for (std::int64_t cx = cx0; cx <= cx1; ++cx) {
        for (std::int64_t cy = cy0; cy <= cy1; ++cy) {
          const auto it = cells.find(key(cx, cy));
          if (it == cells.end()) continue;
          for (const auto j : it->second) consider(j);
        }
      }
    } else {
      for (const auto& [k, members] : cells) {
        for (const auto j : members) consider(j);
      }
    }
    for (const auto j : wide) consider(j);
    if (!best) continue;
    if (auto single = Unstackable(lower_plan, Relative(elements[best->index], origin))) {
      single->lower = i;
      single->upper = best->index;
      out.singles.push_back(std::move(*single));
    } else {
      out.above[i] = best->index;
    }
  }
  return out;
}

std::vector<std::optional<std::size_t>> FindColumnsAbove(const ElementModel& model,
                                                         double slab_zone) {
  return FindStacks(model, slab_zone).above;
}

namespace {

// The palette values of the column above that the stacked cage reads, each
// the same value of that column's own palette.
constexpr const char* kAboveValues[] = {"Concr_Cover",          "Main_Diameter", "Add_X_Number",
                                        "Add_X_Diameter",       "Add_Y_Number",  "Add_Y_Diameter",
                                        "Main_Stirrup_Diameter"};
constexpr std::string_view kAboveSuffix = "_Above";

// Whether `name` is a value of the column above (not "Slab_Above", the slab
// over a single column).
bool IsAboveName(const std::string& name) {
  for (const char* v : kAboveValues) {
    if (name == std::string(v) + std::string(kAboveSuffix)) return true;
  }
  return false;
}

}  // namespace

PaletteEdits ColumnEdits(const BuildingOptions& options, const ElementModel& model,
                         std::size_t column, bool stands_on_another) {
  // The edits of every column and those of the first rule that matches
  // this one; then, for a column that stands on another, the values given
  // among them for the columns above, under their own names.
  PaletteEdits given = options.sets;
  if (options.rules) {
    if (const auto rule = options.rules->Match(model, column)) {
      const auto& set = options.rules->Rules()[*rule].set;
      given.insert(given.end(), set.begin(), set.end());
    }
  }
  PaletteEdits out;
  for (const auto& [name, value] : given) {
    if (!IsAboveName(name)) out.push_back({name, value});
  }
  if (stands_on_another) {
    for (const auto& [name, value] : given) {
      if (IsAboveName(name))
        out.push_back({name.substr(0, name.size() - kAboveSuffix.size()), value});
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> RunEdits(
    const std::vector<std::pair<std::string, std::string>>& own,
    const std::vector<std::pair<std::string, std::string>>* above) {
  std::vector<std::pair<std::string, std::string>> out = own;
  if (!above) return out;
  // The stacked cage's values of the column above are that column's own, so
  // that the bars it carries up lap the bars that column's run gives it.
  for (const auto& [name, value] : *above) {
    for (const char* v : kAboveValues) {
      if (name == v) out.push_back({name + std::string(kAboveSuffix), value});
    }
  }
  return out;
}

namespace {

// One column through the tool, as a user runs it. `below` are the bars
// created before in the column it stands on, there in the model as they
// would be for a user who reinforced that one first.
ColumnOutcome ReinforceColumn(const HostUtil::PluginModule& plugin,
                              const std::shared_ptr<const ElementModel>& model,
                              const std::string& tool_path, const PaletteEdits& edits,
                              const std::string& column, const std::string& above,
                              const HostReinf::ModelElementList& below,
                              std::vector<CageRecord>& cages) {
  ColumnOutcome outcome;
  outcome.column = column;
  outcome.above = above;
  // Message boxes are collected, never asked one by one.
  std::optional<ToolRun> run;
  try {
    run.emplace(plugin, model, tool_path, ToolRun::Observer{});
    if (!below.empty()) run->Document().AddBatch(below);
    run->Click(column);
    if (!above.empty()) run->Click(above);
    run->Button(kFinish);
    for (const auto& [name, value] : edits) {
      // Each run takes the edits its palette has: a single cage has no
      // values of a column above, a stacked one no slab above.
      if (run->Palette() && run->Palette()->PageOf(name) >= 0) run->Set(name, value);
    }
    run->Button(kDraw);
    if (run->Cages().empty()) {
      outcome.result = ColumnOutcome::Result::Blocked;
    } else {
      // Draw's own report of what it created is no finding.
      bool said = !run->Messages().empty();
      for (const auto& line : run->Lines()) said = said || line.rfind("created ", 0) != 0;
      outcome.result = said ? ColumnOutcome::Result::Warned : ColumnOutcome::Result::Reinforced;
      cages = run->TakeCages();
    }
  } catch (const std::exception& e) {
    outcome.result = ColumnOutcome::Result::Failed;
    outcome.messages.push_back(HostUtil::IsInternalFault(e)
                                   ? std::string("internal fault: ") + e.what()
                                   : std::string(e.what()));
  } catch (...) {
    outcome.result = ColumnOutcome::Result::Failed;
    outcome.messages.push_back("internal fault: an unknown error");
  }
  if (run) {
    for (auto it = run->Lines().rbegin(); it != run->Lines().rend(); ++it) {
      if (it->rfind("created ", 0) != 0 || it->rfind("created nothing", 0) == 0) {
        outcome.messages.insert(outcome.messages.begin(), *it);
      }
    }
    outcome.messages.insert(outcome.messages.begin(), run->Messages().begin(),
                            run->Messages().end());
  }
  return outcome;
}

}  // namespace

BuildingResult ReinforceBuilding(const HostUtil::PluginModule& plugin,
                                 std::shared_ptr<const ElementModel> model,
                                 const std::string& tool_path, const BuildingOptions& options,
                                 const std::function<void(std::size_t, std::size_t)>& progress) {
  Stacks stacks = FindStacks(*model, options.slab_zone);
  const auto& above = stacks.above;
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t i = 0; i < above.size(); ++i) {
    if (above[i]) pairs.emplace_back(i, *above[i]);
  }
  model = HostElementAdapter::AlignStacked(model, pairs);
  const auto columns = model->GetColumns();
  const auto& elements = model->GetElements();
  // Where each column stands in the model's list of columns, and the columns
  // each one stands on: a column runs after those, with their bars in its
  // model, as a user reinforcing bottom up has them.
  std::vector<std::size_t> slot(elements.size(), columns.size());
  for (std::size_t n = 0; n < columns.size(); ++n) slot[columns[n]] = n;
  std::vector<std::vector<std::size_t>> stands_on(columns.size());
  for (std::size_t n = 0; n < columns.size(); ++n) {
    if (const auto up = above[columns[n]]; up && slot[*up] < columns.size()) {
      stands_on[slot[*up]].push_back(n);
    }
  }
  std::vector<int> storey(columns.size(), -1);
  std::function<int(std::size_t)> depth = [&](std::size_t n) {
    if (storey[n] >= 0) return storey[n];
    storey[n] = 0;  // a cycle cannot form (each stands higher), but stop one anyway
    int d = 0;
    for (auto m : stands_on[n]) d = std::max(d, depth(m) + 1);
    return storey[n] = d;
  };
  int storeys = 0;
  for (std::size_t n = 0; n < columns.size(); ++n) storeys = std::max(storeys, depth(n) + 1);
  std::vector<std::vector<std::pair<std::string, std::string>>> own(columns.size());
  for (std::size_t n = 0; n < columns.size(); ++n) {
    own[n] = ColumnEdits(options, *model, columns[n], !stands_on[n].empty());
  }
  // The columns are independent runs of the tool within a storey of the
  // stacks, each with its own interactor on one thread; the host hands them
  // out to as many threads as the machine has cores and puts the results
  // back in model order.
  std::vector<ColumnOutcome> outcomes(columns.size());
  std::vector<std::vector<CageRecord>> cages(columns.size());
  std::atomic<std::size_t> done{0};
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  // The progress is told every tenth of a second, and the reporter wakes
  // at once when the work is done: a small building takes no longer for it.
  std::mutex progress_mutex;
  std::condition_variable progress_wake;
  bool finished = false;
  std::thread reporter;
  if (progress) {
    reporter = std::thread([&] {
      std::unique_lock lock(progress_mutex);
      for (std::size_t shown = 0; !finished;) {
        progress_wake.wait_for(lock, std::chrono::milliseconds(100), [&] { return finished; });
        const std::size_t now = done;
        if (now != shown && !finished) progress(shown = now, columns.size());
      }
    });
  }
  for (int level = 0; level < storeys; ++level) {
    std::vector<std::size_t> batch;
    for (std::size_t n = 0; n < columns.size(); ++n) {
      if (storey[n] == level) batch.push_back(n);
    }
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
      for (std::size_t b = next++; b < batch.size(); b = next++) {
        const std::size_t n = batch[b];
        const std::size_t i = columns[n];
        const std::optional<std::size_t> up = above[i] && slot[*above[i]] < columns.size()
                                                  ? std::optional(slot[*above[i]])
                                                  : std::nullopt;
        // A worker lets nothing out: what fails is that column's outcome.
        try {
          HostReinf::ModelElementList below;
          for (auto m : stands_on[n]) {
            for (const auto& cage : cages[m]) {
              below.insert(below.end(), cage.placements.begin(), cage.placements.end());
            }
          }
          outcomes[n] = ReinforceColumn(
              plugin, model, tool_path, RunEdits(own[n], up ? &own[*up] : nullptr), elements[i].id,
              up ? elements[*above[i]].id : std::string(), below, cages[n]);
        } catch (...) {
          outcomes[n].column = elements[i].id;
          outcomes[n].result = ColumnOutcome::Result::Failed;
          outcomes[n].messages = {"internal fault: the column's run could not be finished"};
          cages[n].clear();
        }
        ++done;
      }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < threads && batch.size() > 1; ++t) workers.emplace_back(work);
    work();
    for (auto& w : workers) w.join();
  }
  {
    std::lock_guard lock(progress_mutex);
    finished = true;
  }
  progress_wake.notify_all();
  if (reporter.joinable()) reporter.join();
  if (progress) progress(done, columns.size());
  BuildingResult out;
  out.model = model;
  out.columns = std::move(outcomes);
  out.singles = std::move(stacks.singles);
  if (options.rules) {
    out.rule_counts.assign(options.rules->Rules().size() + 1, 0);
    for (const auto i : columns) {
      ++out.rule_counts[options.rules->Match(*model, i).value_or(options.rules->Rules().size())];
    }
  }
  for (auto& c : cages) {
    for (auto& cage : c) out.cages.push_back(std::move(cage));
  }
  return out;
}

namespace {

class Progress {
 public:
  Progress(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
  void operator()(std::size_t done, std::size_t total) {
    const int percent = total ? static_cast<int>(100 * done / total) : 100;
    if (terminal_) {
      const int width = 40, filled = percent * width / 100;
      out_ << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
           << std::string(static_cast<std::size_t>(width - filled), ' ') << "] " << percent << "% "
           << done << "/" << total << " columns" << (done == total ? "\n" : "") << std::flush;
    } else if (percent >= next_ || done == total) {
      out_ << "reinforced " << done << " of " << total << " columns (" << percent << "%)\n";
      next_ = percent - percent % 10 + 10;
    }
  }

 private:
  std::ostream& out_;
  bool terminal_;
  int next_ = 10;
};

const char* Name(ColumnOutcome::Result r) {
  switch (r) {
    case ColumnOutcome::Result::Reinforced:
      return "reinforced";
    case ColumnOutcome::Result::Warned:
      return "warned";
    case ColumnOutcome::Result::Blocked:
      return "blocked";
    case ColumnOutcome::Result::Failed:
      return "failed";
  }
  return "?";
}

}  // namespace

namespace {

// "A, B, C and 5 more"
std::string List(const std::vector<std::string>& names) {
  std::string s;
  for (std::size_t k = 0; k < names.size() && k < 8; ++k) s += (k ? ", " : "") + names[k];
  if (names.size() > 8) s += " and " + std::to_string(names.size() - 8) + " more";
  return s;
}

// The columns of the source model that the host did not take, by reason.
std::string RefusedSummary(const ElementModel& model) {
  const auto* source = model.GetSource();
  if (!source || source->refused.empty()) return {};
  struct Group {
    std::vector<std::string> names;
    std::vector<std::string> details;  // distinct, the first few
  };
  std::map<std::string, Group> groups;
  for (const auto& r : source->refused) {
    Group& g = groups[r.reason];
    g.names.push_back(r.id);
    if (!r.detail.empty() && g.details.size() < 3 &&
        std::find(g.details.begin(), g.details.end(), r.detail) == g.details.end()) {
      g.details.push_back(r.detail);
    }
  }
  std::ostringstream s;
  s << "\nNot taken from " << model.GetSourceName() << ": " << source->refused.size() << " of "
    << source->columns_in_file << " columns\n";
  for (const auto& [reason, g] : groups) {
    s << "  " << reason << ", " << g.names.size()
      << (g.names.size() == 1 ? " column: " : " columns: ") << List(g.names) << "\n";
    for (const auto& d : g.details) s << "      " << d << "\n";
  }
  return s.str();
}

}  // namespace

int RunBuilding(const BuildingOptions& options, const ToolLocation& tool, Terminal& terminal) {
  const auto model =
      HostElementAdapter::ReadModel(options.model, {.all_columns = options.all_columns});
  const std::string refused = RefusedSummary(*model);
  if (model->GetColumns().empty()) {
    terminal.Out() << refused;
    const auto* source = model->GetSource();
    const bool materials = source && !options.all_columns &&
                           std::any_of(source->refused.begin(), source->refused.end(),
                                       [](const auto& r) { return r.reason == "not concrete"; });
    throw std::invalid_argument(
        model->GetSourceName() + " has no column the tool can take" +
        (source ? " (of " + std::to_string(source->columns_in_file) + " in the file, see above)"
                : "") +
        (materials ? "; --all-columns takes the columns of every material" : ""));
  }
  const auto plugin = HostUtil::PluginModule::Load(tool.module_path);
  Progress progress(terminal.Out(), ::isatty(STDOUT_FILENO) == 1);
  const BuildingResult result =
      ReinforceBuilding(plugin, model, tool.tool_path, options, std::ref(progress));
  std::map<ColumnOutcome::Result, std::size_t> counts;
  std::size_t stacked = 0;
  for (const auto& c : result.columns) {
    ++counts[c.result];
    stacked += c.above.empty() ? 0 : 1;
  }
  if (!result.cages.empty()) {
    ExportInput input{result.model, result.cages, model->GetName(), OutputDate()};
    WriteOutputs(input, options.out_dir, options.issue, terminal);
  }
  std::ostringstream s;
  s << "\nColumns: " << result.columns.size() << " (" << stacked << " carrying a column above)\n"
    << "  reinforced " << counts[ColumnOutcome::Result::Reinforced] << ", warned "
    << counts[ColumnOutcome::Result::Warned] << ", blocked "
    << counts[ColumnOutcome::Result::Blocked] << ", failed "
    << counts[ColumnOutcome::Result::Failed] << "\n";
  // Columns that got the same messages are told together.
  std::map<std::pair<ColumnOutcome::Result, std::vector<std::string>>, std::vector<std::string>>
      groups;
  for (const auto& c : result.columns) {
    if (c.result == ColumnOutcome::Result::Reinforced) continue;
    groups[{c.result, c.messages}].push_back(c.column + (c.above.empty() ? "" : "+" + c.above));
  }
  for (const auto& [key, names] : groups) {
    s << "  " << Name(key.first) << ", " << names.size()
      << (names.size() == 1 ? " column: " : " columns: ") << List(names) << "\n";
    // A message the tool showed on every rebuild is told once.
    std::vector<std::string> distinct;
    for (const auto& m : key.second) {
      if (std::find(distinct.begin(), distinct.end(), m) == distinct.end()) distinct.push_back(m);
    }
    for (const auto& m : distinct) {
      std::string one = m;
      std::replace(one.begin(), one.end(), '\n', ' ');
      s << "      " << one << "\n";
    }
  }
  // Pairs standing on each other that got single cages, by reason.
  std::map<std::string, std::vector<std::string>> singles;
  const auto& elements = model->GetElements();
  for (const auto& p : result.singles) {
    singles[p.reason].push_back(elements[p.lower].id + "+" + elements[p.upper].id + " (" +
                                p.detail + ")");
  }
  for (const auto& [reason, pairs] : singles) {
    s << "  single cages, " << reason << ", " << pairs.size()
      << (pairs.size() == 1 ? " pair: " : " pairs: ") << List(pairs) << "\n";
  }
  if (options.rules) {
    const auto& rules = options.rules->Rules();
    s << "  rules:";
    for (std::size_t r = 0; r < rules.size(); ++r) {
      s << (r ? ", " : " ") << rules[r].name << " " << result.rule_counts[r];
    }
    s << (rules.empty() ? " " : ", ") << "none " << result.rule_counts.back() << "\n";
  }
  s << refused;
  terminal.Out() << s.str();
  const bool all =
      counts[ColumnOutcome::Result::Blocked] == 0 && counts[ColumnOutcome::Result::Failed] == 0;
  return all ? kExitCreated : kExitBlocked;
}

}  // namespace pierhost

#include "app/serve/session.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "app/building.h"
#include "app/serve/api.h"

namespace pierhost::api {

namespace {

std::string FileName(const HostBaseElements::BuildingElementPaletteService& palette) {
  return std::filesystem::path(palette.GetFileName()).filename().string();
}

// A value as a user would type it, so that the palette reads it back the
// same: numbers in their shortest exact form.
std::string Typed(const HostBaseElements::PaletteValue& value) {
  if (value.IsNumber()) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, *value.AsDouble()).ptr;
    return std::string(text, end);
  }
  return value.ToString();
}

// Every parameter of the palette with its value, page by page.
std::vector<std::pair<std::string, std::string>> Values(
    const HostBaseElements::BuildingElementPaletteService& palette) {
  std::vector<std::pair<std::string, std::string>> out;
  const auto& elements = palette.GetBuildingElements();
  if (elements.empty()) return out;
  const auto& element = *elements.front();
  for (const auto& page : palette.GetComposite().pages) {
    for (const auto& name : page.parameters) {
      if (element.Has(name)) out.emplace_back(name, Typed(element[name].value()));
    }
  }
  return out;
}

bool HasButton(const HostBaseElements::BuildingElementPaletteService& palette, int event) {
  return std::any_of(palette.GetControls().begin(), palette.GetControls().end(),
                     [&](const HostBaseElements::PaletteButton& b) { return b.event_id == event; });
}

std::vector<std::string> Names(const CageList& cages) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < cages.size(); ++i) {
    int number = 1;
    for (std::size_t j = 0; j < i; ++j) number += cages[j]->column_ids == cages[i]->column_ids;
    names.push_back(CageName(cages[i]->column_ids, number));
  }
  return names;
}

const HostElementAdapter::Element* ColumnOf(const HostElementAdapter::ElementModel& model,
                                            const std::string& id) {
  const auto index = model.Find(id);
  if (!index) return nullptr;
  const auto& e = model.GetElements()[*index];
  return e.kind == HostElementAdapter::ElementKind::Column && e.plan.size() >= 3 ? &e : nullptr;
}

bool Inside(const std::vector<HostGeo::Point2D>& plan, double x, double y) {
  bool in = false;
  for (std::size_t i = 0, j = plan.size() - 1; i < plan.size(); j = i++) {
    const double xi = plan[i].X(), yi = plan[i].Y(), xj = plan[j].X(), yj = plan[j].Y();
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
  }
  return in;
}

// Whether `upper` stands on `lower` as a stacked cage needs it.
bool StandsOn(const HostElementAdapter::Element& upper, const HostElementAdapter::Element& lower) {
  const double gap = upper.bottom - lower.top;
  if (gap < -1e-6 || gap > kDefaultSlabZone + 1e-6) return false;
  double x = 0, y = 0;
  for (const auto& p : upper.plan) {
    x += p.X();
    y += p.Y();
  }
  const double n = static_cast<double>(upper.plan.size());
  return Inside(lower.plan, x / n, y / n);
}

}  // namespace

std::size_t CreatedCage::Bars() const {
  std::size_t n = 0;
  for (const auto& p : placements) n += p.GetBarCount();
  return n;
}

Marks Mark(const ToolRun& run) {
  return {run.Messages().size(), run.Lines().size(), run.PreviewCount()};
}

std::string PickRefusal(const HostElementAdapter::ElementModel& model,
                        const std::vector<std::string>& picked) {
  constexpr const char* kHow =
      "a cage is for one column, or for a column and the column standing on it, picked in that "
      "order";
  if (picked.empty()) {
    return "Nothing is picked yet: click a column in the view (then the column standing on it, "
           "for a stacked cage), then Finish.";
  }
  if (picked.size() > 2) {
    return std::to_string(picked.size()) + " columns are picked, but " + kHow +
           ". Click a picked column again to unpick it.";
  }
  const auto* lower = ColumnOf(model, picked[0]);
  if (!lower) return picked[0] + " is not a column: " + kHow + ".";
  if (picked.size() == 1) return "";
  const auto* upper = ColumnOf(model, picked[1]);
  if (!upper) return picked[1] + " is not a column: " + kHow + ".";
  if (picked[0] == picked[1]) {
    return picked[0] + " is picked twice: " + kHow + ".";
  }
  if (StandsOn(*upper, *lower)) return "";
  if (StandsOn(*lower, *upper)) {
    return picked[0] + " stands on " + picked[1] + ": pick the lower column first, " + picked[1] +
           ", then " + picked[0] + ".";
  }
  return picked[1] + " does not stand on " + picked[0] + ": " + kHow + " (its bottom at most " +
         std::to_string(static_cast<int>(kDefaultSlabZone)) +
         " mm above the lower one's top, its centre over the lower one). Click " + picked[1] +
         " again to unpick it and Finish for a cage of " + picked[0] + " alone.";
}

WebSession::WebSession(std::string id, RunFactory make_run,
                       std::shared_ptr<const HostElementAdapter::ElementModel> model)
    : last_used(std::chrono::steady_clock::now()),
      id_(std::move(id)),
      make_run_(std::move(make_run)),
      model_(std::move(model)),
      run_(make_run_()) {
  since_ = Mark(*run_);
}

bool WebSession::Editing() const {
  const auto palette = run_->Palette();
  return palette && palette->IsShown() && HasButton(*palette, kDraw);
}

void WebSession::Apply(const Event& event) {
  if (event.kind == Event::Kind::Click) {
    if (Editing()) {
      throw Error(422, "a cage is being edited, so a click does not pick " + event.element +
                           ": Draw this cage first, or start a new run to pick other columns");
    }
    const auto& picked = run_->Picked();
    if (std::find(picked.begin(), picked.end(), event.element) != picked.end()) {
      Unpick(event.element);
      return;
    }
  }
  if (event.kind == Event::Kind::Button && event.event_id == kFinish) {
    const auto palette = run_->Palette();
    if (palette && palette->IsShown() && HasButton(*palette, kFinish)) {
      if (const std::string why = PickRefusal(*model_, run_->Picked()); !why.empty()) {
        throw Error(422, why);
      }
    }
  }
  api::Apply(*run_, event);
  if (event.kind == Event::Kind::Button) Collect();
}

void WebSession::Unpick(const std::string& element) {
  std::vector<std::string> keep = run_->Picked();
  std::erase(keep, element);
  // The tool cannot forget a pick: the run starts again with the others.
  run_ = make_run_();
  taken_ = 0;
  Sync();
  for (const auto& id : keep) run_->Click(id);
  since_ = Mark(*run_);
}

void WebSession::Check() {
  if (!Editing()) {
    checks_ = {};
    return;
  }
  const auto result = run_->Check();
  checks_ = SortChecks(run_->Picked().size() > 1, result.findings, result.lines);
}

void WebSession::Collect() {
  const auto& made = run_->Cages();
  const auto palette = run_->Palette();
  while (taken_ < made.size()) {
    const CageRecord& record = made[taken_++];
    auto cage = std::make_shared<CreatedCage>();
    cage->id = next_id_++;
    cage->column_ids = record.column_ids;
    cage->placements = record.placements;
    if (palette) {
      cage->palette = FileName(*palette);
      cage->values = Values(*palette);
    }
    CageList next = cages_;
    const auto at = std::find_if(next.begin(), next.end(),
                                 [&](const auto& c) { return replacing_ && c->id == *replacing_; });
    if (at != next.end()) {
      const std::string what = "Replace " + NameOf((*at)->id);
      *at = cage;
      Change(what, std::move(next), cage->id);
    } else {
      next.push_back(cage);
      const std::string what = "Draw " + Names(next).back();
      Change(what, std::move(next), std::nullopt);
    }
  }
}

void WebSession::Change(std::string what, CageList next, std::optional<int> replacing) {
  undo_.push_back({std::move(what), cages_, replacing_, run_number_});
  redo_.clear();
  cages_ = std::move(next);
  replacing_ = replacing;
  Sync();
}

void WebSession::Sync() {
  std::vector<HostReinf::ModelElementList> created;
  for (const auto& c : cages_) {
    if (replacing_ && c->id == *replacing_) continue;
    created.push_back(c->placements);
  }
  run_->SetCreated(created);
}

void WebSession::Refresh() {
  if (!Editing()) return;
  try {
    run_->Button(kRebuild);
  } catch (const std::exception&) {
    // The cage cannot be built now: the preview is cleared below and the
    // checks say why.
  }
  run_->Move();
}

const CreatedCage& WebSession::Find(int cage) const {
  for (const auto& c : cages_) {
    if (c->id == cage) return *c;
  }
  throw Error(404, "there is no cage " + std::to_string(cage) +
                       " in this session: it was deleted or undone, or never made");
}

std::string WebSession::NameOf(int cage) const {
  const auto names = Names(cages_);
  for (std::size_t i = 0; i < cages_.size(); ++i) {
    if (cages_[i]->id == cage) return names[i];
  }
  return "cage " + std::to_string(cage);
}

void WebSession::NewRun() {
  run_ = make_run_();
  ++run_number_;
  taken_ = 0;
  replacing_.reset();
  Sync();
  since_ = Mark(*run_);
}

void WebSession::Replace(int cage) {
  Find(cage);
  replacing_ = cage;
  Sync();
}

void WebSession::Edit(int id) {
  const CreatedCage cage = Find(id);
  NewRun();
  replacing_ = id;
  Sync();
  for (const auto& column : cage.column_ids) run_->Click(column);
  run_->Button(kFinish);
  Restore(cage);
  run_->Move();
  // The answer tells what the user does from here on, not how the palette
  // was filled in.
  since_ = Mark(*run_);
  since_.previews = 0;
}

void WebSession::Restore(const CreatedCage& cage) {
  const auto palette = run_->Palette();
  if (!palette || FileName(*palette) != cage.palette) return;
  // Each edit goes through the palette's rules, which may change other
  // fields: until nothing differs, a few times at most.
  for (int pass = 0; pass < 3; ++pass) {
    bool changed = false;
    for (const auto& [name, value] : cage.values) {
      const auto now = Values(*palette);
      // Not a structured binding in the lambda: clang 14 cannot capture one.
      const auto& field = name;
      const auto it =
          std::find_if(now.begin(), now.end(), [&](const auto& nv) { return nv.first == field; });
      if (it == now.end() || it->second == value) continue;
      try {
        run_->Set(name, value);
        changed = true;
      } catch (const std::exception&) {
        // A value this column does not take: the palette keeps its own.
      }
    }
    if (!changed) break;
  }
}

void WebSession::Delete(int cage) {
  const std::string what = "Delete " + NameOf(cage);
  Find(cage);
  CageList next = cages_;
  std::erase_if(next, [&](const auto& c) { return c->id == cage; });
  Change(what, std::move(next), replacing_ == cage ? std::nullopt : replacing_);
  Refresh();
}

void WebSession::Undo() {
  if (undo_.empty()) throw Error(409, "there is nothing to undo");
  Step step = std::move(undo_.back());
  undo_.pop_back();
  redo_.push_back({step.what, cages_, replacing_, run_number_});
  cages_ = std::move(step.cages);
  // A replacement undone in the run that made it: Draw replaces the cage
  // that is back. Steps of earlier runs leave this run's choice alone.
  if (step.run == run_number_) replacing_ = step.replacing;
  Sync();
  Refresh();
}

void WebSession::Redo() {
  if (redo_.empty()) throw Error(409, "there is nothing to redo");
  Step step = std::move(redo_.back());
  redo_.pop_back();
  undo_.push_back({step.what, cages_, replacing_, run_number_});
  cages_ = std::move(step.cages);
  if (step.run == run_number_) replacing_ = step.replacing;
  Sync();
  Refresh();
}

std::string WebSession::UndoLabel() const { return undo_.empty() ? "" : undo_.back().what; }
std::string WebSession::RedoLabel() const { return redo_.empty() ? "" : redo_.back().what; }

std::vector<CageRecord> WebSession::AllCages() const {
  const auto names = Names(cages_);
  std::vector<CageRecord> out;
  out.reserve(cages_.size());
  for (std::size_t i = 0; i < cages_.size(); ++i) {
    const auto& c = *cages_[i];
    int number = 1;
    for (std::size_t j = 0; j < i; ++j) number += cages_[j]->column_ids == c.column_ids;
    out.push_back({names[i], c.column_ids, c.placements, number});
  }
  return out;
}

std::optional<WebSession::Pending> WebSession::WithPreview() const {
  const auto& preview = run_->Document().GetPreview();
  if (!Editing() || preview.empty()) return std::nullopt;
  std::vector<std::string> columns;
  for (const auto& id : run_->Picked()) {
    if (ColumnOf(*model_, id)) columns.push_back(id);
  }
  auto pending = std::make_shared<CreatedCage>();
  pending->column_ids = columns;
  pending->placements = preview;
  CageList list = cages_;
  std::size_t index = list.size();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (replacing_ && list[i]->id == *replacing_) index = i;
  }
  if (index == list.size()) {
    list.push_back(pending);
  } else {
    list[index] = pending;
  }
  const auto names = Names(list);
  Pending out;
  out.index = index;
  for (std::size_t i = 0; i < list.size(); ++i) {
    int number = 1;
    for (std::size_t j = 0; j < i; ++j) number += list[j]->column_ids == list[i]->column_ids;
    out.cages.push_back({names[i], list[i]->column_ids, list[i]->placements, number});
  }
  return out;
}

}  // namespace pierhost::api

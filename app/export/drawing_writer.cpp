// drawing.svg: one A3 sheet per distinct cage, the sheets stacked in one
// SVG 1.1 document. Each sheet shows
//  - the elevation of the column's first face: concrete, every bar and
//    stirrup to scale, the stirrup zones labelled "count size-mark-spacing",
//    the crank and lap zones dimensioned, the levels and the section cuts;
//  - a cross-section through the lower column (and one through the upper
//    column when bars continue into it): every bar cut, as a circle of its
//    true diameter labelled by its mark, the stirrup's centreline with its
//    hooks as a stroke of its true width, the sizes and the cover;
//  - bar call-ups "number size-mark", a bar list and a title block.
// The page is in mm; the views are drawn at standard scales stated under
// them. Sections are drawn in the column's own frame: the plan is turned so
// that the column's first side (its first to its second corner) runs to the
// right, the column's inside up.
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <numbers>
#include <optional>
#include <sstream>

#include "app/export/exporter.h"
#include "app/export/text.h"

namespace pierhost {

namespace {

using HostGeo::Point3D;
using HostReinf::BendingShapeType;

// ---------------------------------------------------------------------------
// Paper and text

constexpr double kSheetWidth = kSheetWidthMm;
constexpr double kSheetHeight = kSheetHeightMm;
// No text on a sheet is smaller than 2.5 mm, so that a print of it reads.
constexpr double kTextSize = 2.5;    // labels, mm
constexpr double kSmallText = 2.5;   // dimensions, mm
constexpr double kCharWidth = 0.55;  // average character width per text size

// A paper coordinate: mm, two decimals, no "-0".
std::string N(double v) { return Rounded(v, 2); }

// Text as XML holds it. XML 1.0 cannot hold control characters at all,
// not even as references: they are shown as visible escapes ("\x1b").
std::string Escape(const std::string& raw) {
  const std::string text = EscapeControls(raw);
  std::string out;
  for (char ch : text) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += ch;
    }
  }
  return out;
}

double TextWidth(const std::string& text, double size) {
  return static_cast<double>(text.size()) * size * kCharWidth;
}

std::string Mm(double v) { return Fixed(std::round(v), 0); }

// A level in metres with its sign: "+3.250".
std::string Level(double z_mm) {
  const std::string m = Fixed(std::round(z_mm) / 1000.0, 3);
  return m[0] == '-' ? m : "+" + m;
}

// The SVG elements of one sheet, in paper mm.
class Canvas {
 public:
  void Raw(const std::string& element) { out_ << element << '\n'; }
  void Line(double x1, double y1, double x2, double y2, const std::string& cls) {
    out_ << "<line class=\"" << cls << "\" x1=\"" << N(x1) << "\" y1=\"" << N(y1) << "\" x2=\""
         << N(x2) << "\" y2=\"" << N(y2) << "\"/>\n";
  }
  void Rect(double x, double y, double w, double h, const std::string& cls) {
    out_ << "<rect class=\"" << cls << "\" x=\"" << N(x) << "\" y=\"" << N(y) << "\" width=\""
         << N(w) << "\" height=\"" << N(h) << "\"/>\n";
  }
  void Polygon(const std::vector<std::pair<double, double>>& pts, const std::string& cls) {
    out_ << "<polygon class=\"" << cls << "\" points=\"";
    for (std::size_t i = 0; i < pts.size(); ++i)
      out_ << (i ? " " : "") << N(pts[i].first) << ',' << N(pts[i].second);
    out_ << "\"/>\n";
  }
  void Polyline(const std::vector<std::pair<double, double>>& pts, const std::string& cls,
                double width = 0) {
    out_ << "<polyline class=\"" << cls << "\"";
    if (width > 0) out_ << " stroke-width=\"" << N(width) << "\"";
    out_ << " points=\"";
    for (std::size_t i = 0; i < pts.size(); ++i)
      out_ << (i ? " " : "") << N(pts[i].first) << ',' << N(pts[i].second);
    out_ << "\"/>\n";
  }
  void Circle(double x, double y, double r, const std::string& cls) {
    out_ << "<circle class=\"" << cls << "\" cx=\"" << N(x) << "\" cy=\"" << N(y) << "\" r=\""
         << N(r) << "\"/>\n";
  }
  // anchor: "start", "middle" or "end"; y is the baseline.
  void Text(double x, double y, const std::string& text, double size, const char* anchor = "start",
            double rotate = 0, bool bold = false) {
    out_ << "<text x=\"" << N(x) << "\" y=\"" << N(y) << "\" font-size=\"" << N(size) << "\"";
    if (std::string(anchor) != "start") out_ << " text-anchor=\"" << anchor << "\"";
    if (bold) out_ << " font-weight=\"bold\"";
    if (rotate != 0)
      out_ << " transform=\"rotate(" << N(rotate) << ' ' << N(x) << ' ' << N(y) << ")\"";
    out_ << '>' << Escape(text) << "</text>\n";
  }
  // A dimension line between two points with oblique ticks and its text
  // along it. Drawn left to right or bottom to top, `side` -1 puts the text
  // above or at the left of the line.
  void Dimension(double x1, double y1, double x2, double y2, const std::string& text,
                 double side = -1) {
    Line(x1, y1, x2, y2, "dim");
    const double len = std::hypot(x2 - x1, y2 - y1);
    if (len <= 0) return;
    const double ux = (x2 - x1) / len, uy = (y2 - y1) / len;
    // Oblique ticks at both ends.
    const double tx = 0.9 * (ux - uy) / std::sqrt(2.0), ty = 0.9 * (uy + ux) / std::sqrt(2.0);
    for (auto [px, py] : {std::pair{x1, y1}, std::pair{x2, y2}})
      Line(px - tx, py - ty, px + tx, py + ty, "tick");
    const double nx = -uy * side, ny = ux * side;
    if (text.empty()) return;
    const double mx = (x1 + x2) / 2 + nx * 0.8, my = (y1 + y2) / 2 + ny * 0.8;
    double angle = std::atan2(uy, ux) * 180 / std::numbers::pi;
    if (angle > 90.5) angle -= 180;
    if (angle <= -90.5) angle += 180;
    Text(mx, my, text, kSmallText, "middle", angle);
  }
  std::string Str() const { return out_.str(); }

 private:
  std::ostringstream out_;
};

// ---------------------------------------------------------------------------
// The sheet's layout

// A rectangle of paper, mm from the sheet's top left corner.
struct Box {
  double x = 0, y = 0, w = 0, h = 0;
  double Right() const { return x + w; }
  double Bottom() const { return y + h; }
  double CentreX() const { return x + w / 2; }
  double CentreY() const { return y + h / 2; }
};

// Where each part of a sheet goes, worked out from the sheet's size: the
// border with a wider margin for binding at the left, the title block in
// the bottom right corner, the bar list beside it, the elevation at the left
// above them and the sections at the right.
struct SheetLayout {
  Box border;
  Box title_block;
  Box bar_list;
  Box elevation;  // the drawing; its caption goes below it
  Box sections;   // the sections side by side, each in a slot of its own
  Box sketches;   // below the sections: bars without a standard shape code

  static SheetLayout For(double width, double height) {
    constexpr double kBinding = 20, kMargin = 10;  // mm
    constexpr double kTitleW = 160, kTitleH = 42;  // mm
    constexpr double kElevationW = 130;            // mm
    constexpr double kCaptionDrop = 5;             // the elevation's foot below the title's top
    SheetLayout l;
    l.border = {kBinding, kMargin, width - kBinding - kMargin, height - 2 * kMargin};
    l.title_block = {width - kMargin - kTitleW, height - kMargin - kTitleH, kTitleW, kTitleH};
    l.bar_list = {l.border.x + 155, l.title_block.y, l.title_block.x - 5 - (l.border.x + 155),
                  kTitleH};
    // The elevation's caption lies beside the bar list, below its foot.
    l.elevation = {l.border.x + 10, l.border.y + 40, kElevationW,
                   l.title_block.y + kCaptionDrop - (l.border.y + 40)};
    l.sections = {l.elevation.Right(), l.border.y + 15, width - 15 - l.elevation.Right(), 140};
    l.sketches = {l.sections.x + 10, l.sections.Bottom() + 5, l.sections.w - 10,
                  l.title_block.y - 5 - (l.sections.Bottom() + 5)};
    return l;
  }
};

// ---------------------------------------------------------------------------
// The column's own frame

struct XY {
  double x = 0, y = 0;
};

// Plan coordinates turned so that the column's first side runs along +x,
// from its first corner.
struct Frame {
  XY origin;
  double ux = 1, uy = 0;
  XY Local(double x, double y) const {
    const double dx = x - origin.x, dy = y - origin.y;
    return {dx * ux + dy * uy, -dx * uy + dy * ux};
  }
};

struct Column {
  std::string id;
  std::vector<XY> corners;   // in the frame, counter-clockwise
  bool first_side_x = true;  // its first and third sides are the cage's X faces
  double bottom = 0, top = 0;
  double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
};

// A bar in the frame: x, y in plan, z the level.
struct LocalBar {
  std::vector<Point3D> points;
};

struct PlacedMark {
  const HostReinf::BarPlacement* placement;
  std::size_t mark;
  std::vector<LocalBar> bars;
};

// One sheet: a cage (and the identical ones drawn with it) in its frame.
struct CageView {
  std::vector<std::string> members;
  const CageGroup* group = nullptr;
  const CageRecord* cage = nullptr;
  Frame frame;
  std::optional<Column> lower, upper;
  std::vector<PlacedMark> placements;
  std::map<std::size_t, std::size_t> count_of_mark;  // bars per mark in one cage
  double zmin = 0, zmax = 0;                         // of all bars
};

std::optional<Column> ReadColumn(const ExportInput& input, const std::string& id,
                                 const Frame& frame) {
  if (!input.model) return std::nullopt;
  const auto index = input.model->Find(id);
  if (!index) return std::nullopt;
  const auto& e = input.model->GetElements()[*index];
  if (e.plan.size() < 3) return std::nullopt;
  Column c;
  c.id = id;
  c.bottom = e.bottom;
  c.top = e.top;
  for (const auto& p : e.plan) c.corners.push_back(frame.Local(p.X(), p.Y()));
  c.first_side_x = FirstSideIsXFace(e.plan);
  c.xmin = c.xmax = c.corners[0].x;
  c.ymin = c.ymax = c.corners[0].y;
  for (const auto& p : c.corners) {
    c.xmin = std::min(c.xmin, p.x);
    c.xmax = std::max(c.xmax, p.x);
    c.ymin = std::min(c.ymin, p.y);
    c.ymax = std::max(c.ymax, p.y);
  }
  return c;
}

CageView MakeView(const ExportInput& input, const Schedule& schedule,
                  const std::vector<std::size_t>& members) {
  CageView v;
  const std::size_t c = members.front();
  v.cage = &input.cages[c];
  for (std::size_t m : members) v.members.push_back(input.cages[m].name);
  // The frame: the lower column's first side; without the column in the
  // model, the plan's own axes at the bars' lowest corner.
  bool framed = false;
  if (input.model && !v.cage->column_ids.empty()) {
    if (const auto i = input.model->Find(v.cage->column_ids.front())) {
      const auto& plan = input.model->GetElements()[*i].plan;
      if (plan.size() >= 2) {
        const double dx = plan[1].X() - plan[0].X(), dy = plan[1].Y() - plan[0].Y();
        const double len = std::hypot(dx, dy);
        if (len > 0) {
          v.frame = {{plan[0].X(), plan[0].Y()}, dx / len, dy / len};
          framed = true;
        }
      }
    }
  }
  if (!framed) {
    double x = 1e300, y = 1e300;
    for (const auto& p : v.cage->placements) {
      for (const auto& bar : p.GetBars()) {
        for (const auto& q : bar) {
          x = std::min(x, q.X());
          y = std::min(y, q.Y());
        }
      }
    }
    if (x < 1e300) v.frame.origin = {x, y};
  }
  if (!v.cage->column_ids.empty()) v.lower = ReadColumn(input, v.cage->column_ids[0], v.frame);
  if (v.cage->column_ids.size() > 1) v.upper = ReadColumn(input, v.cage->column_ids[1], v.frame);
  v.zmin = 1e300;
  v.zmax = -1e300;
  for (std::size_t p = 0; p < v.cage->placements.size(); ++p) {
    const auto& placement = v.cage->placements[p];
    PlacedMark pm{&placement, schedule.placement_marks[c][p], {}};
    for (const auto& bar : placement.GetBars()) {
      LocalBar lb;
      for (const auto& q : bar) {
        const XY l = v.frame.Local(q.X(), q.Y());
        lb.points.emplace_back(l.x, l.y, q.Z());
        v.zmin = std::min(v.zmin, q.Z());
        v.zmax = std::max(v.zmax, q.Z());
      }
      pm.bars.push_back(std::move(lb));
    }
    v.count_of_mark[pm.mark] += placement.GetBarCount();
    v.placements.push_back(std::move(pm));
  }
  if (v.zmin > v.zmax) v.zmin = v.zmax = 0;
  return v;
}

bool IsStirrup(const PlacedMark& pm) {
  return pm.placement->GetBendingShape().GetShapeType() == BendingShapeType::Stirrup;
}

bool IsCrossTie(const PlacedMark& pm) {
  return pm.placement->GetBendingShape().GetShapeType() == BendingShapeType::CrossTie;
}

// The largest standard scale (smallest denominator) at which `extent` mm
// fits into `room` mm of paper.
double ChooseScale(double extent, double room, std::initializer_list<double> scales) {
  for (double s : scales) {
    if (extent / s <= room) return s;
  }
  return *(scales.end() - 1);
}

std::string CallUp(std::size_t count, const MarkEntry& m) {
  return Integer(count) + " " + TypeAndSize(m.shape.diameter) + "-" + m.mark;
}

// ---------------------------------------------------------------------------
// Sections

// Where a bar crosses the level z, in plan; none when it does not.
std::optional<XY> CrossingAt(const LocalBar& bar, double z) {
  for (std::size_t i = 1; i < bar.points.size(); ++i) {
    const Point3D& a = bar.points[i - 1];
    const Point3D& b = bar.points[i];
    if (a.Z() == b.Z()) continue;
    const double t = (z - a.Z()) / (b.Z() - a.Z());
    if (t >= 0 && t <= 1) return XY{a.X() + t * (b.X() - a.X()), a.Y() + t * (b.Y() - a.Y())};
  }
  return std::nullopt;
}

// The SVG path of a stirrup's centreline, every bend drawn round its
// centreline bend radius. At the corner where a closed stirrup's hooks meet,
// both ends wrap round that corner's bend and their tails leave it along the
// tangent, as the bar is bent.
std::string StirrupPath(const std::vector<XY>& pts, const HostReinf::BendingShape& shape,
                        const std::function<XY(XY)>& paper) {
  const bool hs = shape.GetStartHook().present(), he = shape.GetEndHook().present();
  const double R = shape.GetBendRadius();
  auto unit = [](XY a, XY b) {
    const double l = std::hypot(b.x - a.x, b.y - a.y);
    return l > 0 ? XY{(b.x - a.x) / l, (b.y - a.y) / l} : XY{1, 0};
  };
  auto left = [](XY u) { return XY{-u.y, u.x}; };
  auto cross = [](XY a, XY b) { return a.x * b.y - a.y * b.x; };
  auto dot = [](XY a, XY b) { return a.x * b.x + a.y * b.y; };
  auto add = [](XY a, XY b, double f) { return XY{a.x + b.x * f, a.y + b.y * f}; };
  std::ostringstream d;
  auto move = [&](XY p) {
    const XY q = paper(p);
    d << 'M' << N(q.x) << ',' << N(q.y);
  };
  auto line = [&](XY p) {
    const XY q = paper(p);
    d << " L" << N(q.x) << ',' << N(q.y);
  };
  // Arc to p on a circle of radius r (model mm), turning left when `ccw`.
  // The page's y runs down, so a left turn in the plan sweeps towards
  // decreasing page angles: sweep flag 0.
  auto arc = [&](XY p, double r, bool ccw, bool large) {
    const XY q = paper(p);
    const XY o = paper({0, 0}), e = paper({r, 0});
    const double rp = std::hypot(e.x - o.x, e.y - o.y);
    d << " A" << N(rp) << ',' << N(rp) << (large ? " 0 1 " : " 0 0 ") << (ccw ? "0 " : "1 ")
      << N(q.x) << ',' << N(q.y);
  };
  // A bend at vertex v from direction a to b, as a fillet of radius R,
  // limited so that it never eats more than half of a neighbouring leg.
  auto fillet = [&](XY v, XY a, XY b, double room) {
    const double phi = std::atan2(cross(a, b), dot(a, b));
    if (std::abs(phi) < 1e-9) {
      line(v);
      return;
    }
    double t = R * std::tan(std::abs(phi) / 2);
    t = std::min(t, room);
    const double r = t / std::tan(std::abs(phi) / 2);
    line(add(v, a, -t));
    arc(add(v, b, t), r, phi > 0, false);
  };
  const std::size_t n = pts.size();
  if (n < 2 || n < (hs ? 1u : 0u) + (he ? 1u : 0u) + 2) return {};
  const std::size_t i0 = hs ? 1 : 0, i1 = he ? n - 2 : n - 1;
  const bool closed =
      i1 >= i0 + 3 && std::hypot(pts[i0].x - pts[i1].x, pts[i0].y - pts[i1].y) < 1e-6;
  auto seg = [&](std::size_t i) {
    return std::hypot(pts[i + 1].x - pts[i].x, pts[i + 1].y - pts[i].y);
  };
  if (closed && (hs || he)) {
    const XY c0 = pts[i0];
    const XY a = unit(pts[i1 - 1], pts[i1]), b = unit(pts[i0], pts[i0 + 1]);
    const double phi = std::atan2(cross(a, b), dot(a, b));
    const bool ccw = phi > 0;
    const double t = R * std::tan(std::abs(phi) / 2);
    const XY side = ccw ? left(b) : XY{-left(b).x, -left(b).y};
    const XY centre = add(add(c0, b, t), side, R);
    auto tangent = [&](XY u) {  // where a bar travelling along u meets the bend
      const XY l = ccw ? left(u) : XY{-left(u).x, -left(u).y};
      return add(centre, l, -R);
    };
    auto turn = [&](XY u, XY w) {
      double ang = std::atan2(cross(u, w), dot(u, w));
      if (ccw && ang < 0) ang += 2 * std::numbers::pi;
      if (!ccw && ang > 0) ang -= 2 * std::numbers::pi;
      return std::abs(ang);
    };
    if (hs) {
      const XY u = unit(pts[0], pts[1]);
      const double tail = std::hypot(pts[1].x - pts[0].x, pts[1].y - pts[0].y);
      const XY ts = tangent(u);
      move(add(ts, u, -tail));
      line(ts);
      arc(tangent(b), R, ccw, turn(u, b) > std::numbers::pi);
    } else {
      move(c0);
    }
    for (std::size_t i = i0 + 1; i < i1; ++i) {
      fillet(pts[i], unit(pts[i - 1], pts[i]), unit(pts[i], pts[i + 1]),
             std::min(seg(i - 1), seg(i)) / 2);
    }
    if (he) {
      const XY u = unit(pts[n - 2], pts[n - 1]);
      const double tail = std::hypot(pts[n - 1].x - pts[n - 2].x, pts[n - 1].y - pts[n - 2].y);
      line(tangent(a));
      const XY te = tangent(u);
      arc(te, R, ccw, turn(a, u) > std::numbers::pi);
      line(add(te, u, tail));
    } else {
      line(pts[i1]);
    }
    return d.str();
  }
  // An open bar (a cross-tie): every bend at the bar's radius, two bends on
  // one short leg sharing it as the bar's geometry does.
  std::vector<double> want(n, 0.0), room(n, 1e300);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const XY a = unit(pts[i - 1], pts[i]), b = unit(pts[i], pts[i + 1]);
    want[i] = R * std::tan(std::abs(std::atan2(cross(a, b), dot(a, b))) / 2);
  }
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const double need = want[i] + want[i + 1];
    const double f = need > seg(i) ? seg(i) / need : 1.0;
    room[i] = std::min(room[i], want[i] * f);
    room[i + 1] = std::min(room[i + 1], want[i + 1] * f);
  }
  move(pts[0]);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    fillet(pts[i], unit(pts[i - 1], pts[i]), unit(pts[i], pts[i + 1]), room[i] + 1e-9);
  }
  line(pts[n - 1]);
  return d.str();
}

struct SectionCut {
  std::string name;               // "A"
  double z = 0;                   // level of the cut
  const Column* cut;              // the column cut through
  const Column* other = nullptr;  // drawn dashed (the column below)
};

// The plan's axes as a section drawn in the column's frame shows them, two
// arrows from (x, y) on the paper, and the frame's angle: a reader can tell
// how the section lies in the building.
// A column standing square to the plan's axes needs none.
void DrawOrientation(Canvas& cv, const Frame& frame, double x, double y) {
  double angle = std::atan2(frame.uy, frame.ux) * 180 / std::numbers::pi;
  if (std::abs(angle) < 0.005) return;
  constexpr double kArrow = 7;  // mm
  cv.Raw("<g class=\"orientation\">");
  // The model's x axis in the frame is (ux, -uy); on paper, whose y runs
  // down, (ux, uy). Its y axis is at a quarter turn from it.
  const XY ax{frame.ux, frame.uy}, ay{frame.uy, -frame.ux};
  for (const auto& [u, name] : {std::pair{ax, "x"}, std::pair{ay, "y"}}) {
    const double ex = x + u.x * kArrow, ey = y + u.y * kArrow;
    cv.Line(x, y, ex, ey, "thin");
    const double hx = -u.x * 1.5, hy = -u.y * 1.5;
    cv.Polygon({{ex, ey},
                {ex + hx - hy * 0.4, ey + hy + hx * 0.4},
                {ex + hx + hy * 0.4, ey + hy - hx * 0.4}},
               "mark");
    cv.Text(ex + u.x * 2.5, ey + u.y * 2.5 + kSmallText * 0.35, name, kSmallText, "middle");
  }
  cv.Text(x + kArrow + 5, y + kSmallText, "first side at " + Rounded(angle, 2) + "\u00b0 to x",
          kSmallText);
  cv.Raw("</g>");
}

// Draws one section centred at (cx, cy); returns the lowest paper y used.
// With `faces`, each side is labelled as the cage's X or Y face.
double DrawSection(Canvas& cv, const CageView& v, const Schedule& schedule, const SectionCut& cut,
                   double scale, double cx, double cy, bool faces = false) {
  const Column& col = *cut.cut;
  const double xm = (col.xmin + col.xmax) / 2, ym = (col.ymin + col.ymax) / 2;
  auto P = [&](XY p) { return XY{cx + (p.x - xm) / scale, cy - (p.y - ym) / scale}; };
  auto pts = [&](const Column& c) {
    std::vector<std::pair<double, double>> out;
    for (const auto& q : c.corners) {
      const XY p = P(q);
      out.emplace_back(p.x, p.y);
    }
    return out;
  };
  if (cut.other) cv.Polygon(pts(*cut.other), "hidden");
  cv.Polygon(pts(col), "concrete");
  const XY lo = P({col.xmin, col.ymin}),
           hi = P({col.xmax, col.ymax});  // bottom-left, top-right on paper
  if (faces) {
    // A quarter along each side, clear of the sizes written at its middle.
    const std::size_t n = col.corners.size();
    const XY mid = P({xm, ym});
    for (std::size_t i = 0; i < n; ++i) {
      const XY a = P(col.corners[i]), b = P(col.corners[(i + 1) % n]);
      const XY at{a.x + (b.x - a.x) * 0.25, a.y + (b.y - a.y) * 0.25};
      double nx = at.x - mid.x, ny = at.y - mid.y;
      const double ex = b.x - a.x, ey = b.y - a.y, el = std::hypot(ex, ey);
      if (el > 0) {
        // Outward: the side's normal that points away from the middle.
        nx = -ey / el;
        ny = ex / el;
        if (nx * (at.x - mid.x) + ny * (at.y - mid.y) < 0) {
          nx = -nx;
          ny = -ny;
        }
      }
      const bool x_face = (i % 2 == 0) == col.first_side_x;
      cv.Raw("<text class=\"face\" x=\"" + N(at.x + nx * 2.6) + "\" y=\"" +
             N(at.y + ny * 2.6 + kSmallText * 0.35) + "\" font-size=\"" + N(kSmallText) +
             "\" text-anchor=\"middle\">" + (x_face ? "X" : "Y") + "</text>");
    }
  }

  // The stirrup nearest the cut, if one lies in this column.
  const PlacedMark* link = nullptr;
  const LocalBar* link_bar = nullptr;
  double best = 1e300;
  for (const auto& pm : v.placements) {
    if (!IsStirrup(pm)) continue;
    for (const auto& bar : pm.bars) {
      const double z = bar.points.front().Z();
      if (z < col.bottom || z > col.top) continue;
      if (std::abs(z - cut.z) < best) {
        best = std::abs(z - cut.z);
        link = &pm;
        link_bar = &bar;
      }
    }
  }
  double link_outer = -1;  // cover to the stirrup's outer face on the first side
  if (link) {
    std::vector<XY> plan;
    for (const auto& q : link_bar->points) plan.push_back({q.X(), q.Y()});
    const auto& shape = link->placement->GetBendingShape();
    cv.Raw("<path class=\"link\" stroke-width=\"" + N(shape.GetDiameter() / scale) + "\" d=\"" +
           StirrupPath(plan, shape, [&](XY p) { return P(p); }) + "\"/>");
    double ymin = 1e300;
    for (const auto& q : plan) ymin = std::min(ymin, q.y);
    link_outer = ymin - shape.GetDiameter() / 2 - col.ymin;
    // Call-up of the stirrup at the right, with a leader to its right leg.
    double xmax = -1e300;
    for (const auto& q : plan) xmax = std::max(xmax, q.x);
    const XY target = P({xmax + shape.GetDiameter() / 2, ym + (col.ymax - col.ymin) * 0.3});
    const double tx = hi.x + 6;
    const std::string text =
        TypeAndSize(shape.GetDiameter()) + "-" + schedule.marks[link->mark].mark + " links";
    cv.Polyline({{target.x, target.y},
                 {tx - 1, target.y - 3},
                 {tx + TextWidth(text, kTextSize), target.y - 3}},
                "leader");
    cv.Text(tx, target.y - 3.6, text, kTextSize);
    // The cross-ties that lie on that link, bent as they are.
    const double link_z = link_bar->points.front().Z();
    for (const auto& pm : v.placements) {
      if (!IsCrossTie(pm)) continue;
      const auto& tie = pm.placement->GetBendingShape();
      for (const auto& bar : pm.bars) {
        const double z = bar.points.front().Z();
        if (std::abs(z - link_z) > shape.GetDiameter() + 2 * tie.GetDiameter() + 1e-6) continue;
        std::vector<XY> tie_plan;
        for (const auto& q : bar.points) tie_plan.push_back({q.X(), q.Y()});
        cv.Raw("<path class=\"link\" stroke-width=\"" + N(tie.GetDiameter() / scale) + "\" d=\"" +
               StirrupPath(tie_plan, tie, [&](XY p) { return P(p); }) + "\"/>");
      }
    }
  }

  // Bars cut by the section, each labelled by its mark towards the middle.
  std::map<std::size_t, std::size_t> cut_count;
  for (const auto& pm : v.placements) {
    if (IsStirrup(pm) || IsCrossTie(pm)) continue;
    const double d = pm.placement->GetBendingShape().GetDiameter();
    for (const auto& bar : pm.bars) {
      const auto at = CrossingAt(bar, cut.z);
      if (!at) continue;
      ++cut_count[pm.mark];
      const XY p = P(*at);
      cv.Circle(p.x, p.y, d / 2 / scale, "bar");
      const XY mid = P({xm, ym});
      const double dx = mid.x - p.x, dy = mid.y - p.y, len = std::hypot(dx, dy);
      const double off = d / 2 / scale + 2.2;
      const double lx = len > 0 ? p.x + dx / len * off : p.x,
                   ly = len > 0 ? p.y + dy / len * off : p.y;
      cv.Text(lx, ly + kSmallText * 0.35, schedule.marks[pm.mark].mark, kSmallText, "middle");
    }
  }

  // Where the section lies in the plan: the model's x and y axes as the
  // section shows them, and the angle the column's first side makes with x.
  DrawOrientation(cv, v.frame, hi.x + 6, hi.y + 2);

  // Sizes: the first side above, the second side at the left.
  const double top_dim = hi.y - 5, left_dim = lo.x - 5;
  cv.Line(lo.x, hi.y - 1, lo.x, top_dim - 1, "ext");
  cv.Line(hi.x, hi.y - 1, hi.x, top_dim - 1, "ext");
  cv.Dimension(lo.x, top_dim, hi.x, top_dim, Mm(col.xmax - col.xmin));
  cv.Line(lo.x - 1, lo.y, left_dim - 1, lo.y, "ext");
  cv.Line(lo.x - 1, hi.y, left_dim - 1, hi.y, "ext");
  cv.Dimension(left_dim, lo.y, left_dim, hi.y, Mm(col.ymax - col.ymin));

  // The cover, from the first side to the stirrup, between the corner bar
  // and the next bar along that side.
  double bottom = lo.y;
  if (link_outer > 0) {
    const double x = col.xmin + (col.xmax - col.xmin) * 0.3;
    const XY a = P({x, col.ymin}), b = P({x, col.ymin + link_outer});
    cv.Line(a.x, a.y, a.x, a.y + 4, "dim");
    cv.Line(a.x - 0.9, a.y + 0.9, a.x + 0.9, a.y - 0.9, "tick");
    cv.Line(b.x - 0.9, b.y + 0.9, b.x + 0.9, b.y - 0.9, "tick");
    cv.Line(b.x, b.y, a.x, a.y, "dim");
    cv.Text(a.x + 1, a.y + 3.5, "cover " + Mm(link_outer), kSmallText);
    bottom = a.y + 4;
  }

  // Title and call-ups of the bars cut.
  double y = bottom + 8;
  cv.Text(cx, y, "SECTION " + cut.name + "-" + cut.name, 3.5, "middle", 0, true);
  cv.Line(cx - TextWidth("SECTION " + cut.name + "-" + cut.name, 3.5) / 2, y + 0.8,
          cx + TextWidth("SECTION " + cut.name + "-" + cut.name, 3.5) / 2, y + 0.8, "thin");
  y += 4.5;
  cv.Text(cx, y, "1:" + Mm(scale) + ", cut at " + Level(cut.z), kSmallText, "middle");
  for (const auto& [mark, count] : cut_count) {
    y += 4;
    cv.Text(cx, y, CallUp(count, schedule.marks[mark]), kTextSize, "middle");
  }
  return y;
}

// ---------------------------------------------------------------------------
// Elevation

struct VerticalDim {
  double z0, z1;
  std::string what;                // "crank", "lap", "projection"
  std::vector<std::string> marks;  // the marks it applies to
  std::string Text() const {
    std::string text = what + " " + Mm(z1 - z0) + " (";
    for (std::size_t i = 0; i < marks.size(); ++i) text += (i ? ", " : "") + marks[i];
    return text + ")";
  }
};

// Crank, lap and projection zones of the longitudinal bars; marks with the
// same zone share one dimension.
std::vector<VerticalDim> LapZones(const CageView& v, const Schedule& schedule) {
  std::vector<VerticalDim> dims;
  auto add = [&](double z0, double z1, const std::string& what, const std::string& mark) {
    if (z1 - z0 < 1) return;
    for (auto& d : dims) {
      if (std::abs(d.z0 - z0) < 0.5 && std::abs(d.z1 - z1) < 0.5 && d.what == what) {
        if (std::find(d.marks.begin(), d.marks.end(), mark) == d.marks.end())
          d.marks.push_back(mark);
        return;
      }
    }
    dims.push_back({z0, z1, what, {mark}});
  };
  const double lower_top = v.lower ? v.lower->top : v.zmax;
  // The highest top of the bars that stand on the bottom, for the starters'
  // laps.
  double standing_top = -1e300;
  for (const auto& pm : v.placements) {
    if (IsStirrup(pm) || pm.bars.empty()) continue;
    if (schedule.marks[pm.mark].group == MarkEntry::Group::Standing) {
      for (const auto& q : pm.bars.front().points) standing_top = std::max(standing_top, q.Z());
    }
  }
  std::map<std::size_t, bool> seen;
  for (const auto& pm : v.placements) {
    if (IsStirrup(pm) || pm.bars.empty() || seen[pm.mark]) continue;
    seen[pm.mark] = true;
    const MarkEntry& m = schedule.marks[pm.mark];
    const auto& pts = pm.bars.front().points;
    double lo = 1e300, hi = -1e300;
    for (const auto& q : pts) {
      lo = std::min(lo, q.Z());
      hi = std::max(hi, q.Z());
    }
    if (m.shape.code == "26" && pts.size() == 4) {
      add(std::min(pts[1].Z(), pts[2].Z()), std::max(pts[1].Z(), pts[2].Z()), "crank", m.mark);
      add(std::min(pts[2].Z(), pts[3].Z()), std::max(pts[2].Z(), pts[3].Z()), "lap", m.mark);
    } else if (m.group == MarkEntry::Group::Starter) {
      if (standing_top > lo) add(lo, std::min(hi, standing_top), "lap", m.mark);
      if (v.upper && hi > v.upper->bottom) add(v.upper->bottom, hi, "lap", m.mark);
    } else if (hi > lower_top + 1) {
      if (v.upper)
        add(std::max(v.upper->bottom, lo), hi, "lap", m.mark);
      else
        add(lower_top, hi, "projection", m.mark);
    }
  }
  return dims;
}

struct ElevationLayout {
  double scale;
  double cx;      // paper x of the middle of the lower column
  double base_y;  // paper y of the lowest level drawn
  double zlo;     // that level
  double xm;      // frame x of the middle of the lower column
  double X(double x) const { return cx + (x - xm) / scale; }
  double Y(double z) const { return base_y - (z - zlo) / scale; }
};

void LevelMark(Canvas& cv, double x_text, double x_face, double y, double z,
               const std::string& what) {
  cv.Line(x_text, y, x_face - 1, y, "thin");
  const double tx = x_text + 12;
  cv.Polygon({{tx, y}, {tx - 1.2, y - 1.6}, {tx + 1.2, y - 1.6}}, "mark");
  cv.Text(x_text, y - 0.8, Level(z), kSmallText);
  cv.Text(tx + 2, y - 0.8, what, kSmallText);
}

// A break line from (x0, y0) to (x1, y1) running a little past both ends,
// with the zigzag in its middle.
std::vector<std::pair<double, double>> BreakLine(double x0, double y0, double x1, double y1) {
  const double len = std::hypot(x1 - x0, y1 - y0);
  const double ux = (x1 - x0) / len, uy = (y1 - y0) / len, nx = -uy, ny = ux;
  const double mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
  return {{x0 - 2 * ux, y0 - 2 * uy},
          {mx - ux, my - uy},
          {mx - 0.3 * ux + 1.5 * nx, my - 0.3 * uy + 1.5 * ny},
          {mx + 0.3 * ux - 1.5 * nx, my + 0.3 * uy - 1.5 * ny},
          {mx + ux, my + uy},
          {x1 + 2 * ux, y1 + 2 * uy}};
}

void DrawElevation(Canvas& cv, const CageView& v, const Schedule& schedule,
                   const ElevationLayout& L, double show_top, const std::vector<SectionCut>& cuts) {
  // Concrete: the lower column, the slab between the columns, the upper
  // column up to a break line above its bars.
  double face_left = L.X(0), face_right = L.X(0);
  if (v.lower) {
    face_left = L.X(v.lower->xmin);
    face_right = L.X(v.lower->xmax);
    cv.Rect(face_left, L.Y(v.lower->top), face_right - face_left,
            (v.lower->top - v.lower->bottom) / L.scale, "concrete");
  }
  if (v.lower && v.upper) {
    // The slab is cut short at both sides; the upper column is broken off
    // a little above the bars.
    const double ul = L.X(v.upper->xmin), ur = L.X(v.upper->xmax);
    const double sl = std::min(face_left, ul) - 12, sr = std::max(face_right, ur) + 12;
    const double st = L.Y(v.upper->bottom), sb = L.Y(v.lower->top);
    cv.Polygon({{sl, st}, {sr, st}, {sr, sb}, {sl, sb}}, "slab-fill");
    cv.Line(sl, st, sr, st, "outline");
    cv.Line(sl, sb, sr, sb, "outline");
    cv.Polyline(BreakLine(sl, sb, sl, st), "thin");
    cv.Polyline(BreakLine(sr, sb, sr, st), "thin");
    const double top = std::min(show_top, v.upper->top), yt = L.Y(top);
    if (top < v.upper->top) {
      const auto brk = BreakLine(ul, yt, ur, yt);
      std::vector<std::pair<double, double>> outline{{ul, st}, {ur, st}, {ur, yt}};
      for (std::size_t i = brk.size() - 2; i >= 1; --i) outline.push_back(brk[i]);
      outline.emplace_back(ul, yt);
      cv.Polygon(outline, "concrete");
      cv.Line(brk.front().first, yt, ul, yt, "thin");
      cv.Line(ur, yt, brk.back().first, yt, "thin");
    } else {
      cv.Rect(ul, yt, ur - ul, (top - v.upper->bottom) / L.scale, "concrete");
    }
  }

  // Stirrups seen edge on, then the longitudinal bars.
  for (const auto& pm : v.placements) {
    const double d = pm.placement->GetBendingShape().GetDiameter();
    for (const auto& bar : pm.bars) {
      if (IsStirrup(pm)) {
        double x0 = 1e300, x1 = -1e300;
        for (const auto& q : bar.points) {
          x0 = std::min(x0, q.X());
          x1 = std::max(x1, q.X());
        }
        const double y = L.Y(bar.points.front().Z());
        cv.Raw("<line class=\"link\" stroke-width=\"" + N(d / L.scale) +
               "\" stroke-linecap=\"square\" x1=\"" + N(L.X(x0)) + "\" y1=\"" + N(y) + "\" x2=\"" +
               N(L.X(x1)) + "\" y2=\"" + N(y) + "\"/>");
      }
    }
  }
  for (const auto& pm : v.placements) {
    if (IsStirrup(pm)) continue;
    const double d = pm.placement->GetBendingShape().GetDiameter();
    for (const auto& bar : pm.bars) {
      std::vector<std::pair<double, double>> pts;
      for (const auto& q : bar.points) pts.emplace_back(L.X(q.X()), L.Y(q.Z()));
      cv.Polyline(pts, "rebar", d / L.scale);
    }
  }

  // Section cuts, named at their right-hand end.
  for (const auto& cut : cuts) {
    const Column& c = *cut.cut;
    const double y = L.Y(cut.z), x0 = L.X(c.xmin) - 3, x1 = L.X(c.xmax) + 3;
    cv.Line(x0, y, x1, y, "cut");
    cv.Text(x1 + 0.8, y + 1.2, cut.name, 3.5, "start", 0, true);
  }

  // Stirrup zones at the right: the zone's length along a dimension line,
  // its call-up beside it.
  const double zone_x = face_right + 11;
  double zones_top = -1e300;
  for (const auto& pm : v.placements) {
    if (!IsStirrup(pm)) continue;
    const auto* p = pm.placement;
    const double z0 = std::min(p->GetFromPoint().Z(), p->GetToPoint().Z());
    const double z1 = std::max(p->GetFromPoint().Z(), p->GetToPoint().Z());
    zones_top = std::max(zones_top, z1);
    const double y0 = L.Y(z0), y1 = L.Y(z1);
    cv.Line(face_right + 1, y0, zone_x + 1, y0, "ext");
    cv.Line(face_right + 1, y1, zone_x + 1, y1, "ext");
    cv.Dimension(zone_x, y0, zone_x, y1, Mm(z1 - z0), -1);
    std::string text = CallUp(p->GetBarCount(), schedule.marks[pm.mark]);
    // The spacing the links stand at, which the zone's length shares evenly
    // (never more than the palette's spacing).
    if (p->GetBarCount() > 1) text += "-" + Mm(ActualSpacing(*p));
    cv.Text(zone_x + 2.5, (y0 + y1) / 2 + kTextSize * 0.35, text, kTextSize);
  }

  // Crank, lap and projection zones at the left, in as many lanes as they
  // need so that none overlaps another. A text longer than its dimension
  // runs on past the dimension's upper end and takes that room in its lane.
  std::vector<std::vector<std::pair<double, double>>> lanes;  // paper y spans taken
  for (const auto& dim : LapZones(v, schedule)) {
    const double y0 = L.Y(dim.z0), y1 = L.Y(dim.z1);
    const std::string text = dim.Text();
    const double need = TextWidth(text, kSmallText) + 1;
    const bool fits = need <= y0 - y1;
    const double span_top = fits ? y1 : y1 - need - 1;
    std::size_t lane = 0;
    for (; lane < lanes.size(); ++lane) {
      bool free = true;
      for (const auto& [a, b] : lanes[lane]) free = free && (span_top >= b + 1 || y0 <= a - 1);
      if (free) break;
    }
    if (lane == lanes.size()) lanes.emplace_back();
    lanes[lane].emplace_back(span_top, y0);
    const double x = face_left - 8 - 8 * static_cast<double>(lane);
    cv.Line(face_left - 1, y0, x - 1, y0, "ext");
    cv.Line(face_left - 1, y1, x - 1, y1, "ext");
    if (fits) {
      cv.Dimension(x, y0, x, y1, text, -1);
    } else {
      cv.Dimension(x, y0, x, y1, "", -1);
      cv.Line(x, y1, x, span_top + 1, "dim");
      cv.Text(x - 0.8, y1 - 1 - need / 2, text, kSmallText, "middle", -90);
    }
  }

  // Levels at the far left.
  const double level_x =
      std::max(24.0, face_left - 12 - 8 * static_cast<double>(lanes.size()) - 30);
  if (v.lower) {
    LevelMark(cv, level_x, face_left, L.Y(v.lower->bottom), v.lower->bottom,
              "bottom " + v.lower->id);
    LevelMark(cv, level_x, face_left, L.Y(v.lower->top), v.lower->top, "top " + v.lower->id);
  }
  if (v.upper) {
    const double ul = L.X(v.upper->xmin);
    LevelMark(cv, level_x, std::min(face_left, ul), L.Y(v.upper->bottom), v.upper->bottom,
              "bottom " + v.upper->id);
    if (show_top >= v.upper->top) {
      LevelMark(cv, level_x, ul, L.Y(v.upper->top), v.upper->top, "top " + v.upper->id);
    }
  }

  // Call-ups of the longitudinal bars at the right, above the stirrup
  // zones, each with a leader to the top of the right-most bar of its mark.
  struct Target {
    std::size_t mark;
    double x, y;
  };
  std::vector<Target> targets;
  for (const auto& pm : v.placements) {
    if (IsStirrup(pm)) continue;
    for (const auto& bar : pm.bars) {
      const Point3D* top = &bar.points.front();
      for (const auto& q : bar.points) {
        if (q.Z() > top->Z()) top = &q;
      }
      const double x = L.X(top->X()), y = L.Y(top->Z());
      auto it = std::find_if(targets.begin(), targets.end(),
                             [&](const Target& t) { return t.mark == pm.mark; });
      if (it == targets.end())
        targets.push_back({pm.mark, x, y});
      else if (x > it->x + 1e-9 || (std::abs(x - it->x) < 1e-9 && y < it->y))
        *it = {pm.mark, x, y};
    }
  }
  std::sort(targets.begin(), targets.end(), [](const Target& a, const Target& b) {
    return a.y != b.y ? a.y > b.y : a.mark < b.mark;
  });
  double label_y = std::min(zones_top > -1e300 ? L.Y(zones_top) - 6 : L.Y(v.zmax),
                            targets.empty() ? 0 : targets.front().y);
  const double label_x = zone_x + 2.5;
  for (const auto& t : targets) {
    const std::string text = CallUp(v.count_of_mark.at(t.mark), schedule.marks[t.mark]);
    cv.Polyline(
        {{t.x, t.y}, {label_x - 1, label_y}, {label_x + TextWidth(text, kTextSize), label_y}},
        "leader");
    cv.Text(label_x, label_y - 0.6, text, kTextSize);
    label_y -= 5;
  }
}

// The drawing's line and text styles, for every SVG it writes.
std::string Style() {
  std::ostringstream out;
  out << "<defs><style type=\"text/css\"><![CDATA[\n"
      << "text{font-family:sans-serif;fill:#000}\n"
      << ".frame{fill:none;stroke:#000;stroke-width:0.5}\n"
      << ".concrete{fill:#ececec;stroke:#000;stroke-width:0.35}\n"
      << ".slab-fill{fill:#ececec;stroke:none}\n"
      << ".outline{fill:none;stroke:#000;stroke-width:0.25}\n"
      << ".hidden{fill:none;stroke:#000;stroke-width:0.25;stroke-dasharray:1.5,1}\n"
      << ".bar{fill:#000;stroke:none}\n"
      << ".rebar{fill:none;stroke:#000;stroke-linejoin:round}\n"
      << ".link{fill:none;stroke:#000;stroke-linejoin:round}\n"
      << ".dim,.ext,.leader,.thin{fill:none;stroke:#000;stroke-width:0.15}\n"
      << ".tick{stroke:#000;stroke-width:0.3}\n"
      << ".mark{fill:#000;stroke:none}\n"
      << ".cut{stroke:#000;stroke-width:0.3;stroke-dasharray:5,1,1,1}\n"
      << "]]></style></defs>\n";
  return out.str();
}

// ---------------------------------------------------------------------------
// The sheet

void DrawFrameAndTitle(Canvas& cv, const SheetLayout& sheet_layout, const ExportInput& input,
                       const CageView& v, const std::string& scales, std::size_t sheet,
                       std::size_t sheets) {
  const Box& border = sheet_layout.border;
  const Box& title = sheet_layout.title_block;
  cv.Rect(border.x, border.y, border.w, border.h, "frame");
  const double x0 = title.x, x1 = title.Right(), y0 = title.y, y1 = title.Bottom();
  std::string columns;
  for (const auto& c : v.cage->column_ids) columns += (columns.empty() ? "" : ", ") + c;
  // Every value fits its row: a long name is cut (the member table of the
  // schedule has them all).
  const auto fit = [](const std::string& text, double size, double room) {
    const auto chars = static_cast<std::size_t>(std::max(room / (size * kCharWidth), 4.0));
    const std::string cut = FirstCharacters(text, chars);
    return cut.size() < text.size() ? FirstCharacters(text, chars - 3) + "..." : cut;
  };
  const std::string members = v.group ? v.group->name + ": " + v.group->members : v.cage->name;
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"Project", input.project},
      {"Drawing", input.drawing_number + "/" + Integer(sheet) + "  rev. " + input.revision},
      {"Cage", "Column cage " + v.cage->name},
      {"Members", members},
      {"Columns", columns},
      {"Scales", scales + "; mm, levels in m"},
      {"Date", input.date}};
  const double row = (y1 - y0) / static_cast<double>(rows.size());
  cv.Rect(x0, y0, x1 - x0, y1 - y0, "frame");
  for (std::size_t i = 1; i < rows.size(); ++i) {
    cv.Line(x0, y0 + row * static_cast<double>(i), x1, y0 + row * static_cast<double>(i), "thin");
  }
  cv.Line(x0 + 20, y0, x0 + 20, y1, "thin");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const double y = y0 + row * static_cast<double>(i) + row * 0.72;
    const bool big = i == 1;
    const double size = big ? 3.5 : kTextSize;
    // The drawing row leaves room for the sheet count at its right.
    const double room = x1 - x0 - 24 - (big ? 0 : 0) - (i + 1 == rows.size() ? 30 : 0);
    cv.Text(x0 + 2, y, rows[i].first, kSmallText);
    cv.Text(x0 + 22, y, fit(rows[i].second, size, room), size, "start", 0, big);
  }
  cv.Text(x1 - 2, y1 - row * 0.28, "Sheet " + Integer(sheet) + " of " + Integer(sheets), kTextSize,
          "end");
}

// The dimensioned sketch of each bar on the sheet that has no standard
// shape code: its legs in its own plane, each with its length from corner to
// corner of the centreline, the angle of each bend, and its size, cut length
// and mandrel above it. One cell per mark, left to right across `area`.
void DrawSketches(Canvas& cv, const CageView& v, const Schedule& schedule, const Box& area) {
  constexpr double kCell = 80;  // mm across
  double x = area.x;
  for (const auto& [mark, count] : v.count_of_mark) {
    const MarkEntry& m = schedule.marks[mark];
    if (m.shape.code != "99") continue;
    // Not a structured binding in the lambda: clang 14 cannot capture one.
    const auto this_mark = mark;
    const auto pm = std::find_if(v.placements.begin(), v.placements.end(),
                                 [&](const PlacedMark& p) { return p.mark == this_mark; });
    if (pm == v.placements.end()) continue;
    if (x + kCell > area.Right()) {
      cv.Text(x, area.y + 3, "further sketches: see bars.abs", kSmallText);
      break;
    }
    std::vector<Point3D> p;
    for (const auto& q : pm->placement->GetBendingShape().GetPolyline()) {
      if (p.empty() || p.back().GetDistance(q) > 1e-6) p.push_back(q);
    }
    if (p.size() < 2) continue;
    // The bar's plane: along its first leg, and across it towards the first
    // leg that turns away.
    const HostGeo::Vector3D u = HostGeo::Vector3D(p[0], p[1]).Normalized();
    HostGeo::Vector3D w(0, 0, 0);
    for (std::size_t i = 1; i + 1 < p.size() && w.GetLength() < 1e-9; ++i) {
      const HostGeo::Vector3D along(p[i], p[i + 1]);
      w = along - u * along.Dot(u);
    }
    if (w.GetLength() > 1e-9) w = w.Normalized();
    std::vector<XY> flat;
    double lo_x = 1e300, hi_x = -1e300, lo_y = 1e300, hi_y = -1e300;
    for (const auto& q : p) {
      const HostGeo::Vector3D d(p[0], q);
      flat.push_back({d.Dot(u), d.Dot(w)});
      lo_x = std::min(lo_x, flat.back().x);
      hi_x = std::max(hi_x, flat.back().x);
      lo_y = std::min(lo_y, flat.back().y);
      hi_y = std::max(hi_y, flat.back().y);
    }
    // To fit the cell below its heading, with room for the leg lengths.
    const double room_w = kCell - 20, room_h = area.h - 20;
    const double scale = std::max({(hi_x - lo_x) / room_w, (hi_y - lo_y) / room_h, 1e-9});
    const double ox = x + 10 + (room_w - (hi_x - lo_x) / scale) / 2;
    const double oy = area.y + 12 + (room_h - (hi_y - lo_y) / scale) / 2;
    const auto paper = [&](const XY& q) {
      return std::pair{ox + (q.x - lo_x) / scale, oy + (hi_y - q.y) / scale};
    };
    std::vector<std::pair<double, double>> line;
    for (const auto& q : flat) line.push_back(paper(q));
    cv.Polyline(line, "rebar", 0.5);
    cv.Text(x, area.y + 3, "Mark " + m.mark + ", shape code 99: " + TypeAndSize(m.shape.diameter),
            kSmallText, "start", 0, true);
    cv.Text(x, area.y + 7,
            "cut " + Mm(m.scheduled_length) + ", mandrel " +
                Mm(2 * (m.shape.bend_radius - m.shape.diameter / 2)) + "; legs to the corners",
            kSmallText);
    for (std::size_t i = 0; i + 1 < p.size(); ++i) {
      const auto [ax, ay] = line[i];
      const auto [bx, by] = line[i + 1];
      const double len = std::hypot(bx - ax, by - ay);
      if (len < 1e-9) continue;
      // The length beside the leg's middle, on the side away from the bar's
      // middle.
      double nx = -(by - ay) / len, ny = (bx - ax) / len;
      const double mx = (ax + bx) / 2, my = (ay + by) / 2;
      const double cx = ox + (hi_x - lo_x) / scale / 2, cy = oy + (hi_y - lo_y) / scale / 2;
      if ((mx - cx) * nx + (my - cy) * ny < 0) {
        nx = -nx;
        ny = -ny;
      }
      cv.Text(mx + nx * 3, my + ny * 3 + kSmallText * 0.35, Mm(p[i].GetDistance(p[i + 1])),
              kSmallText, "middle");
      if (i + 2 < p.size()) {
        const HostGeo::Vector3D a(p[i], p[i + 1]), b(p[i + 1], p[i + 2]);
        const double turn = std::acos(std::clamp(a.Normalized().Dot(b.Normalized()), -1.0, 1.0)) *
                            180 / std::numbers::pi;
        if (turn > 0.5) {
          cv.Text(bx, by - 1.5, Rounded(turn, 0) + "\u00b0", kSmallText, "middle");
        }
      }
    }
    x += kCell;
  }
}

void DrawBarList(Canvas& cv, const CageView& v, const Schedule& schedule, const Box& box) {
  const double x = box.x;
  double y = box.y + 5;
  const double widths[] = {12, 14, 10, 16, 12};
  const char* heads[] = {"Mark", "Size", "No.", "Length", "Shape"};
  double cx = x;
  for (int i = 0; i < 5; ++i) {
    cv.Text(cx, y, heads[i], kSmallText, "start", 0, true);
    cx += widths[i];
  }
  cv.Line(x, y + 1, cx, y + 1, "thin");
  for (const auto& [mark, count] : v.count_of_mark) {
    y += 3.6;
    const MarkEntry& m = schedule.marks[mark];
    const std::string cells[] = {m.mark, TypeAndSize(m.shape.diameter), Integer(count),
                                 Mm(m.scheduled_length), m.shape.code};
    cx = x;
    for (int i = 0; i < 5; ++i) {
      cv.Text(cx, y, cells[i], kSmallText);
      cx += widths[i];
    }
  }
}

// Section cuts: through the middle of the lower column, and through the
// upper column where bars of the cage continue into it.
std::vector<SectionCut> Cuts(const CageView& v) {
  std::vector<SectionCut> cuts;
  if (v.lower) cuts.push_back({"A", (v.lower->bottom + v.lower->top) / 2, &*v.lower, nullptr});
  if (v.lower && v.upper) {
    double reach = -1e300;
    for (const auto& pm : v.placements) {
      if (IsStirrup(pm)) continue;
      for (const auto& bar : pm.bars) {
        double hi = -1e300;
        for (const auto& q : bar.points) hi = std::max(hi, q.Z());
        if (hi > v.upper->bottom + 1) reach = reach == -1e300 ? hi : std::min(reach, hi);
      }
    }
    if (reach > -1e300) cuts.push_back({"B", (v.upper->bottom + reach) / 2, &*v.upper, &*v.lower});
  }

  return cuts;
}

std::string DrawSheet(const ExportInput& input, const Schedule& schedule, const CageView& v,
                      std::size_t sheet, std::size_t sheets) {
  Canvas cv;
  const std::vector<SectionCut> cuts = Cuts(v);

  // Elevation: from the lower column's bottom to a little above the bars.
  double zlo = v.zmin, zhi = v.zmax;
  if (v.lower) {
    zlo = std::min(zlo, v.lower->bottom);
    zhi = std::max(zhi, v.lower->top);
  }
  double show_top = zhi;
  if (v.upper) {
    show_top = std::min(v.upper->top, v.zmax + 300);
    zhi = std::max(zhi, show_top);
  }
  double xlo = 0, xhi = 0;
  if (v.lower) {
    xlo = v.lower->xmin;
    xhi = v.lower->xmax;
  }
  const SheetLayout layout = SheetLayout::For(kSheetWidth, kSheetHeight);
  // The elevation stands on the bottom of its viewport, leaving 10 mm at
  // its top for the level marks' text.
  const Box& ev = layout.elevation;
  const double e_scale =
      ChooseScale(std::max(zhi - zlo, 1.0), ev.h - 10, {10, 20, 25, 50, 100, 200});
  ElevationLayout L{e_scale, ev.CentreX(), ev.Bottom(), zlo, (xlo + xhi) / 2};
  DrawElevation(cv, v, schedule, L, show_top, cuts);
  const double caption = ev.Bottom() + 12;
  cv.Text(L.cx, caption, "ELEVATION", 3.5, "middle", 0, true);
  cv.Line(L.cx - TextWidth("ELEVATION", 3.5) / 2, caption + 0.8,
          L.cx + TextWidth("ELEVATION", 3.5) / 2, caption + 0.8, "thin");
  cv.Text(L.cx, caption + 5, "1:" + Mm(e_scale) + ", seen on the first side", kSmallText, "middle");

  // Sections side by side, at the largest scale at which each fits its
  // slot with room for its sizes and call-ups (40 mm across, 30 mm down).
  const Box& sv = layout.sections;
  const double slot = sv.w / static_cast<double>(std::max<std::size_t>(cuts.size(), 1));
  double s_scale = 5;
  for (const auto& cut : cuts) {
    s_scale = std::max(
        {s_scale, ChooseScale(cut.cut->xmax - cut.cut->xmin, slot - 40, {5, 10, 20, 25, 50, 100}),
         ChooseScale(cut.cut->ymax - cut.cut->ymin, sv.h - 30, {5, 10, 20, 25, 50, 100})});
  }
  for (std::size_t i = 0; i < cuts.size(); ++i) {
    DrawSection(cv, v, schedule, cuts[i], s_scale,
                std::round(sv.x + slot * (static_cast<double>(i) + 0.45)), sv.CentreY());
  }
  if (cuts.empty()) {
    cv.Text(sv.x + slot / 2, sv.CentreY(), "no column in the model: no section", kTextSize,
            "middle");
  }

  DrawBarList(cv, v, schedule, layout.bar_list);
  DrawSketches(cv, v, schedule, layout.sketches);
  std::string scales = "section 1:" + Mm(s_scale) + ", elevation 1:" + Mm(e_scale);
  DrawFrameAndTitle(cv, layout, input, v, scales, sheet, sheets);
  return cv.Str();
}

class DrawingSvgWriter : public Exporter {
 public:
  std::string FileName() const override { return "drawing.svg"; }

  void Write(const ExportInput& input, const Schedule& schedule, std::ostream& out) const override {
    // One sheet per group of cages (identical lines, same levels).
    const auto sheets = CageGroups(input, schedule);
    const std::size_t n = std::max<std::size_t>(sheets.size(), 1);
    const double height = kSheetHeight * static_cast<double>(n);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << N(kSheetWidth)
        << "mm\" height=\"" << N(height) << "mm\" viewBox=\"0 0 " << N(kSheetWidth) << ' '
        << N(height) << "\">\n"
        << "<title>" << Escape("Column cages - " + input.project) << "</title>\n"
        << "<desc>" << Escape("Reinforcement drawings, " + input.date + "; page units are mm")
        << "</desc>\n"
        << Style()

        << "<rect x=\"0\" y=\"0\" width=\"" << N(kSheetWidth) << "\" height=\"" << N(height)
        << "\" fill=\"#fff\"/>\n";
    if (sheets.empty()) {
      out << "<text x=\"40\" y=\"40\" font-size=\"5\">No cages were created.</text>\n";
    }
    for (std::size_t s = 0; s < sheets.size(); ++s) {
      CageView v = MakeView(input, schedule, sheets[s].cages);
      v.group = &sheets[s];
      out << "<g id=\"sheet" << Integer(s + 1) << "\" transform=\"translate(0 "
          << N(kSheetHeight * static_cast<double>(s)) << ")\">\n"
          << DrawSheet(input, schedule, v, s + 1, sheets.size()) << "</g>\n";
    }
    out << "</svg>\n";
  }
};

}  // namespace

std::unique_ptr<Exporter> MakeDrawingSvgWriter() { return std::make_unique<DrawingSvgWriter>(); }

bool FirstSideIsXFace(const std::vector<HostGeo::Point2D>& plan) {
  if (plan.size() < 2) return true;
  const double degrees =
      std::atan2(plan[1].Y() - plan[0].Y(), plan[1].X() - plan[0].X()) * 180 / std::numbers::pi;
  // As the cage reads its column: the angle to a tenth of a degree.
  const double r = std::round(std::abs(degrees) * 10) / 10;
  return !(45 < r && r < 135);
}

std::string SectionSvg(const ExportInput& input, const Schedule& schedule, std::size_t cage) {
  const CageView v = MakeView(input, schedule, {cage});
  const std::vector<SectionCut> cuts = Cuts(v);
  // One scale for every cut, each section at most 45 mm on paper, one under
  // the other.
  double scale = 5;
  for (const auto& cut : cuts) {
    const double extent = std::max(cut.cut->xmax - cut.cut->xmin, cut.cut->ymax - cut.cut->ymin);
    scale = std::max(scale, ChooseScale(extent, 45, {5, 10, 20, 25, 50, 100}));
  }
  double w = 0;
  for (const auto& cut : cuts) w = std::max(w, (cut.cut->xmax - cut.cut->xmin) / scale);
  // The sizes at the left and above, the links' call-up at the right.
  constexpr double kLeft = 14, kTop = 10, kRight = 32;
  const double width = kLeft + std::max(w, 36.0) + kRight;
  const double cx = kLeft + std::max(w, 36.0) / 2;
  Canvas cv;
  double y = 0;
  for (const auto& cut : cuts) {
    const double h = (cut.cut->ymax - cut.cut->ymin) / scale;
    y = DrawSection(cv, v, schedule, cut, scale, cx, y + kTop + h / 2, true) + 6;
  }
  if (cuts.empty()) {
    cv.Text(4, 10, "no column in the model: no section", kTextSize);
    y = 14;
  }
  const double height = y;
  std::ostringstream out;
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" viewBox=\"0 0 " << N(width)
      << ' ' << N(height) << "\" width=\"" << N(width) << "mm\" height=\"" << N(height) << "mm\">\n"
      << "<title>" << Escape("Section of " + input.cages[cage].name) << "</title>\n"
      << Style() << "<style type=\"text/css\">.face{fill:#1d4ed8;font-weight:bold}</style>\n"
      << "<rect x=\"0\" y=\"0\" width=\"" << N(width) << "\" height=\"" << N(height)
      << "\" fill=\"#fff\"/>\n"
      << cv.Str() << "</svg>\n";
  return out.str();
}

}  // namespace pierhost

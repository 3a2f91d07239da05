#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <cmath>
#include <numbers>

#include "host/elements.h"
#include "host/file_read.h"
#include "host/input.h"
#include "host/model_reader.h"
#include "support/expect_geo.h"

namespace {

using namespace HostElementAdapter;
using HostGeo::Point3D;

std::string ErrorOf(const std::string& text) {
  try {
    HostElementAdapter::ParseModelFile(text, "m.json");
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no error";
}

const char* kFrame = R"({
  "format": "pier-model", "version": 1, "name": "Two-storey frame",
  "columns": [
    { "id": "C1", "corners": [[0, 0], [300, 0], [300, 500], [0, 500]], "bottom": 0, "top": 3000 },
    { "id": "C2", "corners": [[300, 500], [300, 0], [0, 0], [0, 500]], "bottom": 3250, "top": 6250 }
  ],
  "walls": [
    { "id": "W1", "axis": [[1000, 2000], [6000, 2000]], "thickness": 200, "bottom": 0, "top": 2800,
      "layers": [ { "id": "W1.1", "thickness": 200 } ],
      "openings": [ { "id": "D1", "kind": "door", "start": 1000, "width": 900, "height": 2100 },
                    { "id": "N1", "kind": "window", "start": 3000, "width": 1200, "sill": 900, "height": 1200 } ] }
  ],
  "solids": [ { "id": "X1", "vertices": [[0, 0, 0], [100, 0, 0], [0, 100, 0], [0, 0, 100]] } ]
})";

TEST(ModelFile, ColumnsReportEightVerticesCounterClockwiseFromTheirFirstCorner) {
  const auto model = HostElementAdapter::ParseModelFile(kFrame, "frame.json");
  const BaseElementAdapter c1(model, *model->Find("C1"));
  const auto& v = c1.GetGeometry().GetVertices();
  ASSERT_EQ(v.size(), 8u);
  EXPECT_EQ(v[1], Point3D(300, 0, 0));
  EXPECT_EQ(v[6], Point3D(300, 500, 3000));
  // C2 is listed clockwise: the host turns it round, keeping the first corner.
  const BaseElementAdapter c2(model, *model->Find("C2"));
  const auto& w = c2.GetGeometry().GetVertices();
  EXPECT_EQ(w[0], Point3D(300, 500, 3250));
  EXPECT_EQ(w[1], Point3D(0, 500, 3250));
  EXPECT_EQ(w[3], Point3D(300, 0, 3250));
  EXPECT_EQ(w[4], Point3D(300, 500, 6250));
}

TEST(ModelFile, WallLayersAxisLinesAndOpeningsFormATree) {
  const auto model = HostElementAdapter::ParseModelFile(kFrame, "frame.json");
  const BaseElementAdapter layer(model, *model->Find("W1.1"));
  // The layer's solid has both openings cut out.
  EXPECT_EQ(layer.GetGeometry().GetVertices().size(), 24u);
  const auto wall = BaseElementAdapterParentElementService::GetParentElement(layer);
  EXPECT_EQ(wall.GetId(), "W1");
  const auto children = BaseElementAdapterChildElementsService::GetChildModelElementsFromTree(wall);
  ASSERT_EQ(children.size(), 4u);  // layer, axis line, door, window
  EXPECT_TRUE(children[1] == WallAxisLine_TypeUUID);
  EXPECT_FALSE(children[0] == WallAxisLine_TypeUUID);
  EXPECT_EQ(children[1].GetGeometry().GetStartPoint(), Point3D(1000, 2000, 0));
  EXPECT_THROW(children[1].GetGeometry().GetVertices(), std::logic_error);
  EXPECT_TRUE(BaseElementAdapterParentElementService::GetParentElement(wall).IsNull());
  // Free solids have only model geometry.
  const BaseElementAdapter solid(model, *model->Find("X1"));
  EXPECT_THROW(solid.GetGeometry(), std::runtime_error);
  EXPECT_EQ(solid.GetModelGeometry().GetVertices().size(), 4u);
}

TEST(ModelFile, FaultsNameTheFileAndTheKey) {
  const std::string head = R"({"format": "pier-model", "version": 1, "name": "m", )";
  EXPECT_NE(ErrorOf("{ not json").find("m.json: not valid JSON"), std::string::npos);
  EXPECT_NE(ErrorOf(head + R"("colums": []})").find("colums: unknown key"), std::string::npos);
  EXPECT_NE(
      ErrorOf(
          head +
          R"("columns": [{"id": "C", "corners": [[0,0],[1,0],[1,1],[0,1]], "bottom": 0, "top": 1, "botom": 0}]})")
          .find("columns[0].botom: unknown key"),
      std::string::npos);
  EXPECT_NE(
      ErrorOf(head +
              R"("columns": [{"id": "C", "corners": [[0,0],[1,0],[1,1],[0,1]], "bottom": 0}]})")
          .find("\"top\" is missing"),
      std::string::npos);
  EXPECT_NE(
      ErrorOf(
          head +
          R"("columns": [{"id": "C", "corners": [[0,0],[1,0],[1,1],[0,1]], "bottom": "0", "top": 1}]})")
          .find("columns[0].bottom: expected a number"),
      std::string::npos);
  EXPECT_NE(
      ErrorOf(
          head +
          R"("columns": [{"id": "C", "corners": [[0,0],[1,0],[1,1],[0,1]], "bottom": 0, "top": 1e999}]})")
          .find("m.json"),
      std::string::npos);
  EXPECT_NE(
      ErrorOf(
          head +
          R"("columns": [{"id": "C", "corners": [[0,0],[300,0],[300,300],[0,300]], "bottom": 0, "top": 3000},
                         {"id": "C", "corners": [[0,0],[300,0],[300,300],[0,300]], "bottom": 0, "top": 3000}]})")
          .find("'C' is used twice"),
      std::string::npos);
  EXPECT_NE(
      ErrorOf(
          head +
          R"("columns": [{"id": "C", "corners": [[0,0],[0,0],[1,1],[0,1]], "bottom": 0, "top": 1}]})")
          .find("coincide"),
      std::string::npos);
  EXPECT_NE(
      ErrorOf(
          head +
          R"("columns": [{"id": "C", "corners": [[0,0],[1,1],[1,0],[0,1]], "bottom": 0, "top": 1}]})")
          .find("twisted"),
      std::string::npos);
  EXPECT_NE(ErrorOf(R"({"format": "pier-model", "version": 1, "name": "a", "name": "b"})")
                .find("given twice"),
            std::string::npos);
  EXPECT_NE(ErrorOf(R"({"format": "pier-model", "version": 2, "name": "a"})").find("version 1"),
            std::string::npos);
  EXPECT_THROW(HostElementAdapter::ReadModelFile("/nonexistent/model.json"), std::runtime_error);
}

// A section as real models give it: turned, far from the origin, its corners
// rounded to `step` mm.
std::vector<HostGeo::Point2D> Section(double w, double l, double degrees, double x, double y,
                                      double step) {
  const double t = degrees * std::numbers::pi / 180, c = std::cos(t), s = std::sin(t);
  std::vector<HostGeo::Point2D> out;
  for (const auto& [u, v] : {std::pair{0.0, 0.0}, {w, 0.0}, {w, l}, {0.0, l}}) {
    const auto round = [&](double q) { return step > 0 ? std::round(q / step) * step : q; };
    out.emplace_back(round(x + u * c - v * s), round(y + u * s + v * c));
  }
  return out;
}

double WorstCosine(const std::vector<HostGeo::Point2D>& p) {
  double worst = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const auto& a = p[i];
    const auto& b = p[(i + 1) % 4];
    const auto& c = p[(i + 2) % 4];
    const double ux = b.X() - a.X(), uy = b.Y() - a.Y(), vx = c.X() - b.X(), vy = c.Y() - b.Y();
    worst = std::max(worst, std::abs(ux * vx + uy * vy) / std::hypot(ux, uy) / std::hypot(vx, vy));
  }
  return worst;
}

TEST(FitRectangle, RoundedCornersOfATurnedFarAwaySectionGiveItsExactRectangle) {
  for (const double degrees : {0.0, 25.0, 90.0, -135.0, 212.5}) {
    SCOPED_TRACE(degrees);
    const auto corners = Section(200, 300, degrees, 1e7, -3e6, 0.1);
    const auto fit = FitRectangle(corners);
    ASSERT_TRUE(fit.fits) << fit.worst_corner << " mm, " << fit.worst_angle << " degrees";
    EXPECT_LT(WorstCosine(fit.corners), 1e-9);
    // Sides within 0.15 mm of a whole millimetre are that whole millimetre.
    EXPECT_NEAR(fit.corners[0].GetDistance(fit.corners[1]), 200, 1e-6);
    EXPECT_NEAR(fit.corners[1].GetDistance(fit.corners[2]), 300, 1e-6);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_LT(fit.corners[i].GetDistance(corners[i]), 0.2);
  }
  // Exact corners keep their coordinates bit for bit, in either sense.
  const std::vector<HostGeo::Point2D> exact{{0.1, 0}, {0.1, 500.7}, {300.3, 500.7}, {300.3, 0}};
  EXPECT_EQ(FitRectangle(exact).corners, exact);
  // A side of a foot stays a foot; exact corners keep their sides.
  const auto foot = FitRectangle(Section(304.8, 304.8, 25, 0, 0, 0.1));
  ASSERT_TRUE(foot.fits);
  EXPECT_NEAR(foot.corners[0].GetDistance(foot.corners[1]), 304.8, 0.15);
  const auto turned = FitRectangle(Section(199.94, 400, 25, 1e7, 0, 0));
  EXPECT_NEAR(turned.corners[0].GetDistance(turned.corners[1]), 199.94, 1e-6);
}

TEST(FitRectangle, SectionsBeyondTheTolerancesAreLeftAsTheyAre) {
  auto off = Section(400, 400, 0, 0, 0, 0);
  off[2] = {off[2].X() + 0.6, off[2].Y()};  // corner 0.6 mm out: also 0.09 degrees off
  EXPECT_FALSE(FitRectangle(off).fits);
  auto skew = Section(2000, 400, 0, 0, 0, 0);
  skew[2] = {skew[2].X() + 0.4, skew[2].Y()};  // 0.4 mm over 400 mm: 0.057 degrees
  const auto fit = FitRectangle(skew);
  EXPECT_FALSE(fit.fits);
  EXPECT_NEAR(fit.worst_angle, 0.0573, 1e-3);
  EXPECT_FALSE(FitRectangle({{0, 0}, {300, 0}, {300, 300}, {150, 320}}).fits);
  // The model's columns take the rectangle; a trapezoid stays a trapezoid.
  const auto model = ElementModel::Builder("m")
                         .AddColumn("R", Section(300, 500, 25, 1e7, 1e7, 0.1), 0, 3000)
                         .AddColumn("T", {{0, 0}, {300, 0}, {290, 300}, {10, 300}}, 0, 3000)
                         .Build();
  EXPECT_LT(WorstCosine(model->GetElements()[*model->Find("R")].plan), 1e-9);
  EXPECT_EQ(model->GetElements()[*model->Find("T")].plan[2], HostGeo::Point2D(290, 300));
}

ElementSource Source(const std::string& global_id, const std::string& name,
                     const std::string& tag) {
  ElementSource s;
  s.global_id = global_id;
  s.name = name;
  s.tag = tag;
  return s;
}

TEST(AlignStacked, AnUpperColumnsNoisyOffsetsFromTheLowerOneBecomeWholeMillimetres) {
  // Turned 25 degrees far out, corners rounded to 0.1 mm: the upper one is
  // inset by 25 and 50 mm give or take the rounding.
  const auto model =
      ElementModel::Builder("m")
          .AddColumn("L", Section(250, 500, 25, 1e7, 1e7, 0.1), 0, 3000)
          .AddColumn(
              "U",
              Section(200, 400, 25, 1e7 + 25 * std::cos(0.436332313) - 50 * std::sin(0.436332313),
                      1e7 + 25 * std::sin(0.436332313) + 50 * std::cos(0.436332313), 0.1),
              3250, 6250)
          .AddColumn("T", Section(200, 400, 40, 1e7, 1e7, 0.1), 3250, 6250)
          .Build();
  const auto l = *model->Find("L"), u = *model->Find("U"), t = *model->Find("T");
  const auto aligned = AlignStacked(model, {{l, u}, {l, t}});
  ASSERT_NE(aligned, model);
  const auto& lower = aligned->GetElements()[l].plan;
  const auto& upper = aligned->GetElements()[u].plan;
  const double length = lower[0].GetDistance(lower[1]);
  const double ux = (lower[1].X() - lower[0].X()) / length,
               uy = (lower[1].Y() - lower[0].Y()) / length;
  const double a = (upper[0].X() - lower[0].X()) * ux + (upper[0].Y() - lower[0].Y()) * uy;
  const double b = -(upper[0].X() - lower[0].X()) * uy + (upper[0].Y() - lower[0].Y()) * ux;
  EXPECT_NEAR(a, 25, 1e-6);
  EXPECT_NEAR(b, 50, 1e-6);
  // A column turned against the lower one stays where it is.
  EXPECT_EQ(aligned->GetElements()[t].plan, model->GetElements()[t].plan);
  // A model with nothing to move is the model itself.
  EXPECT_EQ(AlignStacked(aligned, {{l, u}}), aligned);
}

TEST(ElementModel, ResolvesNamesBySourceGlobalIdNameAndTag) {
  ElementModel::Builder builder("m", "m.ifc");
  builder.AddColumn("C1", Section(300, 300, 0, 0, 0, 0), 0, 3000)
      .AddColumn("C1 (7)", Section(300, 300, 0, 1000, 0, 0), 0, 3000)
      .AddColumn("C2", Section(300, 300, 0, 2000, 0, 0), 0, 3000);
  builder.SetElementSource("C1", Source("0abc", "C1", "6"));
  builder.SetElementSource("C1 (7)", Source("1abc", "C1", "7"));
  builder.SetElementSource("C2", Source("2abc", "C2", "8"));
  SourceModel source;
  source.refused.push_back(
      {"R1", Source("3abc", "R1", "9"), "round section", "line 12: #40=IFCCIRCLEPROFILEDEF"});
  builder.SetSource(source);
  const auto model = builder.Build();
  EXPECT_EQ(model->Resolve("C1"), *model->Find("C1"));  // an id wins
  EXPECT_EQ(model->Resolve("1abc"), *model->Find("C1 (7)"));
  EXPECT_EQ(model->Resolve("8"), *model->Find("C2"));
  try {
    model->Resolve("9");
    ADD_FAILURE();
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()),
              "m.ifc: 'R1' (GlobalId 3abc, Tag 9) is not taken: round section (line 12: "
              "#40=IFCCIRCLEPROFILEDEF)");
  }
  ElementModel::Builder twice("m", "m.ifc");
  twice.AddColumn("A", Section(300, 300, 0, 0, 0, 0), 0, 3000)
      .AddColumn("B", Section(300, 300, 0, 1000, 0, 0), 0, 3000);
  twice.SetElementSource("A", Source("0a", "Column", ""));
  twice.SetElementSource("B", Source("0b", "Column", ""));
  try {
    twice.Build()->Resolve("Column");
    ADD_FAILURE();
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()),
              "m.ifc: the name 'Column' is carried by 2 elements; pick one by its id or GlobalId:\n"
              "  'A' (GlobalId 0a)\n  'B' (GlobalId 0b)");
  }
}

// Sizes no building has are refused with the element and the limit named;
// the sizes at the limits are read.
TEST(ModelFile, ElementsOutsideTheSizesOfABuildingAreRefusedNamingTheLimit) {
  const std::string head = R"({"format": "pier-model", "version": 1, "name": "m", )";
  const auto column = [&](const std::string& corners, const std::string& bottom,
                          const std::string& top) {
    return head + R"("columns": [{"id": "K7", "corners": )" + corners + R"(, "bottom": )" + bottom +
           R"(, "top": )" + top + "}]}";
  };
  const std::string square = "[[0,0],[300,0],[300,300],[0,300]]";
  struct Case {
    std::string text;
    std::vector<std::string> named;
  };
  const std::vector<Case> cases{
      {column(square, "0", "0.001"), {"column 'K7'", "height is 0.001 mm", "100 mm to 100 m"}},
      {column(square, "0", "200000"), {"column 'K7'", "height is 200000 mm", "100 mm to 100 m"}},
      {column("[[0,0],[1e9,0],[1e9,1e9],[0,1e9]]", "0", "3000"),
       {"column 'K7'", "side from corner 0 to corner 1 is 1e+09 mm", "50 mm to 20 m"}},
      {column("[[0,0],[10,0],[10,300],[0,300]]", "0", "3000"),
       {"column 'K7'", "is 10 mm", "50 mm to 20 m"}},
      {column("[[1e308,0],[1e308,300],[-1e308,300],[-1e308,0]]", "0", "3000"),
       {"column 'K7'", "corner 0", "farther than 10000 km"}},
      {column(square, "-1e12", "3000"), {"column 'K7'", "bottom", "10 km"}},
      {head + R"("walls": [{"id": "W9", "axis": [[0, 0], [2e6, 0]], "thickness": 200, "bottom": 0,
                             "top": 3000}]})",
       {"wall 'W9'", "axis length is 2e+06 mm", "more than the 1 km"}},
      {head + R"("walls": [{"id": "W9", "axis": [[0, 0], [2000, 0]], "thickness": 1, "bottom": 0,
                             "top": 3000}]})",
       {"wall 'W9'", "thickness is 1 mm", "10 mm to 10 m"}},
      {head + R"("solids": [{"id": "S9", "vertices": [[0, 0, 0], [1e11, 0, 0]]}]})",
       {"solid 'S9'", "vertex 1", "10000 km"}},
  };
  for (const auto& c : cases) {
    const std::string error = ErrorOf(c.text);
    for (const auto& n : c.named)
      EXPECT_NE(error.find(n), std::string::npos) << n << " in " << error;
  }
  const auto at_limits = HostElementAdapter::ParseModelFile(
      column("[[0,0],[50,0],[50,20000],[0,20000]]", "-9000000", "-8900000"), "m.json");
  EXPECT_EQ(at_limits->GetColumns().size(), 1u);
}

// Deep nesting is refused before it can exhaust the stack of the reader or
// of the document's destruction.
TEST(ModelFile, NestingIsBounded) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_NE(ErrorOf(deep).find("nested more than 64 deep"), std::string::npos) << ErrorOf(deep);
  const std::string key = R"({"format": "pier-model", "version": 1, "name": "m", "columns": [)" +
                          std::string(70, '[') + std::string(70, ']') + "]}";
  EXPECT_NE(ErrorOf(key).find("nested more than 64 deep"), std::string::npos) << ErrorOf(key);
}

// A folder, a device or a pipe given as a model file is refused at once,
// never read until memory runs out or waited on; so is a file larger than
// the model files this program reads.
TEST(ModelFile, OnlyRegularFilesOfBoundedSizeAreRead) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("model_test_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  {
    // Sparse: no disk is used for it.
    std::ofstream(dir / "huge.json");
    fs::resize_file(dir / "huge.json", kMaxModelFileBytes + 1);
  }
  const auto error = [](const std::string& path) -> std::string {
    try {
      HostElementAdapter::ReadModelFile(path);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "no error";
  };
  EXPECT_EQ(error(dir.string()), dir.string() + ": is a folder, not a model file");
  EXPECT_EQ(error("/dev/zero"), "/dev/zero: is a device, not a model file");
  EXPECT_EQ(error((dir / "fifo").string()),
            (dir / "fifo").string() + ": is a pipe (FIFO), not a model file");
  EXPECT_EQ(error((dir / "huge.json").string()),
            (dir / "huge.json").string() +
                ": the model file is 1.0 GiB, more than the 1 GiB this program reads");
  EXPECT_NE(error((dir / "missing.json").string()).find("No such file"), std::string::npos);
  EXPECT_EQ(error(""), "no model file was named (an empty path)");
  fs::remove_all(dir);
  EXPECT_EQ(HostUtil::DescribeBytes(65536), "64 KiB");
  EXPECT_EQ(HostUtil::DescribeBytes(1536), "1.5 KiB");
  EXPECT_EQ(HostUtil::DescribeBytes(100), "100 bytes");
}

TEST(CoordinateInput, ClicksSelectElementsByIdAndMovesSelectNothing) {
  const auto model = HostElementAdapter::ParseModelFile(kFrame, "frame.json");
  HostInput::CoordinateInput input(model, nullptr);
  EXPECT_TRUE(input.SelectElement(HostInput::MouseMessage::Click("C2"), {}, {}, true, true, true));
  EXPECT_EQ(input.GetSelectedElement().GetId(), "C2");
  EXPECT_TRUE(input.IsMouseMove(HostInput::MouseMessage::Move()));
  EXPECT_FALSE(input.SelectElement(HostInput::MouseMessage::Move(), {}, {}, true, true, true));
  EXPECT_EQ(input.GetSelectedElement().GetId(), "C2");
  EXPECT_THROW(
      input.SelectElement(HostInput::MouseMessage::Click("nope"), {}, {}, true, true, true),
      std::invalid_argument);
  input.InitFirstElementInput(HostInput::InputStringConvert("Select <Column>"));
  EXPECT_EQ(input.GetPrompt(), "Select <Column>");
}

}  // namespace

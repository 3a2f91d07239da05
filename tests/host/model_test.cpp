#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "host/elements.h"
#include "host/file_read.h"
#include "host/input.h"
#include "support/expect_geo.h"

namespace {

using namespace HostElementAdapter;
using HostGeo::Point3D;

std::string ErrorOf(const std::string& text) {
  try {
    ElementModel::Parse(text, "m.json");
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
  const auto model = ElementModel::Parse(kFrame, "frame.json");
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
  const auto model = ElementModel::Parse(kFrame, "frame.json");
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
  EXPECT_THROW(ElementModel::ReadFile("/nonexistent/model.json"), std::runtime_error);
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
  const auto at_limits = ElementModel::Parse(
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
      ElementModel::ReadFile(path);
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
  const auto model = ElementModel::Parse(kFrame, "frame.json");
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

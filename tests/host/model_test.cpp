#include <gtest/gtest.h>

#include "host/elements.h"
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
          R"("columns": [{"id": "C", "corners": [[0,0],[1,0],[1,1],[0,1]], "bottom": 0, "top": 1},
                                           {"id": "C", "corners": [[0,0],[1,0],[1,1],[0,1]], "bottom": 0, "top": 1}]})")
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

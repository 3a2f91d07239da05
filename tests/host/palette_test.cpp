#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "host/palette.h"
#include "host/util.h"

namespace {

using namespace HostBaseElements;

class PaletteFile : public ::testing::Test {
 protected:
  std::string Write(const std::string& text) {
    const auto dir = std::filesystem::temp_directory_path() / ("pal_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto path = (dir / "test.pal").string();
    std::ofstream(path) << text;
    return path;
  }
};

const char* kPalette = R"({
  "format": "pier-palette", "version": 1, "name": "Cage",
  "pages": [ { "name": "Column", "parameters": [
      { "name": "Main_Diameter", "type": "number", "value": 16, "unit": "mm", "choices": [12, 16, 20] },
      { "name": "Add_X_Number", "type": "integer", "value": 1 },
      { "name": "Concr_Grade", "type": "integer", "value": 4,
        "choices": [ {"value": 3, "text": "C20/25"}, {"value": 4, "text": "C25/30"} ] },
      { "name": "Exposure", "type": "text", "value": "XC1", "choices": ["XC1", "XD1"] },
      { "name": "Add_Stirrup_Top", "type": "switch", "value": true } ] } ],
  "buttons": [ { "text": "Draw", "event": 2000 } ] })";

TEST_F(PaletteFile, ReadsTypedValuesPagesAndButtons) {
  const auto path = Write(kPalette);
  BuildingElementService service;
  const auto data = service.read_data_from_file(path, {}, false, {});
  ASSERT_TRUE(data.result);
  ASSERT_EQ(data.build_ele_list.size(), 1u);
  auto& ele = *data.build_ele_list[0];
  EXPECT_EQ(ele["Main_Diameter"].Number(), 16);
  EXPECT_EQ(ele["Add_X_Number"].Integer(), 1);
  EXPECT_EQ(ele["Exposure"].Text(), "XC1");
  EXPECT_TRUE(ele["Add_Stirrup_Top"].Switch());
  EXPECT_EQ(data.control_props_list.at(0).event_id, 2000);
  EXPECT_EQ(data.part_name, "Cage");
}

TEST_F(PaletteFile, ValuesOfTheWrongTypeAreRefusedAndNameTheParameter) {
  const auto path = Write(kPalette);
  auto data = BuildingElementService::ReadOrThrow(path);
  auto& ele = *data.build_ele_list[0];
  // Choices are the only values a number may take, compared by value.
  ele["Main_Diameter"].SetValue("12");
  EXPECT_EQ(ele["Main_Diameter"].Number(), 12);
  EXPECT_THROW(ele["Main_Diameter"].SetValue(11.9), std::invalid_argument);
  EXPECT_EQ(ele["Main_Diameter"].Number(), 12);
  auto message = [&](const char* name, PaletteValue v) {
    try {
      ele[name].SetValue(v);
    } catch (const std::invalid_argument& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_NE(message("Add_X_Number", 2.5).find("'Add_X_Number'"), std::string::npos);
  EXPECT_NE(message("Main_Diameter", "abc").find("is not a number"), std::string::npos);
  EXPECT_NE(message("Main_Diameter", std::nan("")).find("finite"), std::string::npos);
  EXPECT_NE(message("Exposure", "XZ9").find("choices"), std::string::npos);
  EXPECT_NE(message("Concr_Grade", 9).find("choices"), std::string::npos);
  EXPECT_NE(message("Add_Stirrup_Top", "maybe").find("switch"), std::string::npos);
  EXPECT_EQ(ele["Exposure"].Text(), "XC1");  // unchanged after a refusal
  EXPECT_NE(message("Add_X_Number", 2.5).find(path), std::string::npos);
  EXPECT_THROW(ele["No_Such"], std::invalid_argument);
  EXPECT_THROW(ele["Exposure"].Number(), std::invalid_argument);
}

TEST_F(PaletteFile, RangesRefuseValuesOutsideThemInThePalettesOwnWords) {
  const auto path = Write(R"({
  "format": "pier-palette", "version": 1, "name": "Cage",
  "pages": [ { "name": "Column", "parameters": [
      { "name": "Concr_Cover", "text": "Cover", "type": "number", "value": 30, "unit": "mm",
        "min": 10, "max": 100 },
      { "name": "Add_X_Number", "text": "Side bars", "type": "integer", "value": 1, "min": 0 } ] } ] })");
  auto data = BuildingElementService::ReadOrThrow(path);
  auto& ele = *data.build_ele_list[0];
  EXPECT_EQ(ele["Concr_Cover"].Refusal(PaletteValue(10.0)), "");
  EXPECT_EQ(ele["Concr_Cover"].Refusal(PaletteValue("100")), "");
  EXPECT_EQ(ele["Concr_Cover"].Refusal(PaletteValue(-10.0)),
            "Cover: -10 mm is outside what this value can be; it must be between 10 and 100 mm");
  EXPECT_EQ(ele["Add_X_Number"].Refusal(PaletteValue(-1)),
            "Side bars: -1 is outside what this value can be; it must be at least 0");
  EXPECT_EQ(ele["Add_X_Number"].Refusal(PaletteValue("x")), "Side bars: 'x' is not a whole number");
  EXPECT_THROW(ele["Concr_Cover"].SetValue(0.0), std::invalid_argument);
  EXPECT_EQ(ele["Concr_Cover"].Number(), 30);
  // A range on a value that is not a number is a fault of the file.
  EXPECT_THROW(BuildingElementService::ReadOrThrow(Write(R"({
  "format": "pier-palette", "version": 1, "name": "Cage",
  "pages": [ { "name": "Column", "parameters": [
      { "name": "Exposure", "type": "text", "value": "XC1", "min": 1 } ] } ] })")),
               std::invalid_argument);
}

TEST_F(PaletteFile, MissingTruncatedOrMalformedFilesGiveResultFalse) {
  BuildingElementService service;
  EXPECT_FALSE(service.read_data_from_file("/nonexistent/x.pal", {}, false, {}).result);
  const std::string text = kPalette;
  EXPECT_FALSE(
      service.read_data_from_file(Write(text.substr(0, text.size() / 2)), {}, false, {}).result);
  std::string bad_type = text;
  bad_type.replace(bad_type.find("\"value\": 16"), 11, "\"value\": \"x\"");
  try {
    BuildingElementService::ReadOrThrow(Write(bad_type));
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("pages[0].parameters[0].value"), std::string::npos)
        << e.what();
  }
}

TEST_F(PaletteFile, TheShownPaletteAndMessagesBelongToTheCurrentSession) {
  auto data = BuildingElementService::ReadOrThrow(Write(kPalette));
  HostUtil::Session session;
  HostUtil::SessionScope scope(session);
  auto palette = std::make_shared<BuildingElementPaletteService>(
      data.build_ele_list, data.build_ele_composite, data.build_ele_script, data.control_props_list,
      data.file_name);
  palette->show_palette(data.part_name);
  EXPECT_EQ(session.GetShownPalette(), palette);
  EXPECT_FALSE(palette->modify_element_property(0, "Main_Diameter", 20.0));
  EXPECT_TRUE(palette->modify_element_property(0, "Add_Stirrup_Top", false));
  EXPECT_EQ((*data.build_ele_list[0])["Main_Diameter"].Number(), 20);
  palette->close_palette();
  EXPECT_EQ(session.GetShownPalette(), nullptr);
  HostUtil::ShowMessageBox("first", HostUtil::MB_OK);
  HostUtil::ShowMessageBox("second", HostUtil::MB_OK);
  EXPECT_EQ(session.Messages(), (std::vector<std::string>{"first", "second"}));
}

}  // namespace

#include "host/step_file.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using HostStep::Kind;
using HostStep::StepFile;

std::string File(const std::string& data, const std::string& schema = "IFC4") {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\nFILE_NAME('a','b',(''),(''),'','',"
         "'');\n"
         "FILE_SCHEMA(('" +
         schema + "'));\nENDSEC;\nDATA;\n" + data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

std::string ErrorOf(const std::string& text) {
  try {
    StepFile::Parse(text, "m.ifc");
  } catch (const HostStep::StepError& e) {
    return e.what();
  }
  return "no error";
}

TEST(StepFile, DecodesEveryKindOfParameterOnDemand) {
  const auto file = StepFile::Parse(
      File("#1=IFCCARTESIANPOINT((0.,-2.5E-3,1.E-05));\r\n"
           "/* a comment */ #7 = IFCPROPERTYSINGLEVALUE('Caf\\X2\\00E9\\X0\\ ''x''',$,"
           "IFCLABEL('\\X\\E9\\S\\i'),*);\n"
           "#3=IFCX(.T.,#1,#99,(1,(2,3),()),\"0FF\",+12,'\\X2\\D83DDE00\\X0\\');\n"
           "#2=IFCCARTESIANPOINT((1.,2.,3.));\n"),
      "m.ifc");
  EXPECT_EQ(file->Schemas(), std::vector<std::string>{"IFC4"});
  EXPECT_EQ(file->Size(), 4u);
  ASSERT_EQ(file->OfType("IFCCARTESIANPOINT").size(), 2u);
  EXPECT_EQ(file->OfType("IFCCARTESIANPOINT")[1], 2u);  // file order
  EXPECT_TRUE(file->OfType("IFCWALL").empty());
  EXPECT_EQ(file->TypeOf(7), "IFCPROPERTYSINGLEVALUE");

  const auto point = file->Get(1);
  EXPECT_EQ(point.Line(), 8u);
  ASSERT_EQ(point[0].Size(), 3u);
  EXPECT_EQ(point[0][1].Number(), -2.5e-3);
  EXPECT_EQ(point[0][2].Number(), 1e-5);
  EXPECT_EQ(point[0][0].GetKind(), Kind::Real);

  const auto value = file->Get(7);
  EXPECT_EQ(value.Line(), 9u);
  EXPECT_EQ(value[0].Text(), "Caf\u00e9 'x'");
  EXPECT_TRUE(value[1].IsNull());
  EXPECT_EQ(value[2].Name(), "IFCLABEL");
  EXPECT_EQ(value[2].Text(), "\u00e9\u00e9");  // \X\E9 and \S\i are both Latin-1 e-acute
  EXPECT_EQ(value[3].GetKind(), Kind::Derived);

  const auto x = file->Get(3);
  EXPECT_EQ(x[0].Name(), "T");
  EXPECT_EQ(x[1].Ref(), 1u);
  EXPECT_EQ(x[3][1][1].Integer(), 3);
  EXPECT_EQ(x[3][2].Size(), 0u);
  EXPECT_EQ(x[4].GetKind(), Kind::Binary);
  EXPECT_EQ(x[5].Integer(), 12);
  EXPECT_EQ(x[6].Text(), "\U0001F600");  // a UTF-16 surrogate pair
}

TEST(StepFile, ReadingAValueAsWhatItIsNotNamesTheLineInstanceAndAttribute) {
  const auto file = StepFile::Parse(File("#5=IFCCOLUMN('a',#9,(1,'b'));\n"), "m.ifc");
  const auto column = file->Get(5);
  const auto message = [](auto&& fn) {
    try {
      fn();
    } catch (const HostStep::StepError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { column[0].Number(); }),
            "m.ifc:8: #5=IFCCOLUMN attribute 1: expected a number, found a string");
  EXPECT_EQ(message([&] { column[2][1].Number(); }),
            "m.ifc:8: #5=IFCCOLUMN attribute 3, item 2: expected a number, found a string");
  EXPECT_EQ(message([&] { column[3]; }),
            "m.ifc:8: #5=IFCCOLUMN has 3 attributes; attribute 4 is needed");
  EXPECT_EQ(message([&] { file->Get(column[1].Ref(), &column); }),
            "m.ifc:8: #5=IFCCOLUMN refers to #9, which the file does not hold");
}

TEST(StepFile, SyntaxFaultsAnywhereAreErrorsWithLineAndInstance) {
  EXPECT_EQ(ErrorOf(File("#1=IFCA(1,2);\n#2=IFCB(1 2);\n")),
            "m.ifc:9: #2: expected ',' or ')' after a parameter, found '2'");
  EXPECT_EQ(ErrorOf(File("#1=IFCA(1);\n#2=IFCB('open);\n#3=IFCC();\n")),
            "m.ifc:9: #2: a string is never closed with '");
  EXPECT_EQ(ErrorOf(File("#1=IFCA(1)\n#2=IFCB(1);\n")),
            "m.ifc:9: #1: expected ';' at the end of the instance, found '#'");
  EXPECT_EQ(ErrorOf(File("#1=IFCA(1);\n#1=IFCB(2);\n")),
            "m.ifc:9: #1 is defined twice (first at line 8)");
  EXPECT_EQ(ErrorOf(File("#1=IFCA(1,);\n")), "m.ifc:8: #1: a parameter is missing before ')'");
  EXPECT_EQ(ErrorOf(File("#1=IFCA(IFCLABEL('a','b'));\n")),
            "m.ifc:8: #1: a typed value holds exactly one value, found ','");
  EXPECT_EQ(ErrorOf(File("#1=IFCA(.T);\n")),
            "m.ifc:8: #1: an enumeration .NAME. is not closed with '.'");
  EXPECT_EQ(ErrorOf(File("#1=IFCA(1);\nfoo\n")),
            "m.ifc:9: after #1: expected an instance (#n=TYPE(...);) or ENDSEC;, found 'f'");
  EXPECT_EQ(ErrorOf(File("#1=ifcA(1);\n")),
            "m.ifc:8: #1: expected a keyword (an upper-case name), found 'i'");
  EXPECT_EQ(ErrorOf(File("#1=IFCA(1);\n/* never closed\n")),
            "m.ifc:9: after #1: a comment /* is never closed with */");
  EXPECT_EQ(ErrorOf(File("#1=IFCA(" + std::string(300, '(') + std::string(300, ')') + ");\n")),
            "m.ifc:8: #1: lists are nested too deeply");
  EXPECT_EQ(ErrorOf("{\"format\": \"pier-model\"}"),
            "m.ifc:1: this is not a STEP file (ISO 10303-21): it does not start with "
            "ISO-10303-21;");
  std::string cut = File("#1=IFCA(1);\n");
  cut.resize(cut.size() - 19);
  EXPECT_EQ(ErrorOf(cut), "m.ifc:9: after #1: the file ends without END-ISO-10303-21;");
}

TEST(StepFile, ToleratesWhatItDoesNotNeed) {
  // Sparse numbers, several data sections, a complex instance nobody asks
  // for, raw UTF-8 and Latin-1 in strings, and bytes after the end.
  const auto file = StepFile::Parse(
      "\xEF\xBB\xBFISO-10303-21;HEADER;FILE_SCHEMA(('IFC4X3_ADD2'));ENDSEC;\n"
      "DATA;#3000000000=IFCA('K\xC3\xB6ln');ENDSEC;\n"
      "DATA;#2=(IFCB(1)IFCC(2));#1=IFCA('M\xFCnster');ENDSEC;END-ISO-10303-21;\ngarbage",
      "m.ifc");
  EXPECT_EQ(file->Schemas(), std::vector<std::string>{"IFC4X3_ADD2"});
  EXPECT_EQ(file->Get(3000000000u)[0].Text(), "K\u00f6ln");
  EXPECT_EQ(file->Get(1)[0].Text(), "M\u00fcnster");
  EXPECT_TRUE(file->Has(2));
  EXPECT_EQ(file->TypeOf(2), "");
  EXPECT_THROW(file->Get(2), HostStep::StepError);
  EXPECT_FALSE(file->Has(4));
}

}  // namespace

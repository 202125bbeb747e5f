// Parameter replacement: formats, replacement lists, value-file lines and "[name]" fields.
#include "modellib/replacement.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace tarne {
namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

TEST(NumberFormat, AcceptsOneNumericConversionOnly) {
  EXPECT_TRUE(IsSafeNumberFormat("%16.8lf"));
  EXPECT_TRUE(IsSafeNumberFormat("%e"));
  EXPECT_TRUE(IsSafeNumberFormat("%-+12.4G"));
  EXPECT_TRUE(IsSafeNumberFormat("k=%g%%"));
  EXPECT_FALSE(IsSafeNumberFormat(""));
  EXPECT_FALSE(IsSafeNumberFormat("plain"));
  EXPECT_FALSE(IsSafeNumberFormat("%s"));
  EXPECT_FALSE(IsSafeNumberFormat("%n"));
  EXPECT_FALSE(IsSafeNumberFormat("%d"));
  EXPECT_FALSE(IsSafeNumberFormat("%f %f"));
  EXPECT_FALSE(IsSafeNumberFormat("%*f"));
  EXPECT_FALSE(IsSafeNumberFormat("%500f"));  // a width that could not fit
  EXPECT_FALSE(IsSafeNumberFormat("%.f%"));
}

TEST(NumberFormat, FormatsAValue) {
  std::string text;
  ASSERT_TRUE(FormatValue("%16.8lf", 1.5, &text));
  EXPECT_EQ(text, "      1.50000000");
  ASSERT_TRUE(FormatValue("%.3e", -0.00125, &text));
  EXPECT_EQ(text, "-1.250e-03");
  EXPECT_FALSE(FormatValue("%s", 1.0, &text));
  EXPECT_FALSE(FormatValue("%99.0f", 1e300, &text));  // longer than any sensible value
}

TEST(ReplacementList, ReadsTheListThatTheControlFileReaderWrites) {
  TempDir dir;
  WriteFile("tarne.in", "3\n[k1] \"%16.8lf\"\n[Soil_Max] \"%16.8lf\"\n[a] \"%.3e\"\n");
  std::vector<ReplacementEntry> list;
  ASSERT_EQ(ReadReplacementList("tarne.in", &list), 0);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1].name, "Soil_Max");
  EXPECT_EQ(list[2].format, "%.3e");
  WriteFile("empty.in", "");  // a control file without parameters writes an empty list
  ASSERT_EQ(ReadReplacementList("empty.in", &list), 0);
  EXPECT_TRUE(list.empty());
}

TEST(ReplacementList, ReportsFileAndLineOfEveryFault) {
  TempDir dir;
  WriteFile("short.in", "3\n[a] \"%f\"\n[b] \"%f\"\n");
  WriteFile("nobracket.in", "1\na \"%f\"\n");
  WriteFile("noquote.in", "1\n[a] %f\n");
  WriteFile("unsafe.in", "2\n[a] \"%f\"\n[b] \"%s\"\n");
  WriteFile("count.in", "two\n");
  std::vector<ReplacementEntry> list;
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReadReplacementList("short.in", &list), 1);
  EXPECT_EQ(ReadReplacementList("nobracket.in", &list), 1);
  EXPECT_EQ(ReadReplacementList("noquote.in", &list), 1);
  EXPECT_EQ(ReadReplacementList("unsafe.in", &list), 1);
  EXPECT_EQ(ReadReplacementList("count.in", &list), 1);
  EXPECT_EQ(ReadReplacementList("missing.in", &list), kNotOpened);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("cannot read short.in (line 4)"), std::string::npos) << err;
  EXPECT_NE(err.find("cannot read nobracket.in (line 2)"), std::string::npos) << err;
  EXPECT_NE(err.find("cannot read noquote.in (line 2)"), std::string::npos) << err;
  EXPECT_NE(err.find("cannot read unsafe.in (line 3)"), std::string::npos) << err;
  EXPECT_NE(err.find("cannot read count.in (line 1)"), std::string::npos) << err;
}

TEST(ValueFile, PicksTheRequestedLine) {
  TempDir dir;
  WriteFile("values.in", "1.0000000E+00 2.5000000E-01 ");  // as the engine writes it
  WriteFile("batch.val", "1 2\n3 4\n5 x\n");
  std::vector<double> values;
  ASSERT_EQ(ReadValueLine("values.in", 0, &values), 0);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_DOUBLE_EQ(values[1], 0.25);
  ASSERT_EQ(ReadValueLine("batch.val", 1, &values), 0);
  EXPECT_DOUBLE_EQ(values[0], 3.0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ReadValueLine("batch.val", 2, &values), 1);
  EXPECT_EQ(ReadValueLine("batch.val", 5, &values), 1);
  EXPECT_EQ(ReadValueLine("none.val", 0, &values), kNotOpened);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("batch.val (line 3): 'x' is not a number"), std::string::npos) << err;
  EXPECT_NE(err.find("batch.val (line 6)"), std::string::npos) << err;
}

TEST(Substitution, ReplacesNamedFieldsIgnoringCase) {
  std::vector<Substitution> table = {{"k1", "  1.50000000"}, {"B", "2"}};
  std::string result, problem;
  ASSERT_TRUE(SubstituteNames("[K1]", table, &result, &problem));
  EXPECT_EQ(result, "  1.50000000");
  ASSERT_TRUE(SubstituteNames("[b]e[b]", table, &result, &problem));
  EXPECT_EQ(result, "2e2");
  ASSERT_TRUE(SubstituteNames("3.25", table, &result, &problem));
  EXPECT_EQ(result, "3.25");
  EXPECT_FALSE(SubstituteNames("[k2]", table, &result, &problem));
  EXPECT_EQ(problem, "[k2]");
  EXPECT_FALSE(SubstituteNames("[k1", table, &result, &problem));
  EXPECT_EQ(problem, "[k1");
}

TEST(Substitution, PairsListAndValuesOrRefusesAMismatch) {
  std::vector<ReplacementEntry> list = {{"a", "%.2f"}, {"b", "%.1e"}};
  const double values[2] = {1.005, 25.0};
  std::vector<Substitution> table;
  ASSERT_EQ(BuildSubstitutions("list", list, values, 2, &table), 0);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[1].text, "2.5e+01");
  table.clear();
  testing::internal::CaptureStderr();
  EXPECT_EQ(BuildSubstitutions("list", list, values, 1, &table), 1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("names 2 parameters but 1 values"), std::string::npos) << err;
}

}  // namespace
}  // namespace tarne

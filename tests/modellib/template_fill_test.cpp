// Template filling of the external kind: the number written in a field's width with the most
// digits that fit, the fields of a template, and the messages for a field too narrow, a name
// without a value and a text that is no template.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "modellib/replacement.h"
#include "modellib/template_fill.h"

namespace {

using tarne::FormatFieldValue;

std::string Formatted(double value, std::size_t width) {
  std::string out;
  return FormatFieldValue(value, width, &out) ? out : "(does not fit)";
}

// Expected texts worked out by hand: the most significant digits that fit, fixed notation
// first, then exponent notation, then fixed notation without the zero before the point; a
// value no notation fits, or that is not finite, is refused.
TEST(FormatFieldValue, WritesTheMostDigitsThatFitOrRefuses) {
  struct Case {
    double value;
    std::size_t width;
    std::string expected;
  };
  const Case cases[] = {
      {3.14159265358979, 6, "3.1416"},   {-3.14159265358979, 6, "-3.142"},
      {1.5e-10, 8, " 1.5E-10"},          {123456789.0, 5, "1.2E8"},
      {123456789.0, 9, "123456789"},     {0.000123456, 7, "1.23E-4"},
      {0.5, 2, ".5"},                    {0.5, 3, "0.5"},
      {5.0, 1, "5"},                     {-5.0, 2, "-5"},
      {1e300, 5, "1E300"},               {-2.5e-300, 9, "-2.5E-300"},
      {100.0, 3, "100"},                 {1000.0, 3, "1E3"},
      {0.0, 1, "0"},                     {0.1, 30, std::string(27, ' ') + "0.1"},
      {2.5, 10, "       2.5"},           {-0.25, 4, "-.25"},
      {0.5, 1, "(does not fit)"},        {-5.0, 1, "(does not fit)"},
      {1e300, 4, "(does not fit)"},      {-1.5e-200, 5, "(does not fit)"},
      {NAN, 20, "(does not fit)"},       {INFINITY, 20, "(does not fit)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Formatted(c.value, c.width), c.expected) << c.value << " in " << c.width;
  }
}

// Every width from 1 to 30: the text fills the field exactly and reads back within the
// precision the width allows. The longest notation costs a sign, a point and "E-308" besides
// the digits, so a field of w >= 8 characters keeps at least w - 7 significant digits.
TEST(FormatFieldValue, ReadsBackWithinThePrecisionOfTheWidth) {
  const double values[] = {3.14159265358979, -2.718281828459045, 6.02214076e23, -1.602176634e-19,
                           1e-300, 12345.678, 0.0001234, -9.999999e99, 7.0};
  for (double value : values) {
    for (std::size_t width = 1; width <= 30; ++width) {
      std::string out;
      const bool fits = FormatFieldValue(value, width, &out);
      if (width >= 8) {
        ASSERT_TRUE(fits) << value << " in " << width;
      }
      if (!fits) continue;
      ASSERT_EQ(out.size(), width);
      const double back = std::strtod(out.c_str(), nullptr);
      const double bound = width >= 8 ? 5.0 * std::pow(10.0, 7.0 - static_cast<double>(width)) : 0.5;
      EXPECT_LE(std::fabs(back - value), bound * std::fabs(value)) << value << " as '" << out << "'";
    }
  }
}

// Fields of any width are replaced; a field that fails is named with its line.
TEST(FillFields, ReplacesEveryFieldOrNamesTheOneThatFails) {
  tarne::FillTemplate parsed;
  ASSERT_EQ(tarne::ParseTemplate("m.tpl", "ptf ~\na = ~a~  b = ~   B        ~\n~a   ~~b   ~\n", &parsed), 0);
  ASSERT_EQ(parsed.fields.size(), 4u);
  EXPECT_EQ(parsed.fields[1].name, "B");
  EXPECT_EQ(parsed.fields[1].width(), 14u);
  EXPECT_EQ(parsed.fields[2].line, 3);
  std::string out;
  ASSERT_EQ(tarne::FillFields(parsed, {{"a", "", 2.0}, {"b", "", -0.125}}, &out), 0);
  EXPECT_EQ(out, "a =   2  b =         -0.125\n     2-0.125\n");
  ASSERT_EQ(tarne::ParseTemplate("m.tpl", "ptf $\nx $a $\n\ny $c $\n", &parsed), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(tarne::FillFields(parsed, {{"a", "", 1.0}}, &out), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "cannot fill m.tpl (line 4): no value for parameter 'c'\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(tarne::FillFields(parsed, {{"a", "", -1.5e15}, {"c", "", 1.0}}, &out), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "cannot fill m.tpl (line 2): the value -1.50000000E+15 of parameter 'a' does not fit "
            "its field of 4 characters\n");
}

TEST(ParseTemplate, RefusesBrokenTemplates) {
  struct Case {
    const char* text;
    const char* message;
  };
  const char not_template[] = "cannot read t.tpl (line 1): not a PEST template: the first line "
                              "must be \"ptf\", a blank and the delimiter\n";
  const char open_field[] = "cannot read t.tpl (line 2): a parameter field has no closing "
                            "delimiter '$' on its line\n";
  const Case cases[] = {
      {"pif $\n$a$\n", not_template},
      {"ptf\n", not_template},
      {"ptf $\nx $a\n$\n", open_field},
      {"ptf $\nx $a$ $b\n", open_field},
      {"ptf $\nx $  $\n", "cannot read t.tpl (line 2): a parameter field names no parameter\n"},
  };
  for (const Case& c : cases) {
    tarne::FillTemplate parsed;
    testing::internal::CaptureStderr();
    EXPECT_EQ(tarne::ParseTemplate("t.tpl", c.text, &parsed), 1) << c.text;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
  }
}

}  // namespace

#include "modellib/token_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using tarne::TokenReader;

// The tokens of text with the line each began on, then the line the reader ends on: read
// from memory, and from a file in blocks.
std::string Tokens(TokenReader& in) {
  std::string seen, word;
  while (in.Next(word) == TokenReader::Token::kRead) {
    seen += word + "@" + std::to_string(in.token_line()) + " ";
  }
  return seen + "end@" + std::to_string(in.line());
}

TEST(TokenReader, MemoryAndStreamGiveTheSameTokensAndLines) {
  const std::string block_edge = std::string(65530, ' ') + "across-the-block-edge\n";
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"", "end@1"},
      {"a b\n\n  c\td\r\n", "a@1 b@1 c@3 d@3 end@4"},
      {"x\ny", "x@1 y@2 end@2"},
      {block_edge + "z", "across-the-block-edge@1 z@2 end@2"},
  };
  for (const auto& c : cases) {
    TokenReader memory("f", c.text);
    EXPECT_EQ(Tokens(memory), c.expected);
    std::FILE* file = std::tmpfile();
    std::fwrite(c.text.data(), 1, c.text.size(), file);
    std::rewind(file);
    TokenReader stream("f", file);
    EXPECT_EQ(Tokens(stream), c.expected);
    std::fclose(file);
  }
}

TEST(TokenReader, LimitsEndsAndLines) {
  TokenReader in("case.in", "abcd abcde\nrest of line\n  * 2 * x\nlast");
  std::string word;
  EXPECT_EQ(in.Next(word, 4), TokenReader::Token::kRead);
  EXPECT_EQ(in.Next(word, 4), TokenReader::Token::kTooLong);
  EXPECT_EQ(word, "abcd");
  char line[8];
  in.Line(line, sizeof line);  // the line end after "abcde"
  EXPECT_TRUE(in.AtLineStart());
  in.Line(line, sizeof line);
  EXPECT_STREQ(line, "rest of");
  EXPECT_FALSE(in.AtLineStart());
  in.Line(line, sizeof line);
  EXPECT_STREQ(line, " line\n");
  const TokenReader::Mark mark = in.Save();
  EXPECT_EQ(in.CountOnLine('*'), 2);
  EXPECT_TRUE(in.Word("x", word) && in.Word("x", word) && in.Word("x", word));
  in.Restore(mark);
  EXPECT_EQ(in.line(), 3);
  EXPECT_TRUE(in.Word("the star", word));
  EXPECT_EQ(word, "*");
  while (in.Next(word) == TokenReader::Token::kRead) {
  }
  testing::internal::CaptureStdout();
  EXPECT_FALSE(in.Word("the tenth value", word));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "cannot read case.in (line 4): the file ends before the tenth value\n");
}

TEST(TokenReader, WholeTokenConversions) {
  int i = 7;
  EXPECT_TRUE(tarne::ParseInt("-2147483648", i) && i == -2147483648);
  for (const char* bad : {"2147483648", "1.0", "12x", "", "+"}) {
    EXPECT_FALSE(tarne::ParseInt(bad, i)) << bad;
  }
  double d = 0.0;
  EXPECT_TRUE(tarne::ParseNumber("inf", d) && std::isinf(d));
  EXPECT_TRUE(tarne::ParseNumber("nan", d) && std::isnan(d));
  EXPECT_TRUE(tarne::ParseNumber("-1e-400", d) && d == 0.0);
  for (const char* bad : {"1.5.", "x", ""}) EXPECT_FALSE(tarne::ParseNumber(bad, d)) << bad;
}

}  // namespace

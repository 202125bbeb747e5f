// The web start: recognising the program name, reading CONTENT_LENGTH, decoding form data
// (never past what was read), and the whole preamble written before any mode runs.
#include "driver/web_start.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/banners.h"

namespace {

std::string Decode(std::string data, std::size_t length) {
  const std::size_t decoded = decode_form_data(data.data(), length);
  return data.substr(0, decoded);
}

std::string Decode(const std::string& data) { return Decode(data, data.size()); }

// Runs the preamble with stdin_text as standard input; returns what it wrote.
std::string Preamble(const std::string& stdin_text, const char* content_length) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::fwrite(stdin_text.data(), 1, stdin_text.size(), in);
  std::rewind(in);
  write_web_preamble(in, out, content_length);
  std::string written;
  std::rewind(out);
  for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out))
    written.push_back(static_cast<char>(c));
  std::fclose(in);
  std::fclose(out);
  return written;
}

const std::string kHead =
    std::string("Content-Type:text/text;charset=iso-8859-1\r\n\n") +
    "<title>TARNE Test Case</title><body><P> Web version of TARNE (8.0.016) with SCE "
    "starting...</P><P>";
const std::string kFormError = "<P>Error in invocation - wrong FORM probably.";

TEST(WebStart, ProgramNameContainingWebStartsTheWebPreamble) {
  EXPECT_TRUE(is_web_start("tarneweb"));
  EXPECT_TRUE(is_web_start("/srv/cgi-bin/web"));
  EXPECT_TRUE(is_web_start("/home/webuser/bin/tarne"));  // a substring anywhere counts
  EXPECT_FALSE(is_web_start("tarne"));
  EXPECT_FALSE(is_web_start("tarneWEB"));
  EXPECT_FALSE(is_web_start(nullptr));
}

TEST(WebStart, ContentLengthMustBeAWholeNumberFromZeroTo1024) {
  long length = -1;
  EXPECT_TRUE(read_content_length("7", length));
  EXPECT_EQ(length, 7);
  EXPECT_TRUE(read_content_length(" 1024 ", length));
  EXPECT_EQ(length, 1024);
  EXPECT_TRUE(read_content_length("0", length));
  EXPECT_EQ(length, 0);
  length = 5;
  for (const char* bad :
       {"", "abc", "1025", "-1", "+", "+-3", "12abc", "99999999999999999999999"}) {
    EXPECT_FALSE(read_content_length(bad, length)) << bad;
  }
  EXPECT_FALSE(read_content_length(nullptr, length));
  EXPECT_EQ(length, 5);
}

TEST(WebStart, ContentLengthWithAPlusSignIsReadAsTheNumber) {
  // A formatted read of a long integer takes a leading sign; only negative values are refused.
  long length = -1;
  EXPECT_TRUE(read_content_length("+3", length));
  EXPECT_EQ(length, 3);
  EXPECT_TRUE(read_content_length(" +1024", length));
  EXPECT_EQ(length, 1024);
  EXPECT_TRUE(read_content_length("-0", length));
  EXPECT_EQ(length, 0);
  EXPECT_EQ(Preamble("a%41b+c", "+7"), kHead + "aAb c");
}

TEST(WebStart, FormDataDecoding) {
  EXPECT_EQ(Decode("a%41b+c"), "aAb c");
  EXPECT_EQ(Decode("%zz"), "?");
  EXPECT_EQ(Decode("%4z%z4"), "??");  // both characters after '%' are consumed either way
  EXPECT_EQ(Decode("%7e%7E%2B+"), "~~+ ");
  EXPECT_EQ(Decode("%00x"), std::string("\0x", 2));
  EXPECT_EQ(Decode("plain"), "plain");
  EXPECT_EQ(Decode(""), "");
}

TEST(WebStart, APercentAtTheEndNeverReadsPastTheData) {
  // The characters after the given length would make a valid escape if they were read.
  EXPECT_EQ(Decode("ab%41", 3), "ab?");
  EXPECT_EQ(Decode("ab%41", 4), "ab?");
  EXPECT_EQ(Decode("%", 1), "?");
  // Exactly the bytes read, on the heap with nothing after them (a sanitizer build would
  // catch a read past the end).
  std::vector<char> exact = {'x', '%', '4'};
  const std::size_t decoded = decode_form_data(exact.data(), exact.size());
  EXPECT_EQ(std::string(exact.data(), decoded), "x?");
}

TEST(WebStart, PreambleEchoesTheDecodedFormData) {
  EXPECT_EQ(Preamble("a%41b+c", "7"), kHead + "aAb c");
  EXPECT_EQ(Preamble("%zz", "3"), kHead + "?");
  // Only CONTENT_LENGTH characters are read, and only one line.
  EXPECT_EQ(Preamble("abcdef", "3"), kHead + "abc");
  EXPECT_EQ(Preamble("ab\ncd", "5"), kHead + "ab\n");
  // Less data than announced: not echoed in part but reported, before the invocation error.
  EXPECT_EQ(Preamble("ab", "10"),
            kHead + "<P>cannot read the form data on standard input: CONTENT_LENGTH announces "
                    "10 bytes but the input ended after 2" +
                "<P>Error in invocation - wrong FORM probably.");
  EXPECT_EQ(Preamble("", "1"),
            kHead + "<P>cannot read the form data on standard input: CONTENT_LENGTH announces "
                    "1 bytes but the input ended after 0" +
                "<P>Error in invocation - wrong FORM probably.");
  // An escape cut by the length is not completed from the unread input.
  EXPECT_EQ(Preamble("ab%41", "4"), kHead + "ab?");
}

TEST(WebStart, PreambleEchoes1024BytesWhole) {
  std::string data;
  for (int i = 0; i < 1024; ++i) data.push_back(static_cast<char>('a' + i % 26));
  EXPECT_EQ(Preamble(data + "tail", "1024"), kHead + data);
}

TEST(WebStart, PreambleReportsAMissingOrBadContentLength) {
  EXPECT_EQ(Preamble("abc", nullptr), kHead + kFormError);
  EXPECT_EQ(Preamble("abc", "abc"), kHead + kFormError);
  EXPECT_EQ(Preamble("abc", "1025"), kHead + kFormError);
  EXPECT_EQ(Preamble("abc", "-3"), kHead + kFormError);
}

}  // namespace

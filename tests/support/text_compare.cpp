#include "support/text_compare.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>


namespace testing_support {

namespace {

struct Piece {
  bool number = false;
  std::string text;
};

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Length of the number that starts at pos ([+-] digits [. digits] [e|E [+-] digits]), or 0.
// A sign counts only when a digit or a point and digit follow it; "nan" and "inf" count too.
size_t NumberLength(const std::string& line, size_t pos) {
  size_t p = pos;
  if (p < line.size() && (line[p] == '+' || line[p] == '-')) ++p;
  for (const char* word : {"nan", "inf", "NAN", "INF"}) {
    if (line.compare(p, 3, word) == 0) return p + 3 - pos;
  }
  const size_t digits_start = p;
  while (p < line.size() && IsDigit(line[p])) ++p;
  bool any_digit = p > digits_start;
  if (p < line.size() && line[p] == '.') {
    size_t q = p + 1;
    while (q < line.size() && IsDigit(line[q])) ++q;
    if (q > p + 1 || any_digit) {
      any_digit = any_digit || q > p + 1;
      p = q;
    }
  }
  if (!any_digit) return 0;
  if (p < line.size() && (line[p] == 'e' || line[p] == 'E')) {
    size_t q = p + 1;
    if (q < line.size() && (line[q] == '+' || line[q] == '-')) ++q;
    const size_t exponent_start = q;
    while (q < line.size() && IsDigit(line[q])) ++q;
    if (q > exponent_start) p = q;
  }
  return p - pos;
}

// A number starts a piece unless it continues a word (the 1 of "k1" belongs to the name).
std::vector<Piece> Split(const std::string& line) {
  std::vector<Piece> pieces;
  size_t pos = 0;
  while (pos < line.size()) {
    const bool after_word = pos > 0 && (std::isalpha(static_cast<unsigned char>(line[pos - 1])) ||
                                        line[pos - 1] == '_');
    const size_t length = after_word ? 0 : NumberLength(line, pos);
    if (length > 0) {
      pieces.push_back({true, line.substr(pos, length)});
      pos += length;
      continue;
    }
    if (pieces.empty() || pieces.back().number) pieces.push_back({false, ""});
    pieces.back().text += line[pos++];
  }
  return pieces;
}

// The printed form of a number without its digits' values: sign, digits after the point,
// exponent letter, and the exponent's sign.
std::string Shape(const std::string& number) {
  std::string shape;
  if (!number.empty() && (number[0] == '-' || number[0] == '+')) shape += number[0];
  const size_t point = number.find('.');
  const size_t exponent = number.find_first_of("eE");
  if (point != std::string::npos) {
    const size_t end = exponent == std::string::npos ? number.size() : exponent;
    shape += "." + std::to_string(end - point - 1);
  }
  if (exponent != std::string::npos) {
    shape += number[exponent];
    if (exponent + 1 < number.size() && !IsDigit(number[exponent + 1])) {
      shape += number[exponent + 1];
    }
  }
  return shape;
}

bool NumbersAgree(const std::string& a, const std::string& b, NumberTolerance tolerance) {
  if (a == b) return true;
  if (Shape(a) != Shape(b)) return false;
  const double x = std::strtod(a.c_str(), nullptr);
  const double y = std::strtod(b.c_str(), nullptr);
  if (std::isnan(x) || std::isnan(y)) return false;
  if (std::isinf(x) || std::isinf(y)) return x == y;
  const double difference = std::fabs(x - y);
  return difference <= tolerance.absolute ||
         difference <= tolerance.relative * std::max(std::fabs(x), std::fabs(y));
}

std::string LineDifference(size_t line, const std::string& expected, const std::string& actual,
                           const std::string& what) {
  return "line " + std::to_string(line) + ": " + what + "\n  expected: \"" + expected +
         "\"\n  actual:   \"" + actual + "\"";
}

std::string CompareLine(size_t number, const std::string& expected, const std::string& actual,
                        NumberTolerance tolerance) {
  const std::vector<Piece> want = Split(expected);
  const std::vector<Piece> got = Split(actual);
  for (size_t i = 0; i < std::min(want.size(), got.size()); ++i) {
    if (want[i].number != got[i].number) {
      return LineDifference(number, expected, actual, "text differs");
    }
    if (!want[i].number && want[i].text != got[i].text) {
      return LineDifference(number, expected, actual,
                            "text \"" + got[i].text + "\" where \"" + want[i].text + "\"");
    }
    if (want[i].number && !NumbersAgree(want[i].text, got[i].text, tolerance)) {
      return LineDifference(number, expected, actual,
                            "number " + got[i].text + " where " + want[i].text);
    }
  }
  if (want.size() != got.size()) return LineDifference(number, expected, actual, "length differs");
  return "";
}

}  // namespace

std::string CompareText(const std::string& expected, const std::string& actual,
                        NumberTolerance tolerance) {
  // Lines are split on "\n" alone so that a stray "\r" or a missing last line end counts.
  auto split = [](const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (true) {
      const size_t end = text.find('\n', start);
      lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos
                                                                  : end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return lines;
  };
  const std::vector<std::string> want = split(expected);
  const std::vector<std::string> got = split(actual);
  for (size_t i = 0; i < std::min(want.size(), got.size()); ++i) {
    std::string difference = CompareLine(i + 1, want[i], got[i], tolerance);
    if (!difference.empty()) return difference;
  }
  if (want.size() != got.size()) {
    return "the text has " + std::to_string(got.size()) + " lines where " +
           std::to_string(want.size()) + " were expected";
  }
  return "";
}

}  // namespace testing_support

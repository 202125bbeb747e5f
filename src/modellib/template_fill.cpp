#include "modellib/template_fill.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "modellib/replacement.h"
#include "modellib/template_text.h"
#include "modellib/text_util.h"

namespace tarne {

namespace {

// The most significant digits a double carries.
constexpr int kMaxDigits = 17;

// The decimal digits of |value| rounded to digits significant ones, without trailing zeros,
// and the power of ten of the first one.
void DecimalDigits(double value, int digits, std::string* mantissa, int* exponent) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, std::fabs(value));
  mantissa->clear();
  const char* p = buffer;
  for (; *p != 'e'; ++p) {
    if (*p != '.') *mantissa += *p;
  }
  *exponent = std::atoi(p + 1);
  while (mantissa->size() > 1 && mantissa->back() == '0') mantissa->pop_back();
}

// Fixed notation of the digits; with_zero puts "0" before the point of a value below one.
std::string FixedText(const std::string& digits, int exponent, bool with_zero) {
  if (exponent < 0) {
    return std::string(with_zero ? "0." : ".") +
           std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  }
  const std::size_t whole = static_cast<std::size_t>(exponent) + 1;
  if (digits.size() <= whole) return digits + std::string(whole - digits.size(), '0');
  return digits.substr(0, whole) + "." + digits.substr(whole);
}

// Exponent notation of the digits: "1.25E-7", "3E12".
std::string ExponentText(const std::string& digits, int exponent) {
  std::string text = digits.substr(0, 1);
  if (digits.size() > 1) text += "." + digits.substr(1);
  return text + "E" + std::to_string(exponent);
}

// The first candidate of the digits that fits in width, or an empty text.
std::string FittingText(const std::string& sign, const std::string& digits, int exponent,
                        std::size_t width) {
  // Fixed notation only where it does not need a long run of zeros to place the point.
  const bool fixed_reasonable = exponent >= -5 && exponent < kMaxDigits + 4;
  std::string candidates[3];
  int count = 0;
  if (fixed_reasonable) candidates[count++] = sign + FixedText(digits, exponent, true);
  candidates[count++] = sign + ExponentText(digits, exponent);
  if (fixed_reasonable && exponent < 0) candidates[count++] = sign + FixedText(digits, exponent, false);
  for (int k = 0; k < count; ++k) {
    if (candidates[k].size() <= width) return candidates[k];
  }
  return "";
}

// The fewest significant digits that give value back exactly (at most 17), so that 0.1 is
// written 0.1 rather than 0.10000000000000001.
int ExactDigits(double value) {
  char buffer[64];
  for (int count = 1; count < kMaxDigits; ++count) {
    std::snprintf(buffer, sizeof buffer, "%.*e", count - 1, value);
    if (std::strtod(buffer, nullptr) == value) return count;
  }
  return kMaxDigits;
}

const Substitution* FindValue(const std::vector<Substitution>& values, const std::string& name) {
  const std::string lower = ToLower(name);
  for (const Substitution& value : values) {
    if (ToLower(value.name) == lower) return &value;
  }
  return nullptr;
}

bool Refuse(const std::string& file, long line, const std::string& reason, const char* verb) {
  ReportFileError(verb, file, line, reason);
  return false;
}

// Pairs the delimiters of the body into fields; each pair must lie on one line.
bool PairDelimiters(FillTemplate* parsed, char delimiter) {
  const std::string& text = parsed->text;
  std::vector<std::size_t> offsets;
  FindTemplateDelimiters(text, delimiter, std::numeric_limits<std::size_t>::max(), &offsets);
  for (std::size_t k = 0; k < offsets.size(); k += 2) {
    const long line = LineOfOffset(text, offsets[k]);
    const std::size_t line_end = text.find('\n', offsets[k]);
    if (k + 1 == offsets.size() || (line_end != std::string::npos && offsets[k + 1] > line_end)) {
      return Refuse(parsed->file, line,
                    std::string("a parameter field has no closing delimiter '") + delimiter +
                        "' on its line", "read");
    }
    TemplateField field;
    field.open = offsets[k];
    field.close = offsets[k + 1];
    field.line = line;
    field.name = TemplateFieldName(text, delimiter, field.open, field.close);
    if (field.name.empty()) return Refuse(parsed->file, line, "a parameter field names no parameter", "read");
    parsed->fields.push_back(field);
  }
  return true;
}

}  // namespace

int ParseTemplate(const std::string& file, std::string text, FillTemplate* parsed) {
  *parsed = FillTemplate();
  parsed->file = file;
  parsed->text = std::move(text);
  const TemplateHeader header = ReadTemplateHeader(parsed->text);
  if (!header.is_template || header.delimiter == '\0') {
    Refuse(file, 1, "not a PEST template: the first line must be \"ptf\", a blank and the delimiter",
           "read");
    return 1;
  }
  parsed->body = header.length < parsed->text.size() ? header.length + 1 : header.length;
  return PairDelimiters(parsed, header.delimiter) ? 0 : 1;
}

bool FormatFieldValue(double value, std::size_t width, std::string* out) {
  if (!std::isfinite(value)) return false;
  const std::string sign = value < 0.0 ? "-" : "";
  std::string digits;
  int exponent = 0;
  for (int count = ExactDigits(value); count >= 1; --count) {
    DecimalDigits(value, count, &digits, &exponent);
    if (value == 0.0) exponent = 0;
    const std::string text = FittingText(sign, digits, exponent, width);
    if (!text.empty()) {
      *out = std::string(width - text.size(), ' ') + text;
      return true;
    }
  }
  return false;
}

int FillFields(const FillTemplate& parsed, const std::vector<Substitution>& values,
               std::string* output) {
  output->clear();
  std::size_t copied = parsed.body;
  std::string number;
  for (const TemplateField& field : parsed.fields) {
    const Substitution* value = FindValue(values, field.name);
    if (value == nullptr) {
      Refuse(parsed.file, field.line, "no value for parameter '" + field.name + "'", "fill");
      return 1;
    }
    if (!FormatFieldValue(value->value, field.width(), &number)) {
      char shown[40];
      std::snprintf(shown, sizeof shown, "%.8E", value->value);
      Refuse(parsed.file, field.line,
             "the value " + std::string(shown) + " of parameter '" + field.name +
                 "' does not fit its field of " + std::to_string(field.width()) + " characters",
             "fill");
      return 1;
    }
    output->append(parsed.text, copied, field.open - copied);
    *output += number;
    copied = field.close + 1;
  }
  output->append(parsed.text, copied, std::string::npos);
  return 0;
}

}  // namespace tarne

// Writing a model input file from a PEST template: every parameter field (the name between
// two delimiters) is replaced by the parameter's value, written in the field's width with as
// many significant digits as fit. Called by the external model kind for each 'template' line
// of its project.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tarne {

struct Substitution;

// One parameter field: the offsets of its two delimiters, its name and its line.
struct TemplateField {
  std::size_t open = 0;
  std::size_t close = 0;
  std::string name;
  long line = 0;
  std::size_t width() const { return close - open + 1; }
};

// A template read and checked: its text and its fields in file order.
struct FillTemplate {
  std::string file;  // the name used in messages
  std::string text;
  std::size_t body = 0;  // offset of the first character after the header line
  std::vector<TemplateField> fields;
};

// Checks the header and finds the fields of text, the contents of the template file. Returns
// 0, or 1 after printing "cannot read <file> (line N): <reason>" for a text that is not a
// template, a field without its closing delimiter on the same line, or an empty field name.
int ParseTemplate(const std::string& file, std::string text, FillTemplate* parsed);

// value written in width characters, right-aligned, with the most significant digits that
// fit (fixed or exponent notation, whichever keeps more). False when not even one digit fits
// or the value is not a finite number.
bool FormatFieldValue(double value, std::size_t width, std::string* out);

// The model input text: the template after its header line with every field replaced by the
// value of the substitution of the same name (case ignored; the first one wins). Returns 0,
// or 1 after printing "cannot fill <file> (line N): <reason>" naming the field whose name has
// no value or whose value does not fit.
int FillFields(const FillTemplate& parsed, const std::vector<Substitution>& values,
               std::string* output);

}  // namespace tarne

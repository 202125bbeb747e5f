// The text of a PEST template file: its header line ("ptf" or "jtf", then a blank and the
// delimiter character) and the delimiters of its parameter fields. Shared by the template
// check of the calibration tools and the template filling of the external model kind.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tarne {

struct TemplateHeader {
  bool is_template = false;    // the text begins with "ptf" or "jtf"
  std::size_t length = 0;      // characters of the header line, line end not counted
  char delimiter = '\0';       // the fifth character; '\0' when there is none or it is blank
};

// Reads the header line of a template's text.
TemplateHeader ReadTemplateHeader(const std::string& text);

// The offset of every delimiter character after the header line, in file order. At most
// limit offsets are kept; when there are more, one more is kept (the first beyond the limit,
// for the message) and false is returned.
bool FindTemplateDelimiters(const std::string& text, char delimiter, std::size_t limit,
                            std::vector<std::size_t>* offsets);

// The name of the field from the delimiter at open to the one at close: every character
// between them that is neither the delimiter nor a blank or tab.
std::string TemplateFieldName(const std::string& text, char delimiter, std::size_t open,
                              std::size_t close);

// The line (from 1) that holds the character at offset.
long LineOfOffset(const std::string& text, std::size_t offset);

}  // namespace tarne

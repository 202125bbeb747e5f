#include "modellib/template_text.h"

#include <algorithm>

namespace tarne {

TemplateHeader ReadTemplateHeader(const std::string& text) {
  TemplateHeader header;
  header.length = std::min(text.find('\n'), text.size());
  header.is_template = header.length >= 3 && (text[0] == 'p' || text[0] == 'j') &&
                       text[1] == 't' && text[2] == 'f';
  const char candidate = header.length >= 5 ? text[4] : '\0';
  if (candidate != ' ' && candidate != '\t' && candidate != '\r') header.delimiter = candidate;
  return header;
}

bool FindTemplateDelimiters(const std::string& text, char delimiter, std::size_t limit,
                            std::vector<std::size_t>* offsets) {
  offsets->clear();
  for (std::size_t k = std::min(text.find('\n'), text.size()); k < text.size(); ++k) {
    if (text[k] != delimiter) continue;
    offsets->push_back(k);
    if (offsets->size() > limit) return false;
  }
  return true;
}

std::string TemplateFieldName(const std::string& text, char delimiter, std::size_t open,
                              std::size_t close) {
  std::string name;
  for (std::size_t k = open; k <= close && k < text.size(); ++k) {
    if (text[k] != delimiter && text[k] != ' ' && text[k] != '\t') name += text[k];
  }
  return name;
}

long LineOfOffset(const std::string& text, std::size_t offset) {
  const std::size_t end = std::min(offset, text.size());
  return 1 + static_cast<long>(std::count(text.begin(), text.begin() + static_cast<long>(end), '\n'));
}

}  // namespace tarne

// Looks up parameters or observations by name for the template and instruction readers.
// A name written in a model file may differ in case from the control file; every record
// whose name could match shares the name's lower-case form, so the index groups records by
// that form and tries them in record order: the first match is the one a scan from 1 finds.
#pragma once

#include <cctype>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

inline std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

inline std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class NameIndex {
 public:
  // names[k] is the name of record k (1..names.size() - 1); slot 0 is not used.
  explicit NameIndex(std::vector<const char*> names) : names_(std::move(names)) {
    next_.assign(names_.size(), 0);
    first_.reserve(names_.size());
    // Walking down makes each chain ascend, so a chain starts at the lowest index.
    for (size_t k = names_.size(); k-- > 1;) {
      int& head = first_[LowerCase(names_[k])];
      next_[k] = head;
      head = static_cast<int>(k);
    }
  }

  // The lowest index whose name equals name as written, in lower case or in upper case, or
  // 0. The buffers hold the two case forms; passing the same ones for every lookup spares an
  // allocation per name.
  int FindFirstInAnyCase(const std::string& name, std::string& lower, std::string& upper) const {
    lower.assign(name);
    upper.assign(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto chain = first_.find(lower);
    if (chain == first_.end()) return 0;
    for (int k = chain->second; k != 0; k = next_[k]) {
      const char* candidate = names_[k];
      if (name == candidate || lower == candidate || upper == candidate) return k;
    }
    return 0;
  }

  // Returns the lowest index whose name equals one of forms exactly, or 0. Every form must
  // have the same lower-case form as forms[0] (the name itself, its upper and lower case).
  int FindFirst(const std::vector<std::string>& forms) const {
    if (forms.empty()) return 0;
    const auto chain = first_.find(LowerCase(forms[0]));
    if (chain == first_.end()) return 0;
    for (int k = chain->second; k != 0; k = next_[k]) {
      for (const std::string& form : forms) {
        if (std::strcmp(names_[k], form.c_str()) == 0) return k;
      }
    }
    return 0;
  }

 private:
  std::vector<const char*> names_;
  std::vector<int> next_;  // next index with the same lower-case name, 0 = none
  std::unordered_map<std::string, int> first_;
};

#include "pest/output_names.h"

#include <cstdio>
#include <string>

short FilesNamesForWrite(const char* control_name, OutputNames& names) {
  std::string base = control_name;
  base = base.substr(0, base.find('.'));
  // The longest extension, ".rec" and its kin, must fit behind the base name.
  const size_t longest = kTextField - 1 - 4;
  if (base.size() > longest) {
    std::printf("The control name %s is too long: output file names allow %zu characters "
                "before the extension.\n", control_name, longest);
    return 1;
  }
  char* const fields[] = {names.base, names.rec, names.sen, names.mtt, names.par, names.rst};
  const char* const extensions[] = {"", ".rec", ".sen", ".mtt", ".par", ".rst"};
  for (int i = 0; i < 6; ++i) {
    std::snprintf(fields[i], kTextField, "%s%s", base.c_str(), extensions[i]);
  }
  return 0;
}

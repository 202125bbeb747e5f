// A PEST template file over a problem of four parameters.
#include <cstdint>
#include <cstdio>

#include "fuzz_support.h"
#include "pest/template_files.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterWorkingDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::WriteInput("model.tpl", data, size);
  ProblemRecord record;
  const char* names[] = {"k1", "K2", "soil_capacity", "x"};
  record.NPAR = 4;
  record.parameters.resize(5);
  for (int k = 1; k <= 4; ++k) std::snprintf(record.parameters[k].PARNME, kTextField, "%s", names[k - 1]);
  record.NTPLFLE = 1;
  record.templates.resize(2);
  std::snprintf(record.templates[1].TEMPFLE, kTextField, "model.tpl");
  FileHandleTable handles;
  if (OpenTemplateFiles(record, handles) == 0 && CheckTemplateFiles(record, handles) == 0) {
    const TemplateEntry& entry = record.templates[1];
    fuzz::Require(entry.field_count * 2 <= static_cast<int>(entry.delimiter_positions.size()) &&
                      entry.delimiter_positions.size() <= kMaxTemplateDelimiters,
                  "fields do not fit the delimiters");
    for (int l = 1; l <= entry.field_count; ++l) {
      fuzz::Require(entry.field_map[l] >= 0 && entry.field_map[l] <= record.NPAR, "field map");
    }
  }
  CloseTemplateFiles(record, handles);
  return 0;
}

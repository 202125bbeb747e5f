#include "pest/parameters.h"

#include <cmath>
#include <cstdio>
#include <cstring>

ParameterTransform TransformOfWord(const char* word) {
  if (std::strcmp(word, "log") == 0) return ParameterTransform::kLog;
  if (std::strcmp(word, "fixed") == 0) return ParameterTransform::kFixed;
  if (std::strcmp(word, "tied") == 0) return ParameterTransform::kTied;
  return ParameterTransform::kNone;
}

void SetParameterTransform(Parameter& parameter, const char* word) {
  std::snprintf(parameter.PARTRANS, kTextField, "%s", word);
  parameter.transform = TransformOfWord(parameter.PARTRANS);
}

double NaturalValue(const Parameter& parameter, double stored) {
  return IsLogParameter(parameter) ? std::pow(10.0, stored) : stored;
}

int FindParameterGroup(const ProblemRecord& record, const char* name) {
  const int available = static_cast<int>(record.groups.size()) - 1;
  const int count = record.NPARGP < available ? record.NPARGP : available;
  for (int g = 1; g <= count; ++g) {
    if (std::strcmp(record.groups[g].PARGPNME, name) == 0) return g;
  }
  return 0;
}

ivector AdjustableList(const ProblemRecord& record) {
  int count = 0;
  for (int k = 1; k <= record.NPAR; ++k) count += IsAdjustableParameter(record.parameters[k]);
  ivector list(count);
  for (int k = 1, j = 0; k <= record.NPAR; ++k) {
    if (IsAdjustableParameter(record.parameters[k])) list[++j] = k;
  }
  return list;
}

void RecomputeTiedParameters(ProblemRecord& record) {
  for (int k = 1; k <= record.NPAR; ++k) {
    Parameter& parameter = record.parameters[k];
    const int parent = parameter.parent_index;
    if (!IsTiedParameter(parameter) || parent < 1 || parent > record.NPAR) continue;
    parameter.value = NaturalValue(record.parameters[parent]) * parameter.tie_ratio;
  }
}

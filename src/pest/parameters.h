// Parameter transforms and values of the PEST-format problem: the transform word of a
// parameter as an enum, the conversion of stored values (base-10 logarithms for "log"
// parameters) to natural values, the list of adjustable parameters, the re-tying of tied
// parameters and the lookup of a parameter's group. Used by every routine of the
// Levenberg-Marquardt family that reads values.
#pragma once

#include "problem.h"
#include "numeric/numeric.h"

// The transform of a PARTRANS word; any word other than "log", "fixed" and "tied" makes an
// ordinary adjustable parameter, as "none" does.
ParameterTransform TransformOfWord(const char* word);
// Sets PARTRANS (cut to its field) and the transform it stands for.
void SetParameterTransform(Parameter& parameter, const char* word);

inline bool IsLogParameter(const Parameter& parameter) {
  return parameter.transform == ParameterTransform::kLog;
}
// True for parameters the search moves ("fixed" and "tied" ones it does not).
inline bool IsAdjustableParameter(const Parameter& parameter) {
  return parameter.transform != ParameterTransform::kFixed &&
         parameter.transform != ParameterTransform::kTied;
}
inline bool IsTiedParameter(const Parameter& parameter) {
  return parameter.transform == ParameterTransform::kTied;
}
inline bool IsFixedParameter(const Parameter& parameter) {
  return parameter.transform == ParameterTransform::kFixed;
}

// A stored value in natural units: 10 to the power of it for a "log" parameter.
double NaturalValue(const Parameter& parameter, double stored);
inline double NaturalValue(const Parameter& parameter) {
  return NaturalValue(parameter, parameter.value);
}

// Index (1..NPARGP) of the first group named name, or 0 when none is.
int FindParameterGroup(const ProblemRecord& record, const char* name);

// Indices (1..NPAR) of the adjustable parameters in control-file order, one-based.
ivector AdjustableList(const ProblemRecord& record);
// Every tied parameter takes its parent's natural value times its tie ratio. A tied
// parameter without a parent keeps its value.
void RecomputeTiedParameters(ProblemRecord& record);

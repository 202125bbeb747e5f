// The SCE input file: three name lines read line by line, then a stream of numbers (record
// 1, record 2 and one record per parameter) in which line breaks do not matter.
#include "sce/sce_input.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "modellib/file_error.h"
#include "modellib/text_util.h"
#include "modellib/token_reader.h"

namespace {

using tarne::TokenReader;

// Line buffer for the name lines: large enough that a name longer than a name field is
// seen whole and refused rather than silently cut.
constexpr std::size_t kLineSize = 4 * SceSettings::kNameSize;
// Longest number token; anything longer is not a number this file can hold.
constexpr int kTokenSize = 128;
// Smallest distance between a parameter's bounds, relative to the larger of 1 and the
// bounds' magnitude.
constexpr double kMinimumRelativeRange = 1.0e-14;

// The next token of the stream of numbers; false at the end of the file or for a token longer
// than kTokenSize - 1 characters (text then holds its start).
bool NextToken(TokenReader& tokens, std::string& text) {
  return tokens.Next(text, kTokenSize - 1) == TokenReader::Token::kRead;
}

// A whole token as a 32-bit integer.
bool NextInt(TokenReader& tokens, std::int32_t* out) {
  std::string text;
  return NextToken(tokens, text) && tarne::ParseInt(text, *out);
}

// A whole token as a finite double.
bool NextDouble(TokenReader& tokens, double* out) {
  std::string text;
  return NextToken(tokens, text) && tarne::ParseDouble(text, out);
}

// Reports a fault of the input file at the line given.
void PrintFileError(const char* file_name, long line, const std::string& reason) {
  ReportFileError("read", file_name, line, reason);
}

// Reads one name line and keeps its first word in name (empty for an empty line or at end
// of file). Returns false, after a message, when the line is longer than the line buffer or
// the word does not fit the name field.
bool ReadNameLine(tarne::gFILE& input, const char* file_name, long line_no, const char* what,
                  char* name) {
  char line[kLineSize] = {};
  name[0] = '\0';
  const int got = daGetLine_noreplace(line, sizeof line, &input);
  if (got == 0) return true;
  if (got == kLineCut) {
    PrintFileError(file_name, line_no,
                   "the line is longer than " + std::to_string(kLineSize - 1) + " characters");
    return false;
  }
  char word[kLineSize];
  if (daReadString(line, word, sizeof word) == 0) return true;
  std::string text(word);
  if (text.size() >= static_cast<std::size_t>(SceSettings::kNameSize)) {
    PrintFileError(file_name, line_no,
                   std::string("the ") + what + " name is longer than " +
                       std::to_string(SceSettings::kNameSize - 1) + " characters");
    return false;
  }
  text.copy(name, text.size());
  name[text.size()] = '\0';
  return true;
}

// Record 1: max_calls, kstop, conv_pct, ngs, seed, custom, nparam. A missing or malformed
// item is named on a line of its own before the fixed message of this record.
bool ReadRecordOne(TokenReader& tokens, const char* file_name, SceSettings& s) {
  struct Item {
    const char* name;
    std::int32_t* integer;
    double* real;
  };
  const Item items[] = {{"max_calls", &s.max_calls, nullptr}, {"kstop", &s.kstop, nullptr},
                        {"conv_pct", nullptr, &s.conv_pct},   {"ngs", &s.ngs, nullptr},
                        {"seed", &s.seed, nullptr},           {"custom", &s.custom, nullptr},
                        {"nparam", &s.nparam, nullptr}};
  for (const Item& item : items) {
    std::string text;
    const bool read = NextToken(tokens, text);
    if (read && (item.integer != nullptr ? tarne::ParseInt(text, *item.integer)
                                         : tarne::ParseDouble(text, item.real))) {
      continue;
    }
    const std::string found = !read && text.empty()
                                  ? std::string("the file ends before it")
                                  : "\"" + text.substr(0, 60) + "\" is not " +
                                        (item.integer != nullptr ? "an integer" : "a finite number");
    PrintFileError(file_name, tokens.token_line(),
                   std::string("record 1 needs 7 numbers (max_calls kstop conv_pct ngs seed "
                               "custom nparam); at ") + item.name + " " + found);
    std::printf("Error in your input file. The first line must have 7 parameters.\n");
    return false;
  }
  s.conv_pct /= 100.0;
  if (s.seed == 0) s.seed = 3737;
  return true;
}

// Record 2: npg, nps, nspl, min_ngs, start_flag, pop_print; kept only when custom is 1.
bool ReadRecordTwo(TokenReader& tokens, const char* file_name, SceSettings& s) {
  std::int32_t v[6];
  for (std::int32_t& item : v) {
    if (!NextInt(tokens, &item)) {
      PrintFileError(file_name, tokens.token_line(),
                     "the second record must have 6 integers (npg nps nspl min_ngs "
                     "start_flag pop_print)");
      return false;
    }
  }
  if (s.custom == 1) {
    s.npg = v[0];
    s.nps = v[1];
    s.nspl = v[2];
    s.min_ngs = v[3];
    s.start_flag = v[4];
    s.pop_print = v[5];
  }
  return true;
}

// Parameter record i: start value, lower bound, upper bound.
bool ReadParameter(TokenReader& tokens, const char* file_name, long i, SceSettings& s) {
  if (!NextDouble(tokens, &s.a[i]) || !NextDouble(tokens, &s.bl[i]) ||
      !NextDouble(tokens, &s.bu[i])) {
    PrintFileError(file_name, tokens.token_line(),
                   "parameter " + std::to_string(i) +
                       " needs a start value, a lower and an upper bound (finite numbers)");
    return false;
  }
  if (s.bl[i] >= s.bu[i]) {
    PrintFileError(file_name, tokens.token_line(),
                   "the lower bound of parameter " + std::to_string(i) +
                       " is not below its upper bound");
    std::printf("ERROR:  Lower bound is greater than upper bound for varialbe %ld\n", i);
    return false;
  }
  // A range that overflows would make every random point fall outside the bounds.
  if (!std::isfinite(s.bu[i] - s.bl[i])) {
    PrintFileError(file_name, tokens.token_line(),
                   "the bounds of parameter " + std::to_string(i) + " are too far apart");
    return false;
  }
  // Random points around a collapsed population spread at least 1e-10 in absolute terms
  // (and about 1e-8 of the magnitude, from rounding in the variance); bounds much closer
  // than that would almost never catch one, and the search would redraw without end.
  const double magnitude = std::max({1.0, std::fabs(s.bl[i]), std::fabs(s.bu[i])});
  if (s.bu[i] - s.bl[i] < kMinimumRelativeRange * magnitude) {
    PrintFileError(file_name, tokens.token_line(),
                   "the bounds of parameter " + std::to_string(i) +
                       " must lie at least 1e-14 times the larger of 1 and their magnitude "
                       "apart");
    return false;
  }
  // A start point outside the bounds would become the focus of random points that can
  // never land inside them.
  if (s.custom == 1 && s.start_flag == 1 && (s.a[i] < s.bl[i] || s.a[i] > s.bu[i])) {
    PrintFileError(file_name, tokens.token_line(),
                   "the start value of parameter " + std::to_string(i) +
                       " lies outside its bounds");
    return false;
  }
  return true;
}

bool AllocateParameterArrays(SceSettings& s) {
  long size = static_cast<long>(s.nparam) + 1;
  s.a = AllocateSceArray(size, "a");
  s.bl = AllocateSceArray(size, "bl");
  s.bu = AllocateSceArray(size, "bu");
  return s.a && s.bl && s.bu;
}

}  // namespace

int read_sce_input(SceRun& run, tarne::gFILE& input, const char* file_name) {
  std::printf(" ENTER THE SCEIN SUBROUTINE --- \n");
  SceSettings& s = run.settings;
  if (!ReadNameLine(input, file_name, 1, "project file", s.project_file)) return -1;
  caReadVARNOKProjectPath(s.project_file, &run.io_settings);
  if (!ReadNameLine(input, file_name, 2, "second path", s.second_path)) return -1;
  if (!ReadNameLine(input, file_name, 3, "observation file", s.observation_file)) return -1;
  // Without observations the run cannot go on (the driver would try to read a file without
  // a name), so a missing name is refused here, where its line is known.
  if (s.observation_file[0] == '\0') {
    PrintFileError(file_name, 3, "no observation file is named");
    return -1;
  }

  TokenReader tokens(file_name, input.fp, 4);
  if (!ReadRecordOne(tokens, file_name, s)) return -1;
  if (s.nparam < 1 || s.nparam > kSceMaxParameters) {
    PrintFileError(file_name, tokens.token_line(),
                   "the number of parameters " + std::to_string(s.nparam) +
                       " is not between 1 and " + std::to_string(kSceMaxParameters));
    return -1;
  }
  if (!ReadRecordTwo(tokens, file_name, s)) return -1;
  if (!AllocateParameterArrays(s)) return -1;
  for (long i = 1; i <= s.nparam; ++i) {
    if (!ReadParameter(tokens, file_name, i, s)) return -1;
  }
  input.close();
  return 0;
}

long MostEvolutionSteps(const SceSettings& s) {
  const long ngs = std::max<long>(s.ngs, 1);
  const long per_complex = (std::max<long>(s.max_calls, 0) + ngs - 1) / ngs;
  return std::max<long>(s.npg, per_complex);
}

int check_sce_settings(SceSettings& s) {
  const std::int32_t n = s.nparam;
  if (s.custom != 1) {
    s.start_flag = 0;
    s.pop_print = 0;
    s.nps = n + 1;
    s.min_ngs = s.ngs;
    s.npg = 2 * n + 1;
    s.nspl = 2 * n + 1;
  }
  if (s.ngs < 1 || s.ngs > 1319) {
    std::printf(" **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION %ld IS NOT A VALID "
                "CHOICE\n", static_cast<long>(s.ngs));
    return -1;
  }
  int warnings = 0;
  if (s.kstop < 0 || s.kstop > 19) {
    std::printf(" **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE\n");
    std::printf(" MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = %ld WAS\n",
                static_cast<long>(s.kstop));
    std::printf(" WAS SPECIFIED.  BUT kstop = 5 WILL BE USED INSTEAD.\n");
    s.kstop = 5;
    ++warnings;
  }
  if (s.min_ngs < 1 || s.min_ngs > s.ngs) {
    std::printf(" **WARNING** THE MINIMUM NUMBER OF COMPLEXES %ld IS NOT A VALID CHOICE.\n",
                static_cast<long>(s.min_ngs));
    std::printf(" SET IT TO DEFAULT\n");
    s.min_ngs = s.ngs;
    ++warnings;
  }
  if (s.npg < 2 || s.npg > 1320 / std::max<std::int32_t>(s.ngs, 1)) {
    std::printf(" **WARNING** THE NUMBER OF POINTS IN A COMPLEX %ld IS NOT\n",
                static_cast<long>(s.npg));
    std::printf(" A VALID CHOICE, SET IT TO DEFAULT\n");
    s.npg = 2 * n + 1;
    ++warnings;
  }
  if (s.nps < 2 || s.nps > s.npg || s.nps > 50) {
    std::printf(" **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX %ld IS NOT\n",
                static_cast<long>(s.nps));
    std::printf(" A VALID CHOICE, SET IT TO DEFAULT\n");
    // The default may exceed a complex the user made smaller; a sub-complex larger than its
    // complex could never be drawn, so it is then the whole complex.
    s.nps = std::min(n + 1, s.npg);
    ++warnings;
  }
  if (s.nspl < 1) {
    std::printf(" **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX\n");
    std::printf(" BEFORE SHUFFLING %ld IS NOT A VALID CHOICE, SET IT TO DEFAULT\n",
                static_cast<long>(s.nspl));
    s.nspl = s.npg;
    ++warnings;
  } else if (s.nspl > MostEvolutionSteps(s)) {
    // The evaluation limit is looked at once per shuffling loop, and one loop makes at least
    // ngs * nspl evaluations: beyond this bound a single loop would run far past the limit.
    std::printf(" **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX\n");
    std::printf(" BEFORE SHUFFLING %ld EXCEEDS %ld, THE LARGER OF NPG AND MAX_CALLS / NGS,\n",
                static_cast<long>(s.nspl), MostEvolutionSteps(s));
    std::printf(" SET IT TO DEFAULT\n");
    s.nspl = s.npg;
    ++warnings;
  }
  if (static_cast<long>(s.npg) * s.ngs > 1320) {
    std::printf(" **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION %ld EXCEED\n",
                static_cast<long>(s.npg) * s.ngs);
    std::printf(" THE POPULATION LIMIT.  SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n");
    s.ngs = 2;
    s.nps = n + 1;
    s.npg = 2 * n + 1;
    s.nspl = 2 * n + 1;
    ++warnings;
  }
  if (warnings > 0) {
    std::printf(" *** TOTAL NUMBER OF WARNING MESSAGES IS %ld\n", static_cast<long>(warnings));
  }
  return warnings;
}

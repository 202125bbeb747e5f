#include "pest/control_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "modellib/file_error.h"
#include "modellib/input_file.h"
#include "modellib/text_util.h"
#include "modellib/token_reader.h"
#include "pest/parameters.h"

namespace {

// One line read takes at most this many characters, its line end included.
constexpr size_t kLineReadLimit = kTextField - 1;
// Longest part of a token quoted in a message.
constexpr size_t kShownTokenLimit = 60;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// The control file's layer over the token reader: text fields copied only when they fit,
// so no field is overrun, and the words that name the record being read in every message
// (" of parameter 3"). Every refused token and every early end of the file is reported
// with the file and line.
class ControlReader {
 public:
  ControlReader(std::string file, std::string text)
      : size_(text.size()), in_(std::move(file), std::move(text)) {}

  // Words that follow every field name in messages, such as " of parameter 3".
  void SetContext(std::string context) { context_ = std::move(context); }

  // Rest of the current line, at most kLineReadLimit characters, line end kept as read.
  void Line(char (&out)[kTextField]) { in_.Line(out, kLineReadLimit + 1); }

  // Enters a section: finishes the line that holds the previous section's last token, then
  // reads the section's header line. After a section without tokens the reader already
  // stands at the start of a line, and the header is read directly instead of being taken
  // for the end of the previous line.
  void SectionHeader(char (&out)[kTextField]) {
    if (!in_.AtLineStart()) Line(out);
    Line(out);
  }

  int CountOnLine(char wanted) const { return in_.CountOnLine(wanted); }

  // Next white-space separated word of any length; false (reported) at the end of the file.
  bool Word(const char* field, std::string& out) {
    return in_.Next(out) == tarne::TokenReader::Token::kRead ||
           in_.ReportEnd((field + context_).c_str());
  }

  bool Text(const char* field, char* out, size_t width) {
    std::string word;
    if (!Word(field, word)) return false;
    if (word.size() >= width) {
      return Fail("the token \"" + Shown(word) + "\" is longer than the " +
                  std::to_string(width - 1) + " characters of " + field + context_);
    }
    std::memcpy(out, word.c_str(), word.size() + 1);
    return true;
  }
  template <size_t N>
  bool Text(const char* field, char (&out)[N]) {
    return Text(field, out, N);
  }

  bool Int(const char* field, int& out) {
    std::string word;
    if (!Word(field, word)) return false;
    if (!tarne::ParseInt(word, out)) {
      return Fail("\"" + Shown(word) + "\" is not an integer (" + field + context_ + ")");
    }
    return true;
  }

  // A finite number: NaN and infinities (also "1e999", which overflows) are refused, since
  // no setting, bound or value of the file can be one. Values that underflow, such as
  // "1e-400", are finite and kept.
  bool Real(const char* field, double& out) {
    std::string word;
    if (!Word(field, word)) return false;
    if (!tarne::ParseDouble(word, &out)) {
      double any = 0.0;
      const char* what = tarne::ParseNumber(word, any) ? "a finite number" : "a number";
      return Fail("\"" + Shown(word) + "\" is not " + what + " (" + field + context_ + ")");
    }
    return true;
  }

  // A real token when one follows; nothing is reported and false is returned otherwise.
  bool TryReal(double& out) {
    std::string word;
    return in_.Next(word) == tarne::TokenReader::Token::kRead && tarne::ParseDouble(word, &out);
  }

  // Reports the reason against the current line; always false.
  bool Fail(const std::string& reason) const { return in_.Fail(reason); }

  tarne::TokenReader::Mark Save() const { return in_.Save(); }
  void Restore(tarne::TokenReader::Mark mark) { in_.Restore(mark); }
  size_t Remaining() const { return size_ - in_.offset(); }
  const std::string& file() const { return in_.file(); }

 private:
  static std::string Shown(const std::string& word) {
    if (word.size() <= kShownTokenLimit) return word;
    return word.substr(0, kShownTokenLimit) + "...";
  }

  size_t size_;
  tarne::TokenReader in_;
  std::string context_;
};

std::string Numbered(const char* what, int index) {
  return std::string(" of ") + what + " " + std::to_string(index);
}

// Room for count records plus the unused slot 0. A count larger than the characters left in
// the file cannot be met (every record takes at least one), so it is refused before any
// storage is taken.
template <typename T>
bool Allocate(std::vector<T>& records, int count, const char* count_name, ControlReader& in) {
  if (static_cast<size_t>(count) > in.Remaining()) {
    return in.Fail(std::string(count_name) + " is " + std::to_string(count) +
                   " but the file ends before that many entries");
  }
  try {
    records.assign(static_cast<size_t>(count) + 1, T());
  } catch (const std::bad_alloc&) {
    std::printf("Not enough memory to allocate buffer");
    std::printf("\n");
    return false;
  }
  return true;
}

// The control name as given when it holds a ".", otherwise with ".pst" appended.
std::string ControlFileName(const char* control_name) {
  std::string name = control_name;
  if (name.find('.') == std::string::npos) name += ".pst";
  return name;
}

// The whole control file. One that cannot be opened, or is not a regular file, is named with
// the reason on standard error before the fixed line that says it cannot be opened.
bool ReadWholeFile(const std::string& name, std::string& text) {
  std::string reason;
  FileHandle file(tarne::OpenInputFile(name, "r", tarne::kMaxInputFileBytes, &reason));
  if (!file) {
    std::fprintf(stderr, "%s\n", FileErrorMessage("open", name.c_str(), 0, reason.c_str()).c_str());
    std::fprintf(stderr, "Cannot open %s \n", name.c_str());
    return false;
  }
  tarne::TextFault fault;
  if (!tarne::ReadInputText(file.get(), tarne::kMaxInputFileBytes, tarne::kMaxInputLine, &text,
                            &fault)) {
    ReportFileError("read", name, fault.line, fault.reason);
    return false;
  }
  return true;
}

// Writes the replacement list under a temporary name and renames it over "tarne.in", so that
// a failure leaves the previous list as it was and no reader ever sees half a list.
bool WriteReplacementList(const std::string& content) {
  const char* const name = "tarne.in";
  const std::string temporary = std::string(name) + ".tmp";
  FileHandle file(std::fopen(temporary.c_str(), "w"));
  if (!file) {
    ReportFileError("create", temporary, 0, std::strerror(errno));
    return false;
  }
  errno = 0;
  bool written = std::fwrite(content.data(), 1, content.size(), file.get()) == content.size() &&
                 std::fflush(file.get()) == 0;
  std::string reason = written ? "" : std::strerror(errno != 0 ? errno : EIO);
  if (std::fclose(file.release()) != 0 && written) {
    written = false;
    reason = std::strerror(errno);
  }
  if (written && std::rename(temporary.c_str(), name) != 0) {
    written = false;
    reason = std::strerror(errno);
  }
  if (!written) {
    ReportFileError("write", name, 0, reason);
    std::remove(temporary.c_str());
  }
  return written;
}

// Settings the search cannot work with are refused where they are read, so the message
// names their line: a lambda search needs at least one trial and a lambda that stays
// positive; the secant mode needs a full-update switch of 0 or 1 and a column count of at
// least 0 (its list of columns would otherwise hold entries that name no parameter).
bool CheckLambdaSettings(const ProblemRecord& r, ControlReader& in) {
  if (r.NUMLAM < 1) {
    return in.Fail("NUMLAM is " + std::to_string(r.NUMLAM) +
                   "; at least one lambda must be tried in each iteration");
  }
  if (!(r.RLAMBDA1 >= 0.0) || !(r.RLAMFAC > 0.0)) {
    return in.Fail("RLAMBDA1 must be 0 or more and RLAMFAC more than 0");
  }
  return true;
}

bool CheckSecantSettings(const ProblemRecord& r, ControlReader& in) {
  if (r.SLMFULLUPD != 0 && r.SLMFULLUPD != 1) {
    return in.Fail("SLMFULLUPD is " + std::to_string(r.SLMFULLUPD) + "; it must be 0 or 1");
  }
  if (r.SLMNCOL < 0) {
    return in.Fail("SLMNCOL is " + std::to_string(r.SLMNCOL) + "; it cannot be negative");
  }
  return true;
}

bool ReadControlData(ProblemRecord& r, ControlReader& in) {
  return in.Text("RSTFLE", r.RSTFLE) && in.Text("PESTMODE", r.PESTMODE) &&
         in.Int("NPAR", r.NPAR) && in.Int("NOBS", r.NOBS) && in.Int("NPARGP", r.NPARGP) &&
         in.Int("NPRIOR", r.NPRIOR) && in.Int("NOBSGP", r.NOBSGP) &&
         in.Int("NTPLFLE", r.NTPLFLE) && in.Int("NINSFLE", r.NINSFLE) &&
         in.Text("PRECIS", r.PRECIS) && in.Text("DPOINT", r.DPOINT) &&
         in.Int("NUMCOM", r.NUMCOM) && in.Int("JACFILE", r.JACFILE) &&
         in.Int("MESSFILE", r.MESSFILE) && in.Real("RLAMBDA1", r.RLAMBDA1) &&
         in.Real("RLAMFAC", r.RLAMFAC) && in.Real("PHIRATSUF", r.PHIRATSUF) &&
         in.Real("PHIREDLAM", r.PHIREDLAM) && in.Int("NUMLAM", r.NUMLAM) &&
         CheckLambdaSettings(r, in) &&
         in.Real("RELPARMAX", r.RELPARMAX) && in.Real("FACPARMAX", r.FACPARMAX) &&
         in.Real("FACORIG", r.FACORIG) && in.Int("the integer before PHIREDSWH", r.ignored_integer) &&
         in.Real("PHIREDSWH", r.PHIREDSWH) && in.Text("the word after PHIREDSWH", r.ignored_word) &&
         in.Int("NOPTMAX", r.NOPTMAX) && in.Real("PHIREDSTP", r.PHIREDSTP) &&
         in.Int("NPHISTP", r.NPHISTP) && in.Int("NPHINORED", r.NPHINORED) &&
         in.Real("RELPARSTP", r.RELPARSTP) && in.Int("NRELPAR", r.NRELPAR) &&
         in.Int("ICOV", r.ICOV) && in.Int("ICOR", r.ICOR) && in.Int("IEIG", r.IEIG) &&
         in.Int("SLMMODE", r.SLMMODE) && in.Int("SLMFULLUPD", r.SLMFULLUPD) &&
         in.Real("SLMFULLRAT", r.SLMFULLRAT) && in.Int("SLMNCOL", r.SLMNCOL) &&
         CheckSecantSettings(r, in) &&
         in.Real("LSDISTMIN", r.LSDISTMIN) && in.Text("PROJFLE", r.PROJFLE);
}

// The counts size the arrays, so a negative one is refused before anything is allocated.
bool CheckCounts(const ProblemRecord& r, ControlReader& in) {
  const std::pair<const char*, int> counts[] = {
      {"NPAR", r.NPAR},     {"NOBS", r.NOBS},       {"NPARGP", r.NPARGP},  {"NPRIOR", r.NPRIOR},
      {"NOBSGP", r.NOBSGP}, {"NTPLFLE", r.NTPLFLE}, {"NINSFLE", r.NINSFLE}};
  for (const auto& count : counts) {
    if (count.second < 0) {
      ReportFileError("read", in.file(), 0,
                     std::string(count.first) + " is " + std::to_string(count.second) +
                         "; a count cannot be negative");
      return false;
    }
  }
  return true;
}

// Two line reads; when the header just read is that of the singular-value section, its four
// values and the next header follow.
bool ReadSingularValueSection(ProblemRecord& r, ControlReader& in) {
  in.SectionHeader(r.section_line);
  if (std::strlen(r.section_line) < 10 || std::strncmp(r.section_line + 2, "singular", 8) != 0) {
    return true;
  }
  in.SetContext("");
  if (!(in.Int("SVDMODE", r.SVDMODE) && in.Int("MAXSING", r.MAXSING) &&
        in.Real("EIGTHRESH", r.EIGTHRESH) && in.Int("EIGWRITE", r.EIGWRITE))) {
    return false;
  }
  in.SectionHeader(r.section_line);
  return true;
}

bool ReadParameterGroups(ProblemRecord& r, ControlReader& in) {
  if (!Allocate(r.groups, r.NPARGP, "NPARGP", in)) return false;
  for (int i = 1; i <= r.NPARGP; ++i) {
    ParameterGroup& g = r.groups[i];
    in.SetContext(Numbered("parameter group", i));
    if (!(in.Text("PARGPNME", g.PARGPNME) && in.Text("INCTYP", g.INCTYP) &&
          in.Real("DERINC", g.DERINC) && in.Real("DERINCLB", g.DERINCLB) &&
          in.Text("FORCEN", g.FORCEN) && in.Real("DERINCMUL", g.DERINCMUL) &&
          in.Text("DERMTHD", g.DERMTHD))) {
      return false;
    }
  }
  return true;
}

// Reads the parameter lines and builds the replacement list: the count after the first
// parameter, then one line per parameter naming it and its output format.
bool ReadParameters(ProblemRecord& r, ControlReader& in, std::string& list) {
  in.SectionHeader(r.section_line);
  if (!Allocate(r.parameters, r.NPAR, "NPAR", in)) return false;
  for (int i = 1; i <= r.NPAR; ++i) {
    Parameter& p = r.parameters[i];
    in.SetContext(Numbered("parameter", i));
    if (!(in.Text("PARNME", p.PARNME) && in.Text("PARTRANS", p.PARTRANS) &&
          in.Text("PARCHGLIM", p.PARCHGLIM) && in.Real("PARVAL1", p.value) &&
          in.Real("PARLBND", p.PARLBND) && in.Real("PARUBND", p.PARUBND) &&
          in.Text("PARGP", p.PARGP) && in.Real("SCALE", p.SCALE) &&
          in.Real("OFFSET", p.OFFSET) && in.Int("DERCOM", p.DERCOM))) {
      return false;
    }
    p.transform = TransformOfWord(p.PARTRANS);
    if (i == 1) list += std::to_string(r.NPAR) + "\n";
    list += std::string("[") + p.PARNME + "] \"%16.8lf\"\n";
  }
  return true;
}

// Replaces the value and bounds of every "log" parameter by their base-10 logarithms.
bool TakeLogarithms(ProblemRecord& r) {
  for (int i = 1; i <= r.NPAR; ++i) {
    Parameter& p = r.parameters[i];
    if (!IsLogParameter(p)) continue;
    if (!(p.value > 0.0 && p.PARLBND > 0.0 && p.PARUBND > 0.0)) {
      std::printf("\nThe log transformed parameter %s has an input value less than zero!",
                  p.PARNME);
      std::printf("\nProgram terminating.\n");
      return false;
    }
    p.value = std::log10(p.value);
    p.PARLBND = std::log10(p.PARLBND);
    p.PARUBND = std::log10(p.PARUBND);
  }
  return true;
}

// One tie line per tied parameter, in parameter order, right after the parameter lines.
bool ReadTieLines(ProblemRecord& r, ControlReader& in) {
  for (int i = 1; i <= r.NPAR; ++i) {
    Parameter& p = r.parameters[i];
    if (!IsTiedParameter(p)) continue;
    in.SetContext(std::string(" of the tie line of ") + p.PARNME);
    if (!(in.Text("the parameter name", p.tie_line_name) && in.Text("PARTIED", p.PARTIED))) {
      return false;
    }
  }
  return true;
}

void SetBoundFlags(ProblemRecord& r) {
  for (int i = 1; i <= r.NPAR; ++i) {
    Parameter& p = r.parameters[i];
    p.at_upper = p.value == p.PARUBND ? 1 : 0;
    p.at_lower = p.value == p.PARLBND ? 1 : 0;
  }
}

bool ReadObservationGroups(ProblemRecord& r, ControlReader& in) {
  in.SectionHeader(r.section_line);
  if (!Allocate(r.observation_groups, r.NOBSGP, "NOBSGP", in)) return false;
  for (int i = 1; i <= r.NOBSGP; ++i) {
    in.SetContext(Numbered("observation group", i));
    if (!in.Text("OBGNME", r.observation_groups[i].OBGNME)) return false;
  }
  return true;
}

bool ReadObservations(ProblemRecord& r, ControlReader& in) {
  in.SectionHeader(r.section_line);
  if (!Allocate(r.observations, r.NOBS, "NOBS", in)) return false;
  for (int i = 1; i <= r.NOBS; ++i) {
    Observation& o = r.observations[i];
    in.SetContext(Numbered("observation", i));
    if (!(in.Text("OBSNME", o.OBSNME) && in.Real("OBSVAL", o.OBSVAL) &&
          in.Real("WEIGHT", o.WEIGHT) && in.Text("OBGNME", o.OBGNME))) {
      return false;
    }
  }
  return true;
}

bool ReadModelCommands(ProblemRecord& r, ControlReader& in) {
  in.SectionHeader(r.section_line);
  in.SetContext(" in the model command line section");
  return in.Text("PREBATCH", r.PREBATCH) && in.Text("POSTBATCH", r.POSTBATCH);
}

bool ReadModelFiles(ProblemRecord& r, ControlReader& in) {
  in.SectionHeader(r.section_line);
  if (!Allocate(r.templates, r.NTPLFLE, "NTPLFLE", in) ||
      !Allocate(r.instructions, r.NINSFLE, "NINSFLE", in)) {
    return false;
  }
  for (int i = 1; i <= r.NTPLFLE; ++i) {
    in.SetContext(Numbered("template pair", i));
    if (!(in.Text("TEMPFLE", r.templates[i].TEMPFLE) && in.Text("INFLE", r.templates[i].INFLE))) {
      return false;
    }
  }
  for (int i = 1; i <= r.NINSFLE; ++i) {
    in.SetContext(Numbered("instruction pair", i));
    if (!(in.Text("INSFLE", r.instructions[i].INSFLE) &&
          in.Text("OUTFLE", r.instructions[i].OUTFLE))) {
      return false;
    }
  }
  return true;
}

// The parameter of a prior term: the name inside log( ) when the term is written so, else
// the token itself.
bool TermParameterName(const std::string& token, char (&name)[kTextField], ControlReader& in) {
  std::string result = token;
  size_t log = token.find("log");
  if (log != std::string::npos) {
    size_t open = token.rfind('(');
    if (open != std::string::npos && open > log) {
      size_t close = token.find(')', log);
      if (close == std::string::npos || close < open) {
        return in.Fail("the prior term \"" + token + "\" has no \")\" after its \"(\"");
      }
      result = token.substr(open + 1, close - open - 1);
    }
  }
  std::memcpy(name, result.c_str(), result.size() + 1);  // never longer than the token
  return true;
}

// One prior item on one line: label, then factor * parameter for every "*" on the line,
// joined by signs and closed by "=", then PIVAL, WEIGHT and the group.
bool ReadPriorItem(PriorItem& item, int index, ProblemRecord& r, ControlReader& in) {
  in.SetContext(Numbered("prior item", index));
  int terms = in.CountOnLine('*');
  const tarne::TokenReader::Mark start = in.Save();
  in.Line(r.section_line);
  in.Restore(start);
  if (!in.Text("PILBL", item.PILBL)) return false;
  if (terms > kMaxPriorTerms) {
    return in.Fail("the prior item " + std::string(item.PILBL) + " has " + std::to_string(terms) +
                   " terms; at most " + std::to_string(kMaxPriorTerms) + " are allowed");
  }
  item.num_terms = terms;
  item.factors.assign(static_cast<size_t>(terms) + 1, 0.0);
  std::string sign;
  for (int k = 1; k <= terms; ++k) {
    double factor = 0.0;
    std::string star, parameter;
    if (!in.Real("a factor", factor)) return false;
    item.factors[k] = (k > 1 && sign == "-") ? -factor : factor;
    if (!in.Word("\"*\"", star)) return false;
    if (star != "*") {
      std::printf("Error reading prior information");
      return false;
    }
    if (!in.Text("a parameter name", item.term_names[k])) return false;
    parameter = item.term_names[k];
    if (!TermParameterName(parameter, item.term_names[k], in)) return false;
    if (!in.Word("a sign or \"=\"", sign)) return false;
  }
  if (terms > 0 && sign != "=") {
    return in.Fail("the prior item " + std::string(item.PILBL) + " has \"" + sign +
                   "\" where \"=\" should follow its last term");
  }
  if (!(in.Real("PIVAL", item.PIVAL) && in.Real("WEIGHT", item.WEIGHT) &&
        in.Text("OBGNME", item.OBGNME))) {
    return false;
  }
  in.Line(r.section_line);
  return true;
}

bool ReadPriorInformation(ProblemRecord& r, ControlReader& in) {
  in.SectionHeader(r.section_line);
  if (!Allocate(r.priors, r.NPRIOR, "NPRIOR", in)) return false;
  for (int i = 1; i <= r.NPRIOR; ++i) {
    if (!ReadPriorItem(r.priors[i], i, r, in)) return false;
  }
  return true;
}

// The regularisation settings close the file. They matter only in regularisation mode, so
// elsewhere a file that ends before them (or holds something else there) leaves them unset.
bool ReadRegularisation(ProblemRecord& r, ControlReader& in) {
  in.Line(r.section_line);
  double* const fields[] = {&r.PHIMLIM, &r.PHIMACCEPT, &r.FRACPHIM, &r.WFINIT,
                            &r.WFMIN,   &r.WFMAX,      &r.WFFAC,    &r.WFTOL};
  const char* const names[] = {"PHIMLIM", "PHIMACCEPT", "FRACPHIM", "WFINIT",
                               "WFMIN",   "WFMAX",      "WFFAC",    "WFTOL"};
  bool required = std::strcmp(r.PESTMODE, "regularisation") == 0 ||
                  std::strcmp(r.PESTMODE, "regularization") == 0;
  in.SetContext(" in the regularisation section");
  for (int i = 0; i < 8; ++i) {
    bool read = required ? in.Real(names[i], *fields[i]) : in.TryReal(*fields[i]);
    if (!read) {
      if (required) return false;
      break;
    }
  }
  r.WFCUR = r.WFINIT;
  return true;
}

bool ReadSections(ProblemRecord& r, ControlReader& in, std::string& list) {
  in.Line(r.first_line);
  in.Line(r.second_line);
  in.SetContext("");
  if (!(ReadControlData(r, in) && CheckCounts(r, in) && ReadSingularValueSection(r, in) &&
        ReadParameterGroups(r, in) && ReadParameters(r, in, list) && TakeLogarithms(r) &&
        ReadTieLines(r, in))) {
    return false;
  }
  SetBoundFlags(r);
  return ReadObservationGroups(r, in) && ReadObservations(r, in) && ReadModelCommands(r, in) &&
         ReadModelFiles(r, in) && ReadPriorInformation(r, in) && ReadRegularisation(r, in);
}

}  // namespace

short ReadControlFile(ProblemRecord& record, const char* control_name) {
  record = ProblemRecord();
  std::string name = ControlFileName(control_name);
  std::string text;
  if (!ReadWholeFile(name, text)) return 1;
  ControlReader in(name, std::move(text));
  // "tarne.in" is written only once the whole file has been read.
  std::string list;
  if (!ReadSections(record, in, list) || !WriteReplacementList(list)) return 1;
  return 0;
}

void CountParameterTypes(ProblemRecord& record) {
  record.NUMADJ = record.NUMFIXED = record.NUMTIED = 0;
  record.frozen_count = record.no_effect_count = 0;
  record.NUMIW = 0;
  for (int i = 1; i <= record.NPAR; ++i) {
    Parameter& p = record.parameters[i];
    p.iw_flag = 0;
    p.iw_name[0] = '\0';
    if (IsTiedParameter(p)) {
      ++record.NUMTIED;
    } else if (IsFixedParameter(p)) {
      ++record.NUMFIXED;
    } else {
      ++record.NUMADJ;
      if (std::strncmp(p.PARNME, "iw_", 3) == 0) {
        p.iw_flag = 1;
        std::strcpy(p.iw_name, p.PARNME + 3);
        ++record.NUMIW;
      }
    }
  }
}

short SetTiedParameters(ProblemRecord& record) {
  for (int i = 1; i <= record.NPAR; ++i) {
    record.parameters[i].parent_index = 0;
    record.parameters[i].tie_ratio = 1.0;
  }
  if (record.NUMTIED <= 0) return 0;
  for (int i = 1; i <= record.NPAR; ++i) {
    Parameter& p = record.parameters[i];
    if (!IsTiedParameter(p)) continue;
    for (int m = 1; m <= record.NPAR; ++m) {
      const Parameter& parent = record.parameters[m];
      if (std::strcmp(parent.PARNME, p.PARTIED) != 0) continue;
      // A parent at zero would give an infinite ratio and carry nothing to its child.
      if (NaturalValue(parent) == 0.0) {
        std::printf("\nThe tied parameter %s cannot follow %s, whose value is zero.\n",
                    p.PARNME, parent.PARNME);
        return 1;
      }
      p.parent_index = m;
      p.tie_ratio = NaturalValue(p) / NaturalValue(parent);
      break;
    }
  }
  return 0;
}

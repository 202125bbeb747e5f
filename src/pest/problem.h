// The calibration problem read from a PEST control file, with the working fields of the
// Levenberg-Marquardt engine, and the tables of open template and instruction files.
// Filled by ReadControlFile and used by every routine of the Levenberg-Marquardt family.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Width of the plain text fields of the record, terminator included.
constexpr int kTextField = 100;
// Width of observation and observation-group names, terminator included.
constexpr int kObsNameField = 104;
// Width of a prior-information label, terminator included.
constexpr int kPriorLabelField = 24;
// Prior-information terms whose parameter names are kept.
constexpr int kMaxPriorTerms = 10;
// Open-file slots of the template and instruction tables.
constexpr int kMaxModelFiles = 25;
// Delimiters kept per template file.
constexpr int kMaxTemplateDelimiters = 10000;

struct ParameterGroup {
  char PARGPNME[kTextField] = {};
  char INCTYP[kTextField] = {};
  double DERINC = 0.0;
  double DERINCLB = 0.0;
  char FORCEN[kTextField] = {};
  double DERINCMUL = 0.0;
  char DERMTHD[kTextField] = {};
};

// What PARTRANS makes of a parameter, decided once when the control file is read.
enum class ParameterTransform { kNone, kLog, kFixed, kTied };

struct Parameter {
  char PARNME[kTextField] = {};
  char PARTRANS[kTextField] = {};
  ParameterTransform transform = ParameterTransform::kNone;  // the kind PARTRANS names
  char PARCHGLIM[kTextField] = {};
  double value = 0.0;           // PARVAL1, then the current value (log10 for "log")
  double previous_value = 0.0;  // the engine's value at the start of an iteration
  double perturbed1 = 0.0;      // first perturbed value of the Jacobian runs
  double perturbed2 = 0.0;      // second perturbed value of the Jacobian runs
  double PARLBND = 0.0;
  double PARUBND = 0.0;
  char PARGP[kTextField] = {};
  double SCALE = 0.0;
  double OFFSET = 0.0;
  int DERCOM = 0;
  char tie_line_name[kTextField] = {};
  char PARTIED[kTextField] = {};
  int parent_index = 0;  // 0 = none
  double tie_ratio = 1.0;
  int at_upper = 0;
  int at_lower = 0;
  int frozen = 0;            // engine: frozen on a bound for the rest of the iteration
  int no_effect = 0;         // engine: no effect on the observations
  double sensitivity = 0.0;  // engine: composite sensitivity
  int iw_flag = 0;
  char iw_name[kTextField] = {};
};

struct ObservationGroup {
  char OBGNME[kObsNameField] = {};
  double phi = 0.0;  // contribution to phi, written by the engine
};

// Slots of the simulated values, chosen by the caller of ReadModelOutput.
enum SimulatedSlot { kBaseSlot = 0, kFirstPerturbedSlot = 1, kSecondPerturbedSlot = 2 };

struct Observation {
  char OBSNME[kObsNameField] = {};
  double OBSVAL = 0.0;
  double simulated[3] = {0.0, 0.0, 0.0};  // indexed by SimulatedSlot
  double WEIGHT = 0.0;
  char OBGNME[kTextField] = {};
};

struct PriorItem {
  char PILBL[kPriorLabelField] = {};
  std::vector<double> factors;  // 1..num_terms
  char term_names[kMaxPriorTerms + 1][kTextField] = {};  // 1..10
  int num_terms = 0;
  double PIVAL = 0.0;
  double WEIGHT = 0.0;
  char OBGNME[kTextField] = {};
};

struct TemplateEntry {
  char TEMPFLE[kTextField] = {};
  char INFLE[kTextField] = {};
  std::vector<int> field_map;  // 1..field_count: index of the matching parameter, 0 = none
  int field_count = 0;
  std::vector<long> delimiter_positions;  // offset just past each delimiter, in file order
};

struct InstructionEntry {
  char INSFLE[kTextField] = {};
  char OUTFLE[kTextField] = {};
};

struct ProblemRecord {
  char first_line[kTextField] = {};
  char second_line[kTextField] = {};
  char RSTFLE[kTextField] = {};
  char PESTMODE[kTextField] = {};
  int NUMADJ = 0;
  int NUMFIXED = 0;
  int NUMTIED = 0;
  int frozen_count = 0;     // engine counter: parameters frozen in this iteration
  int no_effect_count = 0;  // engine counter: parameters without effect
  int NPAR = 0;
  int NOBS = 0;
  int NPARGP = 0;
  int NPRIOR = 0;
  int NOBSGP = 0;
  int NTPLFLE = 0;
  int NINSFLE = 0;
  char PRECIS[kTextField] = {};
  char DPOINT[kTextField] = {};
  int NUMCOM = 0;
  int JACFILE = 0;
  int MESSFILE = 0;
  double RLAMBDA1 = 0.0;
  double RLAMFAC = 0.0;
  double PHIRATSUF = 0.0;
  double PHIREDLAM = 0.0;
  int NUMLAM = 0;
  double RELPARMAX = 0.0;
  double FACPARMAX = 0.0;
  double FACORIG = 0.0;
  int ignored_integer = 0;
  double PHIREDSWH = 0.0;
  char ignored_word[kTextField] = {};
  int NOPTMAX = 0;
  double PHIREDSTP = 0.0;
  int NPHISTP = 0;
  int NPHINORED = 0;
  double RELPARSTP = 0.0;
  int NRELPAR = 0;
  int ICOV = 0;
  int ICOR = 0;
  int IEIG = 0;
  int SLMMODE = 0;
  int SLMFULLUPD = 0;
  double SLMFULLRAT = 0.0;
  int SLMNCOL = 0;
  double LSDISTMIN = 0.0;
  char PROJFLE[kTextField] = {};
  double PHIRATIO = 0.0;
  char section_line[kTextField] = {};
  int SVDMODE = 0;
  int MAXSING = 0;
  double EIGTHRESH = 0.0;
  int EIGWRITE = 0;

  // Arrays of count + 1 records; slot 0 is not used.
  std::vector<ParameterGroup> groups;
  std::vector<Parameter> parameters;
  std::vector<ObservationGroup> observation_groups;
  std::vector<Observation> observations;
  char PREBATCH[kTextField] = {};
  char POSTBATCH[kTextField] = {};
  std::vector<TemplateEntry> templates;
  std::vector<InstructionEntry> instructions;
  std::vector<PriorItem> priors;

  double PHIMLIM = 0.0;
  double PHIMACCEPT = 0.0;
  double FRACPHIM = 0.0;
  double WFCUR = 0.0;
  double WFINIT = 0.0;
  double WFMIN = 0.0;
  double WFMAX = 0.0;
  double WFFAC = 0.0;
  double WFTOL = 0.0;
  int NUMIW = 0;
};

class NameIndex;

// The fixed table of open template or instruction files: slot i (1..25) holds file i.
// Slots still open when the table is destroyed are closed.
struct FileHandleTable {
  FileHandleTable();
  ~FileHandleTable();
  FileHandleTable(const FileHandleTable&) = delete;
  FileHandleTable& operator=(const FileHandleTable&) = delete;
  void CloseAll();

  std::FILE* slot[kMaxModelFiles + 1] = {};

  // What the instruction reader learnt in earlier runs, so that a run of a large problem does
  // not look up every observation name again: the index of the observation names, and for
  // each instruction file the observations its names matched, in the order they stand,
  // valid while the instruction text and the observation names are those of the memo.
  struct InstructionMemo {
    std::string text;
    unsigned long long names_key = 0;
    std::vector<int> observations;
  };
  std::unique_ptr<NameIndex> name_index;
  unsigned long long name_index_key = 0;
  InstructionMemo memo[kMaxModelFiles + 1];
};

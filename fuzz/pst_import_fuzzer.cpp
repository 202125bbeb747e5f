// The standard control files tarne-pst imports. The input is the control file, optionally
// followed by files it names (the CSV files of the keyword layout), each after a NUL byte as
// its name, a line end and its content. A case the importer makes is then read by the
// toolbox's own reader, as tarne-pst does before it writes anything (it refuses a case the
// reader refuses): neither may crash, hang or read out of bounds.
#include <cstdint>
#include <filesystem>
#include <string>

#include "case_writer.h"
#include "fuzz_support.h"
#include "pest/control_file.h"
#include "standard_reader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterWorkingDirectory();
  return 0;
}

namespace {

// Writes the control file and the named files of the input into an emptied working
// directory (a file an earlier input left must not stand in for one this input lacks); false
// when a name is unusable.
bool WriteParts(const std::string& input) {
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    std::filesystem::remove_all(entry.path());
  }
  std::size_t end = input.find('\0');
  fuzz::WriteText("standard.pst", input.substr(0, end));
  while (end != std::string::npos) {
    const std::size_t start = end + 1;
    end = input.find('\0', start);
    const std::string part = input.substr(start, end == std::string::npos ? end : end - start);
    const std::size_t line_end = part.find('\n');
    if (line_end == std::string::npos) return false;
    const std::string name = part.substr(0, line_end);
    if (name.empty() || name.size() > 64 || name.find('/') != std::string::npos ||
        name == "." || name == ".." || name == "standard.pst" || name == "case.pst") {
      return false;
    }
    fuzz::WriteText(name.c_str(), part.substr(line_end + 1));
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!WriteParts(std::string(reinterpret_cast<const char*>(data), size))) return 0;
  pst::ImportedCase imported;
  try {
    const pst::StandardProblem problem = pst::ReadStandardControlFile("standard.pst");
    imported = pst::BuildCase(problem, "case.prj", pst::CaseOptions());
  } catch (const pst::ImportError&) {
    return 0;
  }
  fuzz::WriteText("case.pst", imported.control_text);
  ProblemRecord record;
  std::string replacement_list;
  static_cast<void>(ReadControlFile(record, "case.pst", replacement_list));
  return 0;
}

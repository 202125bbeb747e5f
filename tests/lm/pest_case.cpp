#include "lm/pest_case.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "support/test_support.h"

namespace lm_test {

namespace {

std::string Number(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

}  // namespace

std::string PestCase::ControlFileText() const {
  std::ostringstream out;
  out << "pcf\n* control data\n" << rstfle << " " << mode << "\n"
      << parameters.size() << " " << observations.size() << " " << groups.size() << " "
      << priors.size() << " " << observation_groups.size() << "\n"
      << "1 1 single point 1 0 0\n"
      << Number(rlambda1) << " " << Number(rlamfac) << " " << Number(phiratsuf) << " "
      << Number(phiredlam) << " " << numlam << "\n"
      << "5.0 5.0 0.001 0\n"
      << Number(phiredswh) << " noaui\n"
      << noptmax << " " << Number(phiredstp) << " " << nphistp << " " << nphinored << " "
      << Number(relparstp) << " " << nrelpar << "\n"
      << "0 0 0\n"
      << slmmode << " " << slmfullupd << " " << Number(slmfullrat) << " " << slmncol << " "
      << Number(lsdistmin) << "\n"
      << "model.prj\n* parameter groups\n";
  for (const CaseGroup& g : groups) {
    out << g.name << " relative 0.01 0.0 " << g.forcen << " 2.0 " << g.method << "\n";
  }
  out << "* parameter data\n";
  for (const CaseParameter& p : parameters) {
    out << p.name << " " << p.transform << " factor " << Number(p.value) << " "
        << Number(p.lower) << " " << Number(p.upper) << " " << p.group << " 1.0 0.0 1\n";
  }
  for (const CaseParameter& p : parameters) {
    if (p.transform == "tied") out << p.name << " " << p.tied_to << "\n";
  }
  out << "* observation groups\n";
  for (const std::string& g : observation_groups) out << g << "\n";
  out << "* observation data\n";
  for (size_t i = 0; i < observations.size(); ++i) {
    out << "o" << i + 1 << " " << Number(observations[i].value) << " "
        << Number(observations[i].weight) << " " << observations[i].group << "\n";
  }
  out << "* model command line\nnone ./post.sh\n* model input/output\n"
      << "model.tpl model.prj\nmodel.ins model.out\n* prior information\n";
  for (const std::string& line : priors) out << line << "\n";
  out << "* regularisation\n1.0e-10 1.05e-10 0.1\n1.0 1.0e-10 1.0e10\n1.3 1.0e-2\n";
  return out.str();
}

void PestCase::Write() const {
  using testing_support::WriteFile;
  WriteFile(name + ".pst", ControlFileText());
  std::string project = "kind external\noutput parameters.txt\nreplace tarne.in\n"
                        "values values.in\n";
  std::string templ = "ptf $\nkind external\noutput parameters.txt\nreplace tarne.in\n"
                      "values values.in\n";
  for (const CaseParameter& p : parameters) {
    project += "parameter " + p.name + " [" + p.name + "]\n";
    templ += "parameter " + p.name + " $" + p.name + "   $\n";
  }
  WriteFile("model.prj", project);
  WriteFile("model.tpl", templ);
  std::string format, arguments, instructions = "pif #\n";
  for (size_t i = 0; i < observations.size(); ++i) {
    format += "%.17g\\n";
    arguments += ", " + observations[i].expression;
    instructions += "l1 !o" + std::to_string(i + 1) + "!\n";
  }
  WriteFile("model.ins", instructions);
  WriteFile("post.sh", "#!/bin/sh\nawk '{ printf \"" + format + "\"" + arguments +
                           " }' values.in > model.out\n"
                           "cat values.in >> runs.txt\necho >> runs.txt\n" +
                           post_extra);
  std::filesystem::permissions("post.sh", std::filesystem::perms::owner_all);
}

std::vector<double> ParFileValues(const std::string& path) {
  std::vector<double> values;
  for (const std::string& line : testing_support::SplitLines(testing_support::ReadFile(path))) {
    if (!line.empty()) values.push_back(std::strtod(line.c_str(), nullptr));
  }
  return values;
}

long LastModelCalls(const std::string& text) {
  const std::string key = "Total Model Calls:\t";
  const size_t at = text.rfind(key);
  if (at == std::string::npos) return -1;
  return std::strtol(text.c_str() + at + key.size(), nullptr, 10);
}

int Occurrences(const std::string& haystack, const std::string& text) {
  int count = 0;
  for (size_t at = haystack.find(text); at != std::string::npos;
       at = haystack.find(text, at + text.size())) {
    ++count;
  }
  return count;
}

}  // namespace lm_test

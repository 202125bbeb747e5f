#include "mpi/mpi_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::RunResult;
using testing_support::SourcePath;

namespace mpi_testing {

RunResult Mpirun(const std::vector<std::vector<std::string>>& apps) {
#ifdef TARNE_MPIEXEC
  const std::string mpiexec = TARNE_MPIEXEC;
#else
  const std::string mpiexec = "mpirun";
#endif
  std::vector<std::string> args = {"--timeout", "120", "--oversubscribe", "--bind-to", "none",
                                   "--mca", "pml", "ob1", "--mca", "btl", "self,vader",
                                   "--mca", "btl_vader_single_copy_mechanism", "none",
                                   "--mca", "oob_tcp_if_include", "lo"};
  if (geteuid() == 0) args.push_back("--allow-run-as-root");
  for (std::size_t i = 0; i < apps.size(); ++i) {
    if (i > 0) args.push_back(":");
    args.insert(args.end(), apps[i].begin(), apps[i].end());
  }
  return RunProgram(mpiexec, args);
}

RunResult TarneOn(int processes, const std::vector<std::string>& args) {
  std::vector<std::string> app = {"-np", std::to_string(processes), TARNE_BINARY};
  app.insert(app.end(), args.begin(), args.end());
  return Mpirun({app});
}

RunResult TarneIn(const std::string& dir, int processes, const std::vector<std::string>& args) {
  const fs::path back = fs::current_path();
  fs::current_path(dir);
  const RunResult result =
      processes == 0 ? testing_support::RunTarne(args) : TarneOn(processes, args);
  fs::current_path(back);
  return result;
}

RunResult TarneInEach(const std::vector<std::string>& dirs, const std::vector<std::string>& args) {
  std::vector<std::vector<std::string>> apps;
  for (const std::string& dir : dirs) {
    apps.push_back({"-np", "1", "-wdir", fs::absolute(dir).string(), TARNE_BINARY});
    apps.back().insert(apps.back().end(), args.begin(), args.end());
  }
  return Mpirun(apps);
}

void CopyExample(const std::string& example, const std::string& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const auto& entry : fs::directory_iterator(SourcePath("examples/" + example))) {
    fs::copy_file(entry.path(), fs::path(dir) / entry.path().filename());
  }
}

std::string KillTarneWhen(const std::string& where, const std::string& when) {
  return "n=$(cat count 2>/dev/null || echo 0); n=$((n + 1)); echo $n > count\n"
         "case \"$PWD\" in " + where + ")\n"
         "  if " + when + "; then pid=$$\n"
         "    while [ \"$pid\" -gt 1 ]; do\n"
         "      pid=$(cut -d' ' -f4 /proc/$pid/stat)\n"
         "      if [ \"$(cat /proc/$pid/comm)\" = tarne ]; then kill -9 $pid; break; fi\n"
         "    done\n"
         "  fi;;\n"
         "esac\n";
}

long CountOf(const std::string& text, const std::string& part) {
  long count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

std::string Describe(const RunResult& r) {
  return "exit " + std::to_string(r.exit_code) + "\n--- stdout\n" + r.out + "\n--- stderr\n" +
         r.err;
}

void ExpectSameFiles(const std::string& expected_dir, const std::string& actual_dir) {
  const auto expected = testing_support::RegularFiles(expected_dir),
             actual = testing_support::RegularFiles(actual_dir);
  std::string names, other_names;
  for (const auto& [name, content] : expected) names += name + " ";
  for (const auto& [name, content] : actual) other_names += name + " ";
  EXPECT_EQ(other_names, names);
  for (const auto& [name, content] : expected) {
    const auto it = actual.find(name);
    if (it != actual.end()) {
      EXPECT_TRUE(it->second == content) << name << " differs";
    }
  }
}

}  // namespace mpi_testing

#include "support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
  previous_ = fs::current_path().string();
  std::string pattern = (fs::temp_directory_path() / "tarne_test_XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
  fs::current_path(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  fs::remove_all(path_, ignored);
}

namespace {

// Moves everything between the child's pipes and our strings without deadlocking on a
// child that writes more than a pipe holds before reading its input.
void PumpPipes(int in_fd, const std::string& input, int out_fd, int err_fd, RunResult& result) {
  size_t written = 0;
  if (input.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  char buffer[65536];
  while (out_fd >= 0 || err_fd >= 0) {
    pollfd fds[3];
    int count = 0;
    int in_index = -1, out_index = -1, err_index = -1;
    if (in_fd >= 0) { in_index = count; fds[count++] = {in_fd, POLLOUT, 0}; }
    if (out_fd >= 0) { out_index = count; fds[count++] = {out_fd, POLLIN, 0}; }
    if (err_fd >= 0) { err_index = count; fds[count++] = {err_fd, POLLIN, 0}; }
    if (poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (in_index >= 0 && fds[in_index].revents != 0) {
      ssize_t n = write(in_fd, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 || written == input.size()) { close(in_fd); in_fd = -1; }
    }
    if (out_index >= 0 && fds[out_index].revents != 0) {
      ssize_t n = read(out_fd, buffer, sizeof buffer);
      if (n > 0) result.out.append(buffer, static_cast<size_t>(n));
      else { close(out_fd); out_fd = -1; }
    }
    if (err_index >= 0 && fds[err_index].revents != 0) {
      ssize_t n = read(err_fd, buffer, sizeof buffer);
      if (n > 0) result.err.append(buffer, static_cast<size_t>(n));
      else { close(err_fd); err_fd = -1; }
    }
  }
  if (in_fd >= 0) close(in_fd);
}

}  // namespace

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& stdin_text,
                     const std::map<std::string, std::string>& env) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
    throw std::runtime_error("pipe failed");
  signal(SIGPIPE, SIG_IGN);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
      close(fd);
    for (const auto& [name, value] : env) {
      if (value == "\x01unset") unsetenv(name.c_str());
      else setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  RunResult result;
  PumpPipes(in_pipe[1], stdin_text, out_pipe[0], err_pipe[0], result);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) result.exit_code = 128 + WTERMSIG(status);
  return result;
}

RunResult RunTarne(const std::vector<std::string>& args, const std::string& stdin_text) {
  return RunProgram(TARNE_BINARY, args, stdin_text);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool FileExists(const std::string& path) { return fs::exists(path); }

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string SourcePath(const std::string& relative) {
  return (fs::path(TARNE_SOURCE_DIR) / relative).string();
}

void CopyIntoCwd(const std::string& source) {
  fs::path from(source);
  fs::path to = fs::current_path() / from.filename();
  if (fs::is_directory(from))
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  else
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

std::vector<std::string> TabFields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  return fields;
}

void WriteRosenbrockInput() {
  WriteFile("rosen.prj", "kind function\nfunction rosenbrock\nparameter x1 [x1]\n"
                         "parameter x2 [x2]\n");
  WriteFile("names.lst", "2\n[x1] \"%16.8lf\"\n[x2] \"%16.8lf\"\n");
  WriteFile("obs.txt", "");
  WriteFile("mc.in", "rosen.prj\nnames.lst\nobs.txt\n2\n-2 2\n-2 2\n");
}

std::map<std::string, std::string> RegularFiles(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file() && !entry.is_symlink()) {
      files[entry.path().lexically_relative(dir).string()] = ReadFile(entry.path().string());
    }
  }
  return files;
}

std::string KillTarneAboveLines() {
  return "pid=$$\n"
         "while [ \"$pid\" -gt 1 ]; do\n"
         "  pid=$(cut -d' ' -f4 /proc/$pid/stat)\n"
         "  if [ \"$(cat /proc/$pid/comm)\" = tarne ]; then kill -9 $pid; break; fi\n"
         "done\n";
}

}  // namespace testing_support

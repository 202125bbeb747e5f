// The web start as a web server really calls it: tarneweb served as a CGI program by a
// Python http.server on a free loopback port, and called by curl with POSTed form data.
// Skips with a message when no such server can be started here. Passes as root (the server
// then runs the program as "nobody") and as any other user, wherever the build tree lies.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::RunProgram;
using testing_support::RunResult;
using testing_support::TempDir;

// Longest wait for the server to report its port, and for one request.
constexpr int kServerStartSeconds = 15;
const char* const kCurlMaxTime = "20";

const char* FindProgram(const std::vector<const char*>& candidates) {
  for (const char* path : candidates)
    if (access(path, X_OK) == 0) return path;
  return nullptr;
}

// A Python CGI web server serving the current directory on 127.0.0.1, stopped on
// destruction. port() is 0 when it could not be started; why() then says why.
class CgiServer {
 public:
  CgiServer() { Start(); }
  ~CgiServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    if (out_fd_ >= 0) close(out_fd_);
  }
  CgiServer(const CgiServer&) = delete;
  CgiServer& operator=(const CgiServer&) = delete;
  int port() const { return port_; }
  const std::string& why() const { return why_; }

 private:
  void Start() {
    const char* python = FindProgram({"/usr/bin/python3", "/usr/local/bin/python3"});
    if (python == nullptr) {
      why_ = "python3 not found";
      return;
    }
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) {
      why_ = "pipe failed";
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipe_fds[1], 1);
      const int null_fd = open("/dev/null", O_RDWR);
      dup2(null_fd, 0);
      dup2(null_fd, 2);
      close(pipe_fds[0]);
      close(pipe_fds[1]);
      execl(python, python, "-u", "-m", "http.server", "--cgi", "--bind", "127.0.0.1", "0",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipe_fds[1]);
    out_fd_ = pipe_fds[0];
    if (pid_ < 0) {
      why_ = "fork failed";
      return;
    }
    ReadPort();
  }

  // The server's first line names the port it bound: "Serving HTTP on 127.0.0.1 port N".
  void ReadPort() {
    std::string text;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(kServerStartSeconds);
    const std::regex port_line("port ([0-9]+)");
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd fd{out_fd_, POLLIN, 0};
      if (poll(&fd, 1, 200) <= 0) continue;
      char buffer[256];
      const ssize_t n = read(out_fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
      std::smatch match;
      if (std::regex_search(text, match, port_line)) {
        port_ = std::atoi(match[1].str().c_str());
        return;
      }
    }
    why_ = "python3 -m http.server --cgi did not start: " + text;
  }

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int port_ = 0;
  std::string why_;
};

class WebCgi : public testing::Test {
 protected:
  void SetUp() override {
    curl_ = FindProgram({"/usr/bin/curl", "/usr/local/bin/curl"});
    if (curl_ == nullptr) GTEST_SKIP() << "curl not found: the CGI start cannot be tested here";
    // A server started as root runs its CGI programs as an unprivileged user, who may not
    // reach the build tree (a checkout in a private directory): the program is copied into
    // this test's own directory, which everyone may read, under a name that holds "web".
    chmod(dir_.path().c_str(), 0755);
    fs::create_directory("cgi-bin");
    chmod("cgi-bin", 0755);
    fs::copy_file(TARNE_WEB_BINARY, "cgi-bin/tarneweb");
    chmod("cgi-bin/tarneweb", 0755);
    server_ = std::make_unique<CgiServer>();
    if (server_->port() == 0)
      GTEST_SKIP() << "no CGI web server could be started on loopback: " << server_->why();
  }

  // The reply body to a POST of form_data (extra curl arguments before the URL).
  std::string Post(const std::string& form_data, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"-s", "--max-time", kCurlMaxTime};
    if (!form_data.empty()) {
      WriteFileForCurl(form_data);
      args.insert(args.end(), {"--data-binary", "@form.txt"});
    }
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("http://127.0.0.1:" + std::to_string(server_->port()) +
                   "/cgi-bin/tarneweb?nosuch.prj");
    RunResult r = RunProgram(curl_, args);
    EXPECT_EQ(r.exit_code, 0) << "curl failed: " << r.err;
    return r.out;
  }

  static void WriteFileForCurl(const std::string& data) {
    testing_support::WriteFile("form.txt", data);
  }

  // The text between the web preamble and the first mode output.
  static std::string Echo(const std::string& body) {
    const std::string head =
        "<title>TARNE Test Case</title><body><P> Web version of TARNE (8.0.016) with SCE "
        "starting...</P><P>";
    EXPECT_EQ(body.compare(0, head.size(), head), 0) << body;
    EXPECT_GE(body.size(), 12u);
    EXPECT_EQ(body.substr(body.size() - 12), "</P></body>\n") << body;
    return body.size() < head.size() ? body : body.substr(head.size());
  }

  TempDir dir_;
  const char* curl_ = nullptr;
  std::unique_ptr<CgiServer> server_;
};

const std::string kFormError = "<P>Error in invocation - wrong FORM probably.";

TEST_F(WebCgi, PostedFormDataIsDecodedAndEchoed) {
  const std::string echo = Echo(Post("a%41b+c"));
  EXPECT_EQ(echo.substr(0, 5), "aAb c") << echo;
  EXPECT_EQ(Echo(Post("%zz")).substr(0, 1), "?");
  EXPECT_EQ(Echo(Post("xy%4")).substr(0, 3), "xy?");
}

TEST_F(WebCgi, AThousandAndTwentyFourBytesAreEchoedWhole) {
  std::string data;
  for (int i = 0; i < 1024; ++i) data.push_back(static_cast<char>('A' + i % 26));
  const std::string echo = Echo(Post(data));
  EXPECT_EQ(echo.substr(0, 1024), data);
  EXPECT_EQ(echo.find(kFormError), std::string::npos);
}

TEST_F(WebCgi, MissingNonNumericOrTooLargeContentLengthIsReported) {
  EXPECT_EQ(Echo(Post("")).substr(0, kFormError.size()), kFormError);  // a GET: no length
  EXPECT_EQ(Echo(Post(std::string(1025, 'x'))).substr(0, kFormError.size()), kFormError);
  EXPECT_EQ(Echo(Post("abc", {"-H", "Content-Length: abc"})).substr(0, kFormError.size()),
            kFormError);
}

}  // namespace

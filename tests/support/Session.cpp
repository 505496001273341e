#include "tests/support/Session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <thread>
#include <utility>

namespace korvalen::test {

namespace {

// Reads one line from `fd` (closed afterwards), waiting at most 15 seconds.
std::string ReadLine(int fd) {
  std::string line;
  pollfd pfd{fd, POLLIN, 0};
  char c = 0;
  while (::poll(&pfd, 1, 15000) == 1 && ::read(fd, &c, 1) == 1 && c != '\n') {
    line += c;
  }
  ::close(fd);
  return line;
}

}  // namespace

TScopedEnv::TScopedEnv(const char* name, const std::optional<std::string>& value) : FName(name) {
  if (const char* old = std::getenv(name)) {
    FOld = old;
  }
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

TScopedEnv::~TScopedEnv() {
  if (FOld) {
    ::setenv(FName.c_str(), FOld->c_str(), 1);
  } else {
    ::unsetenv(FName.c_str());
  }
}

bool OnPath(const char* program) {
  const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

TChild::TChild(const std::vector<std::string>& argv, int keepFd) {
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  const pid_t parent = ::getpid();
  FPid = ::fork();
  if (FPid == 0) {
    // Never outlive the test, even when it crashes; the parent may already
    // be gone before the tie is made.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
      ::_exit(127);
    }
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    if (keepFd >= 0) {
      ::fcntl(keepFd, F_SETFD, 0);
    }
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
}

TChild::TChild(TChild&& other) noexcept : FPid(std::exchange(other.FPid, -1)) {}

TChild& TChild::operator=(TChild&& other) noexcept {
  if (this != &other) {
    TChild ended(std::move(*this));
    FPid = std::exchange(other.FPid, -1);
  }
  return *this;
}

TChild::~TChild() {
  if (FPid > 0) {
    ::kill(FPid, SIGTERM);
    ::waitpid(FPid, nullptr, 0);
  }
}

TPrivateRuntimeDir::TPrivateRuntimeDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "korvalen-run-XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) {
    FPath = pattern;
    FEnv.emplace("XDG_RUNTIME_DIR", FPath.string());
  }
}

TPrivateRuntimeDir::~TPrivateRuntimeDir() {
  FEnv.reset();
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

TPrivateSessionBus::TPrivateSessionBus() {
  std::array<int, 2> fds{};
  std::string address;
  if (::pipe2(fds.data(), O_CLOEXEC) == 0) {
    FDaemon = TChild(
        {"dbus-daemon", "--session", "--nofork", "--print-address=" + std::to_string(fds[1])},
        fds[1]);
    ::close(fds[1]);
    address = ReadLine(fds[0]);
  }
  FRunning = !address.empty();
  FEnv.emplace("DBUS_SESSION_BUS_ADDRESS",
               FRunning ? address : std::string("unix:path=/nonexistent/korvalen-test-bus"));
}

TPrivateXServer::TPrivateXServer(TXServerOptions options) {
  std::array<int, 2> fds{};
  if (::pipe2(fds.data(), O_CLOEXEC) != 0) {
    return;
  }
  // No reset when the last client leaves: one connecting meanwhile is refused.
  std::vector<std::string> argv = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                   "-nolisten", "tcp",        "-noreset"};
  for (int screen = 0; screen < options.Screens; ++screen) {
    argv.insert(argv.end(), {"-screen", std::to_string(screen), "1024x768x24"});
  }
  FXvfb = TChild(argv, fds[1]);
  ::close(fds[1]);
  const std::string number = ReadLine(fds[0]);
  if (number.empty()) {
    return;
  }
  FDisplay = ":" + number;
  FEnv.emplace("DISPLAY", FDisplay);
  if (options.WindowManager) {
    // _NET_SUPPORTING_WM_CHECK appears before openbox handles map requests;
    // its start-up command runs once it does.
    std::string ready = (std::filesystem::temp_directory_path() / "korvalen-wm-XXXXXX").string();
    const int fd = ::mkstemp(ready.data());
    if (fd < 0) {
      return;
    }
    ::close(fd);
    ::unlink(ready.c_str());
    FWindowManager = TChild({"openbox", "--sm-disable", "--startup", "touch " + ready});
    const bool started =
        Eventually([&] { return ::access(ready.c_str(), F_OK) == 0; }, std::chrono::seconds(15));
    ::unlink(ready.c_str());
    if (!started) {
      return;
    }
  }
  FReady = true;
}

}  // namespace korvalen::test

#pragma once

// What the tests that need a piece of a desktop session share: a private
// runtime folder, a private session bus, a private X server (with a window
// manager where one matters), and the environment to reach them. Each sets
// its variable for its lifetime and puts the old value back; each process
// it starts dies with the test, even when the test crashes.
//
//   TPrivateXServer display({.Screens = 2, .WindowManager = true});
//   ASSERT_TRUE(display.Ready());  // DISPLAY names it, screen 0
//   TX11 x = TX11::Open();

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvalen::test {

// Sets (or, given nothing, clears) an environment variable for its lifetime
// and restores the old value.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::optional<std::string>& value);
  ~TScopedEnv();
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  std::string FName;
  std::optional<std::string> FOld;
};

// Whether `program` is on PATH.
bool OnPath(const char* program);

// Polls `condition` until it holds or `timeout` has passed; its last answer.
bool Eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(5));

// A child process that is killed (TERM) and reaped with this object, and
// killed by the kernel if the test dies first. Its output goes to
// /dev/null; `keepFd` stays open in it.
class TChild {
 public:
  TChild() = default;
  explicit TChild(const std::vector<std::string>& argv, int keepFd = -1);
  TChild(TChild&& other) noexcept;
  TChild& operator=(TChild&& other) noexcept;
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;
  ~TChild();
  pid_t Pid() const noexcept { return FPid; }

 private:
  pid_t FPid = -1;
};

// A fresh folder of mode 0700 as XDG_RUNTIME_DIR, removed with its content.
class TPrivateRuntimeDir {
 public:
  TPrivateRuntimeDir();
  ~TPrivateRuntimeDir();
  TPrivateRuntimeDir(const TPrivateRuntimeDir&) = delete;
  TPrivateRuntimeDir& operator=(const TPrivateRuntimeDir&) = delete;
  const std::filesystem::path& Path() const noexcept { return FPath; }

 private:
  std::filesystem::path FPath;
  std::optional<TScopedEnv> FEnv;
};

// A dbus-daemon of its own as DBUS_SESSION_BUS_ADDRESS. Without one
// (dbus-daemon missing or failing) the address names no bus, so nothing
// reaches or starts a bus of the machine's.
class TPrivateSessionBus {
 public:
  TPrivateSessionBus();
  bool Running() const noexcept { return FRunning; }

 private:
  TChild FDaemon;
  bool FRunning = false;
  std::optional<TScopedEnv> FEnv;
};

struct TXServerOptions {
  int Screens = 1;
  // openbox, started and managing before the server counts as ready.
  bool WindowManager = false;
};

// Xvfb on a display it picks itself, without TCP, as DISPLAY (screen 0).
class TPrivateXServer {
 public:
  explicit TPrivateXServer(TXServerOptions options = {});
  bool Ready() const noexcept { return FReady; }
  // ":N", without a screen.
  const std::string& Display() const noexcept { return FDisplay; }

 private:
  TChild FXvfb;
  TChild FWindowManager;
  std::string FDisplay;
  bool FReady = false;
  std::optional<TScopedEnv> FEnv;
};

}  // namespace korvalen::test

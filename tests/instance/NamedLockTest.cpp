#include "platform/instance/NamedLock.h"
#include "tests/support/Session.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korvalen {
namespace {

namespace fs = std::filesystem;

using test::TScopedEnv;

// A fresh temporary tree per test: "runtime" plays $XDG_RUNTIME_DIR and
// "tmp" plays $TMPDIR, so no test touches the real ones.
class NamedLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korvalen-locktest-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    FRoot = pattern;
    fs::create_directory(Runtime());
    fs::permissions(Runtime(), fs::perms::owner_all);
    fs::create_directory(Tmp());
    FXdg.emplace("XDG_RUNTIME_DIR", Runtime().string());
    FTmp.emplace("TMPDIR", Tmp().string());
  }
  void TearDown() override {
    FXdg.reset();
    FTmp.reset();
    std::error_code ignored;
    fs::remove_all(FRoot, ignored);
  }

  fs::path Runtime() const { return FRoot / "runtime"; }
  fs::path Tmp() const { return FRoot / "tmp"; }
  fs::path RuntimeLocks() const { return Runtime() / "korvalen"; }
  fs::path TmpLocks() const { return Tmp() / ("korvalen-" + std::to_string(::geteuid())); }
  void UseRuntime(const std::optional<std::string>& value) {
    FXdg.reset();
    FXdg.emplace("XDG_RUNTIME_DIR", value);
  }
  void UseTmp(const std::optional<std::string>& value) {
    FTmp.reset();
    FTmp.emplace("TMPDIR", value);
  }
  // Every entry below the test's root, for proving nothing landed elsewhere.
  std::vector<fs::path> AllEntries() const {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::recursive_directory_iterator(FRoot)) {
      entries.push_back(entry.path());
    }
    return entries;
  }

  fs::path FRoot;
  std::optional<TScopedEnv> FXdg;
  std::optional<TScopedEnv> FTmp;
};

// Claims `name` in a child process and reports what the child saw: 'C'
// created, 'E' already exists, 'F' failed.
char ClaimInChild(const std::string& name) {
  std::array<int, 2> fds{};
  EXPECT_EQ(::pipe(fds.data()), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const TNamedLockResult r = CreateNamedLock(name);
    const char c = !r.Handle.IsOpen() ? 'F' : r.AlreadyExists ? 'E' : 'C';
    (void)!::write(fds[1], &c, 1);
    ::_exit(0);
  }
  ::close(fds[1]);
  char c = '?';
  EXPECT_EQ(::read(fds[0], &c, 1), 1);
  ::close(fds[0]);
  ::waitpid(pid, nullptr, 0);
  return c;
}

TEST_F(NamedLockTest, IsCreatedFoundTakenAndFreedOnRelease) {
  TNamedLockResult first = CreateNamedLock("Converter");
  ASSERT_TRUE(first.Handle.IsOpen()) << first.Error;
  EXPECT_TRUE(first.Handle.OwnsClaim());
  EXPECT_FALSE(first.AlreadyExists);
  EXPECT_TRUE(first.Error.empty());
  EXPECT_EQ(fs::path(first.Handle.Path()), RuntimeLocks() / "Converter.lock");
  EXPECT_EQ(fs::status(RuntimeLocks()).permissions(), fs::perms::owner_all);

  // Another open file description conflicts like another process does.
  TNamedLockResult second = CreateNamedLock("Converter");
  EXPECT_TRUE(second.Handle.IsOpen());
  EXPECT_FALSE(second.Handle.OwnsClaim());
  EXPECT_TRUE(second.AlreadyExists);
  EXPECT_EQ(ClaimInChild("Converter"), 'E');

  // Other names, case included, are other objects.
  EXPECT_EQ(ClaimInChild("Converter2"), 'C');
  EXPECT_EQ(ClaimInChild("converter"), 'C');

  // The later handle carries no claim: dropping it changes nothing.
  second.Handle.Release();
  EXPECT_EQ(ClaimInChild("Converter"), 'E');

  first.Handle.Release();
  first.Handle.Release();
  EXPECT_FALSE(first.Handle.IsOpen());
  EXPECT_FALSE(first.Handle.OwnsClaim());
  EXPECT_TRUE(first.Handle.Path().empty());
  EXPECT_EQ(ClaimInChild("Converter"), 'C');
}

TEST_F(NamedLockTest, MovedHandleKeepsTheClaim) {
  TNamedLock kept;
  {
    TNamedLockResult r = CreateNamedLock("Converter");
    kept = std::move(r.Handle);
  }
  EXPECT_TRUE(kept.IsOpen());
  EXPECT_EQ(ClaimInChild("Converter"), 'E');
  kept = TNamedLock();
  EXPECT_EQ(ClaimInChild("Converter"), 'C');
}

TEST_F(NamedLockTest, EmptyNameIsAnUnnamedObject) {
  TNamedLockResult a = CreateNamedLock("");
  TNamedLockResult b = CreateNamedLock("");
  EXPECT_TRUE(a.Handle.IsOpen());
  EXPECT_TRUE(b.Handle.IsOpen());
  EXPECT_FALSE(a.AlreadyExists);
  EXPECT_FALSE(b.AlreadyExists);
  EXPECT_TRUE(a.Handle.Path().empty());
  EXPECT_EQ(AllEntries().size(), 2u) << "only runtime/ and tmp/ may exist";
}

// Eight claimants released together: with flock's atomic test-and-set,
// exactly one wins however the scheduler interleaves them. More processes
// than cores make the interleaving real on a two-core machine.
TEST_F(NamedLockTest, ExactlyOneOfEightSimultaneousStartsGetsTheName) {
  constexpr int kProcesses = 8;
  std::array<int, 2> go{}, hold{}, results{};
  ASSERT_EQ(::pipe(go.data()), 0);
  ASSERT_EQ(::pipe(hold.data()), 0);
  ASSERT_EQ(::pipe(results.data()), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < kProcesses; ++i) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(go[1]);
      ::close(hold[1]);
      ::close(results[0]);
      char c;
      (void)!::read(go[0], &c, 1);  // returns at EOF, when the parent lets all go
      const TNamedLockResult r = CreateNamedLock("Converter");
      c = !r.Handle.IsOpen() ? 'F' : r.AlreadyExists ? 'E' : 'C';
      (void)!::write(results[1], &c, 1);
      (void)!::read(hold[0], &c, 1);  // keep the claim until every child has reported
      ::_exit(0);
    }
    children.push_back(pid);
  }
  ::close(go[0]);
  ::close(hold[0]);
  ::close(results[1]);
  ::close(go[1]);
  std::string seen;
  char c;
  while (seen.size() < kProcesses && ::read(results[0], &c, 1) == 1) {
    seen += c;
  }
  ::close(hold[1]);
  ::close(results[0]);
  for (const pid_t pid : children) {
    ::waitpid(pid, nullptr, 0);
  }
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(kProcesses));
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 'C'), 1) << seen;
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 'E'), kProcesses - 1) << seen;
}

TEST_F(NamedLockTest, KilledHolderLeavesNoStaleClaim) {
  std::array<int, 2> ready{};
  ASSERT_EQ(::pipe(ready.data()), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(ready[0]);
    const TNamedLockResult r = CreateNamedLock("Converter");
    const char c = r.AlreadyExists ? 'E' : 'C';
    (void)!::write(ready[1], &c, 1);
    for (;;) {
      ::pause();
    }
  }
  ::close(ready[1]);
  char c = '?';
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ::close(ready[0]);
  EXPECT_EQ(c, 'C');
  EXPECT_TRUE(CreateNamedLock("Converter").AlreadyExists);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  const TNamedLockResult after = CreateNamedLock("Converter");
  EXPECT_TRUE(after.Handle.IsOpen());
  EXPECT_FALSE(after.AlreadyExists);
}

// A program started while the claim is held (the browser the welcome window
// opens) must not keep the name alive after the program ends.
TEST_F(NamedLockTest, ProgramsStartedByTheHolderDoNotInheritTheClaim) {
  std::array<int, 2> started{};
  ASSERT_EQ(::pipe(started.data()), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    ::close(started[0]);
    const TNamedLockResult r = CreateNamedLock("Converter");
    // Between fork and exec every descriptor is still shared; this pipe
    // closes at the exec, which is the moment that counts.
    std::array<int, 2> exec{};
    (void)!::pipe2(exec.data(), O_CLOEXEC);
    const pid_t program = ::fork();
    if (program == 0) {
      ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(exec[1]);
    char none;
    (void)!::read(exec[0], &none, 1);
    (void)!::write(started[1], &program, sizeof program);
    ::_exit(r.Handle.IsOpen() && !r.AlreadyExists ? 0 : 1);
  }
  ::close(started[1]);
  pid_t program = -1;
  ASSERT_EQ(::read(started[0], &program, sizeof program), static_cast<ssize_t>(sizeof program));
  ::close(started[0]);
  int status = 0;
  ::waitpid(holder, &status, 0);
  const TNamedLockResult after = CreateNamedLock("Converter");
  ::kill(program, SIGKILL);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(after.AlreadyExists) << "the claim went along to the started program";
}

TEST_F(NamedLockTest, FallsBackToThePrivateTmpFolderWhenTheRuntimeFolderIsUnfit) {
  struct TRow {
    const char* Label;
    std::optional<std::string> Runtime;  // nullopt: unset
    fs::perms RuntimeMode;
  };
  const std::vector<TRow> rows = {
      {"unset", std::nullopt, fs::perms::owner_all},
      {"empty", std::string(), fs::perms::owner_all},
      {"relative", std::string("runtime"), fs::perms::owner_all},
      {"missing", (FRoot / "absent").string(), fs::perms::owner_all},
      {"group writable", Runtime().string(), fs::perms::owner_all | fs::perms::group_write},
      {"others writable", Runtime().string(), fs::perms::owner_all | fs::perms::others_all},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Label);
    fs::permissions(Runtime(), row.RuntimeMode);
    UseRuntime(row.Runtime);
    const TNamedLockResult r = CreateNamedLock("Converter");
    ASSERT_TRUE(r.Handle.IsOpen()) << r.Error;
    EXPECT_EQ(fs::path(r.Handle.Path()), TmpLocks() / "Converter.lock");
    EXPECT_EQ(fs::symlink_status(TmpLocks()).permissions(), fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(RuntimeLocks()));
  }
}

TEST_F(NamedLockTest, RuntimeFolderOwnedBySomeoneElseIsNotUsed) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "needs root to give a folder away";
  }
  ASSERT_EQ(::chown(Runtime().c_str(), 65534, 65534), 0);
  const TNamedLockResult r = CreateNamedLock("Converter");
  ASSERT_TRUE(r.Handle.IsOpen()) << r.Error;
  EXPECT_EQ(fs::path(r.Handle.Path()), TmpLocks() / "Converter.lock");
}

TEST_F(NamedLockTest, UnsafeFallbackFolderIsRefused) {
  struct TRow {
    const char* Label;
    void (*Plant)(const fs::path& folder, const fs::path& elsewhere);
    bool NeedsRoot;
  };
  const std::vector<TRow> rows = {
      {"symbolic link",
       [](const fs::path& folder, const fs::path& elsewhere) {
         fs::create_directory(elsewhere);
         fs::permissions(elsewhere, fs::perms::owner_all);
         fs::create_directory_symlink(elsewhere, folder);
       },
       false},
      {"readable by others",
       [](const fs::path& folder, const fs::path&) {
         fs::create_directory(folder);
         fs::permissions(folder,
                         fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
       },
       false},
      {"writable by all",
       [](const fs::path& folder, const fs::path&) {
         fs::create_directory(folder);
         fs::permissions(folder, fs::perms::all);
       },
       false},
      {"a plain file",
       [](const fs::path& folder, const fs::path&) {
         std::FILE* f = std::fopen(folder.c_str(), "w");
         std::fclose(f);
       },
       false},
      {"owned by someone else",
       [](const fs::path& folder, const fs::path&) {
         fs::create_directory(folder);
         fs::permissions(folder, fs::perms::owner_all);
         (void)!::chown(folder.c_str(), 65534, 65534);
       },
       true},
  };
  UseRuntime(std::nullopt);
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Label);
    if (row.NeedsRoot && ::geteuid() != 0) {
      continue;
    }
    const fs::path elsewhere = FRoot / "elsewhere";
    row.Plant(TmpLocks(), elsewhere);
    const TNamedLockResult r = CreateNamedLock("Converter");
    EXPECT_FALSE(r.Handle.IsOpen());
    EXPECT_FALSE(r.AlreadyExists);
    EXPECT_EQ(r.Error.rfind(TmpLocks().string() + ": ", 0), 0u) << r.Error;
    EXPECT_FALSE(fs::exists(elsewhere / "Converter.lock"));
    fs::remove_all(TmpLocks());
    fs::remove_all(elsewhere);
  }
}

TEST_F(NamedLockTest, NoUsableFolderIsAFailureWithTheSystemReason) {
  UseRuntime((FRoot / "absent-runtime").string());
  UseTmp((FRoot / "absent-tmp").string());
  const TNamedLockResult r = CreateNamedLock("Converter");
  EXPECT_FALSE(r.Handle.IsOpen());
  EXPECT_FALSE(r.AlreadyExists);
  const fs::path folder = FRoot / "absent-tmp" / ("korvalen-" + std::to_string(::geteuid()));
  EXPECT_EQ(r.Error, folder.string() + ": No such file or directory");
}

TEST(LockFileName, EncodesEverythingThatCouldLeaveTheFolder) {
  struct TRow {
    std::string Name;
    std::string File;
  };
  const std::vector<TRow> rows = {
      {"Converter", "Converter.lock"},
      {"my-app_2.0", "my-app_2.0.lock"},
      {"a/../b", "a%2F..%2Fb.lock"},
      {"/etc/passwd", "%2Fetc%2Fpasswd.lock"},
      {".", "%2E.lock"},
      {"..", "%2E..lock"},
      {".hidden", "%2Ehidden.lock"},
      {std::string("a\0b", 3), "a%00b.lock"},
      {"tab\there\n", "tab%09here%0A.lock"},
      {"100%", "100%25.lock"},
      {"a%2Fb", "a%252Fb.lock"},
      {"Zürich", "Z%C3%BCrich.lock"},
      {"two words", "two%20words.lock"},
  };
  for (const TRow& row : rows) {
    EXPECT_EQ(LockFileName(row.Name), row.File) << row.Name;
  }
}

TEST(LockFileName, LongNamesStayShortAndDistinct) {
  const std::string a(1000, 'a');
  const std::vector<std::string> names = {a,
                                          a + "b",
                                          std::string(999, 'a') + "c",
                                          std::string(300, '/'),
                                          std::string(301, '/'),
                                          std::string(200, 'a'),
                                          std::string(196, 'a')};
  std::vector<std::string> files;
  for (const std::string& name : names) {
    const std::string file = LockFileName(name);
    EXPECT_LE(file.size(), 255u) << name.size();
    EXPECT_EQ(file.find('/'), std::string::npos);
    files.push_back(file);
  }
  std::sort(files.begin(), files.end());
  EXPECT_EQ(std::adjacent_find(files.begin(), files.end()), files.end());
  // Names that fit are kept whole.
  EXPECT_EQ(LockFileName(std::string(196, 'a')), std::string(196, 'a') + ".lock");
}

TEST_F(NamedLockTest, UnsafeNamesStayInsideTheLockFolder) {
  const std::vector<std::string> names = {"../escape",
                                          "../../../../tmp/escape",
                                          "/abs",
                                          "..",
                                          ".",
                                          std::string("nul\0byte", 8),
                                          std::string(600, '.'),
                                          "sub/dir/name",
                                          "\x01\x7f"};
  for (const std::string& name : names) {
    const TNamedLockResult r = CreateNamedLock(name);
    ASSERT_TRUE(r.Handle.IsOpen()) << r.Error;
    EXPECT_EQ(fs::path(r.Handle.Path()).parent_path(), RuntimeLocks());
    EXPECT_TRUE(fs::is_regular_file(r.Handle.Path()));
  }
  // The two folders of the fixture, the lock folder, and one file per name.
  EXPECT_EQ(AllEntries().size(), 3 + names.size());
}

TEST_F(NamedLockTest, ContentReachesOtherHandlesAndANewClaimStartsEmpty) {
  std::optional<TNamedLockResult> first = CreateNamedLock("Converter");
  ASSERT_TRUE(first->Handle.IsOpen());
  EXPECT_TRUE(first->Handle.WriteContent(":1.42\n"));
  // Shorter content replaces longer content whole.
  EXPECT_TRUE(first->Handle.WriteContent(":1.7\n"));
  TNamedLockResult later = CreateNamedLock("Converter");
  ASSERT_TRUE(later.AlreadyExists);
  EXPECT_EQ(later.Handle.ReadContent(), ":1.7\n");
  // Neither a later handle nor an unnamed object writes anything.
  EXPECT_FALSE(later.Handle.WriteContent("x"));
  EXPECT_FALSE(CreateNamedLock("").Handle.WriteContent("x"));
  EXPECT_EQ(first->Handle.ReadContent(), ":1.7\n");

  // The holder dies without a word: the next holder's file is empty at once,
  // and a process that finds the name taken still reads nothing stale.
  first.reset();
  later.Handle.Release();
  TNamedLockResult next = CreateNamedLock("Converter");
  ASSERT_FALSE(next.AlreadyExists);
  EXPECT_EQ(CreateNamedLock("Converter").Handle.ReadContent(), "");
}

TEST(SessionLockName, OneNamePerGraphicalSession) {
  struct TRow {
    const char* label;
    std::optional<std::string> wayland, display, runtime;
    std::string name;
  };
  const std::vector<TRow> rows = {
      {"NoSession", std::nullopt, std::nullopt, "/run/user/7", "Converter"},
      {"EmptyVariablesAreNoSession", "", "", "/run/user/7", "Converter"},
      {"WaylandSocketUnderTheRuntimeFolder", "wayland-1", std::nullopt, "/run/user/7",
       "Converter@/run/user/7/wayland-1"},
      {"XwaylandClientMeetsTheNativeOnes", "wayland-1", ":1", "/run/user/7",
       "Converter@/run/user/7/wayland-1"},
      {"AbsoluteWaylandSocket", "/tmp/w/wayland-2", ":1", "/run/user/7",
       "Converter@/tmp/w/wayland-2"},
      {"X11Display", std::nullopt, ":1", "/run/user/7", "Converter@:1"},
      {"ScreensOfOneServerAreOneSession", std::nullopt, ":1.1", "/run/user/7", "Converter@:1"},
      {"UnixHostIsTheLocalServer", std::nullopt, "unix:1", "/run/user/7", "Converter@:1"},
      {"UnixHostAndScreen", std::nullopt, "unix:1.2", "/run/user/7", "Converter@:1"},
      {"UnixProtocolPrefix", std::nullopt, "unix/:1", "/run/user/7", "Converter@:1"},
      {"SshForwardIsNotTheLocalServer", std::nullopt, "localhost:10.0", "/run/user/7",
       "Converter@localhost:10"},
      {"RemoteDisplay", std::nullopt, "host.example:10.0", "/run/user/7",
       "Converter@host.example:10"},
      {"TcpProtocolKeepsItsHost", std::nullopt, "tcp/host.example:10", "/run/user/7",
       "Converter@tcp/host.example:10"},
  };
  for (const TRow& row : rows) {
    const TScopedEnv wayland("WAYLAND_DISPLAY", row.wayland);
    const TScopedEnv display("DISPLAY", row.display);
    const TScopedEnv runtime("XDG_RUNTIME_DIR", row.runtime);
    EXPECT_EQ(SessionLockName("Converter"), row.name) << row.label;
    EXPECT_EQ(SessionLockName(""), "") << row.label;
  }
  // Distinct sessions, distinct names.
  const TScopedEnv display("DISPLAY", ":1");
  const TScopedEnv noWayland("WAYLAND_DISPLAY", std::nullopt);
  const std::string one = SessionLockName("Converter");
  const TScopedEnv other("DISPLAY", ":2");
  EXPECT_NE(SessionLockName("Converter"), one);
}

}  // namespace
}  // namespace korvalen

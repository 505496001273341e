#pragma once

// A named marker that exists while at least one process keeps a handle to it:
// what a named mutex gives the single-instance guard, built from a lock file
// and flock(2).
//
// The name lives per user, in "$XDG_RUNTIME_DIR/korvalen" when the runtime
// directory is a private directory of ours, otherwise in
// "${TMPDIR:-/tmp}/korvalen-<uid>"; each folder is created with mode 0700 and
// refused unless it is a real directory owned by us with exactly that mode.
// The kernel drops a flock when its holder dies, so a killed instance never
// leaves a stale claim behind. Lock files are never unlinked: removing a file
// another process may be about to lock would let two processes hold "the"
// name at once.
//
//   TNamedLockResult first = CreateNamedLock("Converter");
//   // first.Handle.IsOpen(), first.Handle.OwnsClaim(), !first.AlreadyExists
//   TNamedLockResult second = CreateNamedLock("Converter");  // any process
//   // second.Handle.IsOpen(), !second.Handle.OwnsClaim(), second.AlreadyExists
//   first.Handle.Release();  // the next CreateNamedLock("Converter") creates it anew

#include <string>
#include <string_view>
#include <utility>

namespace korvalen {

struct TNamedLockResult;

// Owns one open descriptor of a lock file (or of an unnamed object); closing
// it gives up whatever claim it carries.
class TNamedLock {
 public:
  TNamedLock() = default;
  TNamedLock(const TNamedLock&) = delete;
  TNamedLock& operator=(const TNamedLock&) = delete;
  TNamedLock(TNamedLock&& other) noexcept;
  TNamedLock& operator=(TNamedLock&& other) noexcept;
  ~TNamedLock() { Release(); }

  // Whether the descriptor is open: also true for a handle to a name that
  // another process holds, which keeps nothing.
  bool IsOpen() const noexcept { return FFd >= 0; }
  // Whether this handle carries the claim: it created the name (or is an
  // unnamed object), and the name is taken for others while it stays open.
  bool OwnsClaim() const noexcept { return FClaimed; }
  // The lock file, or empty for an unnamed object or a closed handle.
  const std::string& Path() const noexcept { return FPath; }
  // Closes the handle. A second call does nothing.
  void Release() noexcept;

  // The lock file's content: how the holder can be reached. A claim starts
  // with the file empty, so a dead holder's content never reaches a later
  // process. WriteContent replaces the whole content and returns whether it
  // was written; ReadContent gives at most 4096 bytes, empty when there is
  // none or no file. Only the holder of the claim writes.
  bool WriteContent(std::string_view content) const noexcept;
  std::string ReadContent() const;

 private:
  friend TNamedLockResult CreateNamedLock(std::string_view name);
  TNamedLock(int fd, std::string path, bool claimed) noexcept
      : FFd(fd), FPath(std::move(path)), FClaimed(claimed) {}

  int FFd = -1;
  std::string FPath;
  bool FClaimed = false;
};

struct TNamedLockResult {
  // Open unless the name could not be created at all; owns the claim
  // unless AlreadyExists.
  TNamedLock Handle;
  // Another process holds the name; Handle is open but carries no claim.
  bool AlreadyExists = false;
  // Why no handle was returned, as "<path>: <system error text>"; empty otherwise.
  std::string Error;
};

// Claims `name` for this process without waiting. An empty name creates an
// unnamed object that no other process can find, so it never exists already.
// Fails (Handle not held, Error set) when no private folder can be had or the
// lock file cannot be opened or locked.
TNamedLockResult CreateNamedLock(std::string_view name);

// The single-instance name of a program with `title` in the current
// graphical session: the title alone without a session, otherwise the title,
// "@" and the session: the Wayland socket's path when WAYLAND_DISPLAY is set
// (an Xwayland client inherits it, so it meets the native instances), else
// the X server DISPLAY names: without its screen number, and ":N" for every
// spelling of the local server (":0", "unix:0", "unix/:0"), while a TCP
// form such as "localhost:10" stays its own. Two sessions of one user get
// two names.
// SessionLockName("Converter") with WAYLAND_DISPLAY=wayland-1 and
// XDG_RUNTIME_DIR=/run/user/1000 gives "Converter@/run/user/1000/wayland-1";
// with only DISPLAY=:0.0 it gives "Converter@:0"; an empty title stays empty.
std::string SessionLockName(std::string_view title);

// The file name a lock name is stored under: bytes outside [A-Za-z0-9._-] and
// a leading "." become "%XX", and a name too long for one folder entry keeps
// its head plus a hash of the whole. Distinct names give distinct file names.
// LockFileName("a/../b") gives "a%2F..%2Fb.lock"; LockFileName(".x") gives "%2Ex.lock".
std::string LockFileName(std::string_view name);

}  // namespace korvalen

#include "platform/instance/NamedLock.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <system_error>

namespace korvalen {

namespace {

// Well below NAME_MAX (255) once the hash and ".lock" are added.
constexpr std::size_t kMaxStem = 200;

std::string SystemError(const std::string& path, int error) {
  const std::string text = std::generic_category().message(error);
  return path.empty() ? text : path + ": " + text;
}

bool IsPlain(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

std::uint64_t Fnv1a(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3u;
  }
  return hash;
}

void AppendHex(std::string& out, std::uint64_t value, int digits) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out += kHex[(value >> shift) & 0xF];
  }
}

class TFd {
 public:
  explicit TFd(int fd = -1) noexcept : FFd(fd) {}
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  ~TFd() {
    if (FFd >= 0) {
      ::close(FFd);
    }
  }
  int Get() const noexcept { return FFd; }
  int Take() noexcept { return std::exchange(FFd, -1); }

 private:
  int FFd;
};

// A folder only this user can enter or change: a real directory (never a
// symbolic link), ours, mode exactly 0700. Created when missing. Returns an
// open descriptor, or -1 with errno set (ELOOP, ENOTDIR or EPERM for a
// folder that is there but not safe).
int OpenPrivateDir(int parentFd, const std::string& path) {
  const bool created = ::mkdirat(parentFd, path.c_str(), 0700) == 0;
  if (!created && errno != EEXIST) {
    return -1;
  }
  TFd dir(::openat(parentFd, path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.Get() < 0) {
    return -1;
  }
  // A umask may have taken bits from a folder we made ourselves.
  if (created && ::fchmod(dir.Get(), 0700) != 0) {
    return -1;
  }
  struct stat st {};
  if (::fstat(dir.Get(), &st) != 0) {
    return -1;
  }
  if (st.st_uid != ::geteuid() || (st.st_mode & 07777) != 0700) {
    errno = EPERM;
    return -1;
  }
  return dir.Take();
}

// The runtime directory counts only when it is ours and nobody else may
// write to it; it may be a link (some systems point it elsewhere).
int OpenRuntimeDir(const char* path) {
  if (path == nullptr || path[0] != '/') {
    errno = ENOENT;
    return -1;
  }
  TFd dir(::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() < 0) {
    return -1;
  }
  struct stat st {};
  if (::fstat(dir.Get(), &st) != 0) {
    return -1;
  }
  if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    errno = EPERM;
    return -1;
  }
  return OpenPrivateDir(dir.Get(), "korvalen");
}

struct TLockDir {
  int Fd = -1;
  std::string Path;
  std::string Error;
};

// The choice depends only on the environment and on what is on disk, so
// every instance of one user's session picks the same folder.
TLockDir ChooseLockDir() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] != '\0') {
    const int fd = OpenRuntimeDir(runtime);
    if (fd >= 0) {
      return {fd, std::string(runtime) + "/korvalen", {}};
    }
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string path = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
  if (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  path += "/korvalen-" + std::to_string(::geteuid());
  const int fd = OpenPrivateDir(AT_FDCWD, path);
  if (fd < 0) {
    const int error = errno;
    return {-1, path, SystemError(path, error)};
  }
  return {fd, path, {}};
}

// The X server a DISPLAY names, as one spelling per server: the screen is
// dropped (":0" and ":0.1" are one server), and an empty host, "unix" or the
// "unix/" protocol all mean the local server's socket. A TCP host stays:
// ssh's "localhost:10" is a forwarded server, not the local ":10".
std::string X11Server(std::string_view display) {
  const std::size_t colon = display.rfind(':');
  if (colon == std::string_view::npos) {
    return std::string(display);
  }
  std::string_view host = display.substr(0, colon);
  std::string_view number = display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  if (host.starts_with("unix/")) {
    host.remove_prefix(5);
  }
  if (host == "unix") {
    host = {};
  }
  return std::string(host) + ":" + std::string(number);
}

}  // namespace

TNamedLock::TNamedLock(TNamedLock&& other) noexcept
    : FFd(std::exchange(other.FFd, -1)),
      FPath(std::move(other.FPath)),
      FClaimed(std::exchange(other.FClaimed, false)) {}

TNamedLock& TNamedLock::operator=(TNamedLock&& other) noexcept {
  if (this != &other) {
    Release();
    FFd = std::exchange(other.FFd, -1);
    FPath = std::move(other.FPath);
    FClaimed = std::exchange(other.FClaimed, false);
  }
  return *this;
}

void TNamedLock::Release() noexcept {
  if (FFd >= 0) {
    ::close(FFd);
    FFd = -1;
  }
  FPath.clear();
  FClaimed = false;
}

bool TNamedLock::WriteContent(std::string_view content) const noexcept {
  if (!FClaimed || FPath.empty() || ::ftruncate(FFd, 0) != 0) {
    return false;
  }
  // One write, so a reader sees the old empty file or the whole content, as
  // long as the content is small.
  const ssize_t written = ::pwrite(FFd, content.data(), content.size(), 0);
  return written == static_cast<ssize_t>(content.size());
}

std::string TNamedLock::ReadContent() const {
  if (FFd < 0 || FPath.empty()) {
    return {};
  }
  std::string content(4096, '\0');
  const ssize_t got = ::pread(FFd, content.data(), content.size(), 0);
  content.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return content;
}

std::string SessionLockName(std::string_view title) {
  if (title.empty()) {
    return {};
  }
  std::string session;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* display = std::getenv("DISPLAY");
  if (wayland != nullptr && wayland[0] != '\0') {
    session = wayland;
    if (session.front() != '/') {
      const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      session = std::string(runtime != nullptr ? runtime : "") + "/" + session;
    }
  } else if (display != nullptr && display[0] != '\0') {
    session = X11Server(display);
  }
  return session.empty() ? std::string(title) : std::string(title) + "@" + session;
}

std::string LockFileName(std::string_view name) {
  std::string stem;
  stem.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (IsPlain(c) && !(i == 0 && c == '.')) {
      stem += static_cast<char>(c);
    } else {
      stem += '%';
      AppendHex(stem, c, 2);
    }
  }
  if (stem.size() > kMaxStem) {
    // "~" never comes out of the encoding, so a shortened name cannot equal
    // a name that was short enough to keep whole.
    stem.resize(kMaxStem - 17);
    stem += '~';
    AppendHex(stem, Fnv1a(name), 16);
  }
  return stem + ".lock";
}

TNamedLockResult CreateNamedLock(std::string_view name) {
  TNamedLockResult result;
  if (name.empty()) {
    // Like an unnamed mutex: a real handle that nobody else can find.
    const int fd = ::eventfd(0, EFD_CLOEXEC);
    if (fd < 0) {
      result.Error = SystemError({}, errno);
    } else {
      result.Handle = TNamedLock(fd, {}, true);
    }
    return result;
  }

  TLockDir dir = ChooseLockDir();
  if (dir.Fd < 0) {
    result.Error = std::move(dir.Error);
    return result;
  }
  const TFd dirFd(dir.Fd);
  const std::string fileName = LockFileName(name);
  const std::string path = dir.Path + "/" + fileName;

  // O_CLOEXEC: a program started from here (a browser) must not inherit the claim.
  TFd file(::openat(dirFd.Get(), fileName.c_str(),
                    O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600));
  if (file.Get() < 0) {
    result.Error = SystemError(path, errno);
    return result;
  }
  int rc;
  do {
    rc = ::flock(file.Get(), LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    if (errno != EWOULDBLOCK) {
      result.Error = SystemError(path, errno);
      return result;
    }
    result.AlreadyExists = true;
  } else if (::ftruncate(file.Get(), 0) != 0) {
    result.Error = SystemError(path, errno);
    return result;
  }
  result.Handle = TNamedLock(file.Take(), path, !result.AlreadyExists);
  return result;
}

}  // namespace korvalen

// startup-probe: starts a program on the current X display and reports how
// long it took from exec to its first top-level window being viewable, and
// its peak resident memory up to a moment after that.
//
//   startup-probe [--settle MS] PROGRAM [ARGS...]
//   -> "map_ms=83.412 cpu_ms=61.250 peak_kib=29388"
//   startup-probe --exit PROGRAM [ARGS...]
//   -> "exit_ms=58.120 cpu_ms=41.800 peak_kib=27012 status=0"
//
// With --exit it waits for the program to end instead, as a later instance
// of the program does, and reports the time from exec to exit, the CPU time
// of all its threads and its peak memory, all from the kernel's accounting.
//
// It listens for map events on the root window instead of polling, so the
// measurement costs the measured program no CPU. A window manager maps a
// frame around the program's window; the frame, or the window itself when
// no manager runs, counts once a window in it carries the program's
// _NET_WM_PID and is viewable. After the settle time (default 500 ms, which
// lets the first paint happen) it reads VmHWM of the program and stops it.
// cpu_ms is the CPU time all the program's threads had used by the moment
// the window was viewable: on a busy machine it varies far less than the
// wall-clock time.

#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t InternAtom(xcb_connection_t* c, const char* name) {
  XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

bool HasPid(xcb_connection_t* c, xcb_window_t w, xcb_atom_t pidAtom, pid_t pid) {
  XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      c, xcb_get_property(c, 0, w, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
  if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 4) {
    return false;
  }
  std::uint32_t value = 0;
  std::memcpy(&value, xcb_get_property_value(reply.get()), sizeof value);
  return static_cast<pid_t>(value) == pid;
}

// The program's window in this tree (a frame holds it a level or two down).
xcb_window_t FindProgramWindow(xcb_connection_t* c, xcb_window_t w, xcb_atom_t pidAtom, pid_t pid,
                               int depth) {
  if (HasPid(c, w, pidAtom, pid)) {
    return w;
  }
  if (depth == 0) {
    return XCB_WINDOW_NONE;
  }
  XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
  if (!tree) {
    return XCB_WINDOW_NONE;
  }
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
    const xcb_window_t found = FindProgramWindow(c, children[i], pidAtom, pid, depth - 1);
    if (found != XCB_WINDOW_NONE) {
      return found;
    }
  }
  return XCB_WINDOW_NONE;
}

bool Viewable(xcb_connection_t* c, xcb_window_t w) {
  XcbReply<xcb_get_window_attributes_reply_t> reply(
      xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
  return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

long PeakKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::strtol(line.c_str() + 6, nullptr, 10);
    }
  }
  return -1;
}

// CPU time of every thread so far, from the scheduler's nanosecond counters.
double CpuMs(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  double ns = 0;
  if (DIR* dir = opendir(tasks.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') {
        continue;
      }
      std::ifstream schedstat(tasks + "/" + entry->d_name + "/schedstat");
      double onCpu = 0;
      if (schedstat >> onCpu) {
        ns += onCpu;
      }
    }
    closedir(dir);
  }
  return ns / 1e6;
}

void Stop(pid_t pid) {
  kill(pid, SIGTERM);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// Runs the program to its end; stdout and stderr go nowhere, so a chatty
// program costs no terminal time.
int TimeToExit(char** program) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("startup-probe: fork");
    return 2;
  }
  if (pid == 0) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr ||
        std::freopen("/dev/null", "w", stderr) == nullptr) {
      _exit(127);
    }
    execvp(program[0], program);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("startup-probe: wait4");
      return 2;
    }
  }
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - start;
  const auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("exit_ms=%.3f cpu_ms=%.3f peak_kib=%ld status=%d\n", elapsed.count(),
              ms(usage.ru_utime) + ms(usage.ru_stime), usage.ru_maxrss, code);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--exit") == 0) {
    return TimeToExit(argv + 2);
  }
  int first = 1;
  long settleMs = 500;
  if (argc > 2 && std::strcmp(argv[1], "--settle") == 0) {
    settleMs = std::strtol(argv[2], nullptr, 10);
    first = 3;
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: startup-probe [--settle MS | --exit] PROGRAM [ARGS...]\n");
    return 2;
  }

  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c) != 0) {
    std::fprintf(stderr, "startup-probe: cannot open the display\n");
    return 2;
  }
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
  const xcb_atom_t pidAtom = InternAtom(c, "_NET_WM_PID");
  xcb_flush(c);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("startup-probe: fork");
    return 2;
  }
  if (pid == 0) {
    close(xcb_get_file_descriptor(c));
    execvp(argv[first], argv + first);
    std::perror("startup-probe: exec");
    _exit(127);
  }

  xcb_window_t window = XCB_WINDOW_NONE;
  while (window == XCB_WINDOW_NONE) {
    XcbReply<xcb_generic_event_t> event(xcb_wait_for_event(c));
    if (!event) {
      std::fprintf(stderr, "startup-probe: lost the display\n");
      Stop(pid);
      return 2;
    }
    if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
      const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event.get());
      window = FindProgramWindow(c, map->window, pidAtom, pid, 3);
    }
  }
  // The frame maps around a client that is normally mapped already.
  while (!Viewable(c, window)) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const std::chrono::duration<double, std::milli> mapped = std::chrono::steady_clock::now() - start;
  const double cpuMs = CpuMs(pid);

  std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
  const long peak = PeakKib(pid);
  Stop(pid);
  xcb_disconnect(c);
  std::printf("map_ms=%.3f cpu_ms=%.3f peak_kib=%ld\n", mapped.count(), cpuMs, peak);
  return peak > 0 ? 0 : 1;
}

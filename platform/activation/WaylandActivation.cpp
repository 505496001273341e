#include "platform/activation/WaylandActivation.h"

#include "xdg-activation-v1-client-protocol.h"

#include <poll.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

namespace korvalen {
namespace {

struct TDisplayDeleter {
  void operator()(wl_display* display) const noexcept { wl_display_disconnect(display); }
};
struct TRegistryDeleter {
  void operator()(wl_registry* registry) const noexcept { wl_registry_destroy(registry); }
};
struct TActivationDeleter {
  void operator()(xdg_activation_v1* activation) const noexcept {
    xdg_activation_v1_destroy(activation);
  }
};
struct TTokenDeleter {
  void operator()(xdg_activation_token_v1* token) const noexcept {
    xdg_activation_token_v1_destroy(token);
  }
};

struct TGlobals {
  std::unique_ptr<xdg_activation_v1, TActivationDeleter> Activation;
};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t) {
  auto* globals = static_cast<TGlobals*>(data);
  if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0 && !globals->Activation) {
    globals->Activation.reset(static_cast<xdg_activation_v1*>(
        wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1)));
  }
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

constexpr wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

void OnDone(void* data, xdg_activation_token_v1*, const char* token) {
  *static_cast<std::string*>(data) = token;
}

constexpr xdg_activation_token_v1_listener kTokenListener = {OnDone};

// Dispatches events until `done` holds or the deadline passes.
bool DispatchUntil(wl_display* display, const std::string& token,
                   std::chrono::steady_clock::time_point deadline) {
  while (token.empty()) {
    while (wl_display_prepare_read(display) != 0) {
      if (wl_display_dispatch_pending(display) < 0) {
        return false;
      }
    }
    if (!token.empty()) {
      wl_display_cancel_read(display);
      break;
    }
    wl_display_flush(display);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd fd{wl_display_get_fd(display), POLLIN, 0};
    const int ready = left.count() > 0 ? ::poll(&fd, 1, static_cast<int>(left.count())) : 0;
    if (ready <= 0) {
      wl_display_cancel_read(display);
      if (ready < 0 && errno == EINTR) {
        continue;
      }
      return false;
    }
    if (wl_display_read_events(display) != 0 || wl_display_dispatch_pending(display) < 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string RequestActivationToken(std::string_view appId, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  // wl_display_connect(nullptr) would fall back to "wayland-0"; no variable, no display.
  const char* socket = std::getenv("WAYLAND_DISPLAY");
  if (socket == nullptr || socket[0] == '\0') {
    return {};
  }
  std::unique_ptr<wl_display, TDisplayDeleter> display(wl_display_connect(nullptr));
  if (!display) {
    return {};
  }
  TGlobals globals;
  {
    std::unique_ptr<wl_registry, TRegistryDeleter> registry(wl_display_get_registry(display.get()));
    wl_registry_add_listener(registry.get(), &kRegistryListener, &globals);
    if (wl_display_roundtrip(display.get()) < 0 || !globals.Activation) {
      return {};
    }
  }
  std::string token;
  std::unique_ptr<xdg_activation_token_v1, TTokenDeleter> request(
      xdg_activation_v1_get_activation_token(globals.Activation.get()));
  xdg_activation_token_v1_add_listener(request.get(), &kTokenListener, &token);
  const std::string id(appId);
  if (!id.empty()) {
    xdg_activation_token_v1_set_app_id(request.get(), id.c_str());
  }
  xdg_activation_token_v1_commit(request.get());
  if (!DispatchUntil(display.get(), token, deadline)) {
    return {};
  }
  return token;
}

}  // namespace korvalen

#pragma once

// An activation token asked of the Wayland compositor (xdg-activation-v1) on
// a connection of our own, for a start that was given none by its launcher:
// the earlier instance hands it to the compositor to bring its window
// forward. A token asked for without a surface or an input serial is one the
// compositor may honour only in part (some merely mark the window urgent);
// a launcher's token is always the better one.
//
//   std::string token = RequestActivationToken("com.example.korvalen.converter", 500ms);
//   // "" without a Wayland display, without xdg-activation, or without an answer in time

#include <chrono>
#include <string>
#include <string_view>

namespace korvalen {

// Connects to $WAYLAND_DISPLAY, asks for a token for `appId` and waits up to
// `wait` for it.
std::string RequestActivationToken(std::string_view appId, std::chrono::milliseconds wait);

}  // namespace korvalen

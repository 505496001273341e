#pragma once

// The windows' layouts and pictures are Qt resources compiled into this
// library. A static library's resources register only when something refers
// to them, so every window calls InitUiResources() before it loads its
// layout. Calling it again does nothing.

namespace korvalen {

void InitUiResources();

}  // namespace korvalen

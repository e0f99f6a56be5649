#pragma once

namespace calvenza {

// Whether a translucent window really shows through: true off X11 (Wayland, offscreen), and on
// X11 only when a compositing manager owns the _NET_WM_CM_S0 selection.
[[nodiscard]] bool translucencyWorks();

} // namespace calvenza

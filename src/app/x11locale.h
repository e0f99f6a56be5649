#pragma once

namespace calvenza {

// Reads Xlib's tables for the current locale (some files, a few million instructions) so that
// the first window title set later finds them ready. Safe from any thread once the X11 platform
// is up: Qt has made Xlib thread-safe by then.
void prepareX11Locale();

} // namespace calvenza

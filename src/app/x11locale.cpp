#include "app/x11locale.h"

// Apart from Qt: Xlib's macros (Status, Bool) clash with Qt's headers.
#include <X11/Xlib.h>

namespace calvenza {

void prepareX11Locale()
{
    // Qt gives every window its legacy title through Xlib's locale conversion, which loads
    // these tables on first use and keeps them.
    XSupportsLocale();
}

} // namespace calvenza

#pragma once

#include <fontconfig/fontconfig.h>

namespace calvenza {

// Fontconfig's configuration as FcInit() would make it, with the rules in use and the fonts, but
// without reading again every rule file the system offers: FcInit() parses all of those (41
// here, used or not, a third of its time) only so that fc-conflist can describe them. Null where
// FcInit() would need one of its fallbacks (no configuration file, one that does not parse, no
// cache folder); the caller owns the result.
[[nodiscard]] FcConfig *loadFontconfigInUse();

// Makes fontconfig's configuration current, through loadFontconfigInUse() or else FcInit().
void setUpFontconfig();

} // namespace calvenza

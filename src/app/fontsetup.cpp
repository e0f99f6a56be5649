#include "app/fontsetup.h"

namespace calvenza {

FcConfig *loadFontconfigInUse()
{
    FcConfig *config = FcConfigCreate();
    if (!config)
        return nullptr;
    // The file FcInit() reads: FONTCONFIG_FILE, else the system's. Without one, or with one that
    // does not parse, FcInit() falls back on defaults of its own.
    FcChar8 *file = FcConfigGetFilename(config, nullptr);
    bool usable = file && FcConfigParseAndLoad(config, file, FcTrue);
    if (file)
        FcStrFree(file);
    if (usable) {
        FcStrList *cacheFolders = FcConfigGetCacheDirs(config);
        usable = cacheFolders && FcStrListNext(cacheFolders);
        if (cacheFolders)
            FcStrListDone(cacheFolders);
    }
    if (usable && FcConfigBuildFonts(config))
        return config;
    FcConfigDestroy(config);
    return nullptr;
}

void setUpFontconfig()
{
    if (FcConfig *config = loadFontconfigInUse()) {
        const bool current = FcConfigSetCurrent(config);
        FcConfigDestroy(config); // the current configuration keeps its own reference
        if (current)
            return;
    }
    FcInit();
}

} // namespace calvenza

// The public header compiles as C++, its typedefs match its declarations and its ordinals name
// the exports.
#include <type_traits>

#include "test_support.h"

static_assert(std::is_same<decltype(&VideoInit), VideoInitProc>::value, "VideoInit");
static_assert(std::is_same<decltype(&VideoSetPalette), VideoSetPaletteProc>::value, "VideoSetPalette");
static_assert(std::is_same<decltype(&VideoApplyPalette), VideoApplyPaletteProc>::value, "VideoApplyPalette");
static_assert(std::is_same<decltype(&VideoBlit), VideoBlitProc>::value, "VideoBlit");
static_assert(std::is_same<decltype(&VideoShutdown), VideoShutdownProc>::value, "VideoShutdown");
static_assert(std::is_same<decltype(&VideoCfg), VideoCfgProc>::value, "VideoCfg");
static_assert(std::is_same<decltype(&VideoFullscreen), VideoFullscreenProc>::value, "VideoFullscreen");

extern "C" int gdivideo_header_compiles_as_c(void);

namespace {

TEST_F(PluginTest, HeaderOrdinalsNameTheExportsInCAndCpp) {
    const std::pair<int, const char*> ordinals[] = {{GDIVIDEO_ORDINAL_APPLY_PALETTE, "VideoApplyPalette"},
                                                    {GDIVIDEO_ORDINAL_BLIT, "VideoBlit"},
                                                    {GDIVIDEO_ORDINAL_CFG, "VideoCfg"},
                                                    {GDIVIDEO_ORDINAL_FULLSCREEN, "VideoFullscreen"},
                                                    {gdivideo_header_compiles_as_c(), "VideoInit"},
                                                    {GDIVIDEO_ORDINAL_SET_PALETTE, "VideoSetPalette"},
                                                    {GDIVIDEO_ORDINAL_SHUTDOWN, "VideoShutdown"}};
    for (const auto& [ordinal, name] : ordinals)
        EXPECT_EQ(GetProcAddress(plugin.module, MAKEINTRESOURCEA(ordinal)),
                  GetProcAddress(plugin.module, name))
            << name;
}

} // namespace

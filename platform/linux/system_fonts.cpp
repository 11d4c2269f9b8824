// System fonts: one fontconfig configuration for the process, asked per character (the font
// caches the answers).
#include "platform/system_fonts.h"

#include <memory>

#include <fontconfig/fontconfig.h>

namespace Platform
{
    namespace
    {
        struct Fontconfig
        {
            FcConfig* config = FcInitLoadConfigAndFonts();
            ~Fontconfig()
            {
                if (config)
                    FcConfigDestroy(config);
            }
        };

        FcConfig* fontconfig()
        {
            static Fontconfig fontconfig;
            return fontconfig.config;
        }

        template <class T, void (*Destroy)(T*)>
        struct Deleter
        {
            void operator()(T* p) const { Destroy(p); }
        };
        using Pattern = std::unique_ptr<FcPattern, Deleter<FcPattern, FcPatternDestroy>>;
        using Char_Set = std::unique_ptr<FcCharSet, Deleter<FcCharSet, FcCharSetDestroy>>;
        using Font_Set = std::unique_ptr<FcFontSet, Deleter<FcFontSet, FcFontSetDestroy>>;

        // Only faces FreeType can render as coverage at any size: no bitmap or colour fonts.
        std::optional<Font_File> usable(FcPattern* font, char32_t c)
        {
            FcCharSet* characters = nullptr;
            FcBool scalable = FcFalse, colour = FcFalse;
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetCharSet(font, FC_CHARSET, 0, &characters) != FcResultMatch ||
                !FcCharSetHasChar(characters, c))
                return std::nullopt;
            FcPatternGetBool(font, FC_SCALABLE, 0, &scalable);
            FcPatternGetBool(font, FC_COLOR, 0, &colour);
            if (!scalable || colour || FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch)
                return std::nullopt;
            FcPatternGetInteger(font, FC_INDEX, 0, &index);
            return Font_File{reinterpret_cast<const char*>(file), index};
        }
    }

    std::optional<Font_File> system_font_for(char32_t c)
    {
        FcConfig* config = fontconfig();
        if (!config)
            return std::nullopt;
        Char_Set wanted(FcCharSetCreate());
        FcCharSetAddChar(wanted.get(), c);
        Pattern pattern(FcPatternCreate());
        FcPatternAddCharSet(pattern.get(), FC_CHARSET, wanted.get());
        FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
        FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
        FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
        FcDefaultSubstitute(pattern.get());
        FcResult result = FcResultNoMatch;
        Font_Set sorted(FcFontSort(config, pattern.get(), FcFalse, nullptr, &result));
        if (!sorted)
            return std::nullopt;
        for (int i = 0; i < sorted->nfont; ++i)
            if (std::optional<Font_File> file = usable(sorted->fonts[i], c))
                return file;
        return std::nullopt;
    }
}

// Shaping: a string becomes placed glyphs. It is decoded (platform/shared/utf8.h), each character is
// given the face that draws it, and the string is cut into runs of one face, one script and
// one direction, each shaped by HarfBuzz in its own direction. Runs are then put in visual
// order by a small subset of the bidirectional algorithm: the first strong letter sets the
// line's direction, numbers read left to right, and neutral characters between two runs of
// the same direction join them. That is enough for a name written in one direction, with
// numbers and punctuation, inside a line of the other.
#include <algorithm>

#include "engine/font.h"
#include "engine/font_faces.h"
#include "platform/shared/utf8.h"

namespace Kestrane
{
    namespace
    {
        constexpr char32_t replacement = 0xFFFD;

        // Line breaks and tabs read as a space; other control characters have no picture of
        // their own and show as the replacement character.
        char32_t shown(char32_t c)
        {
            if (c >= 0x09 && c <= 0x0D)
                return U' ';
            if (c < 0x20 || (c >= 0x7F && c < 0xA0))
                return replacement;
            return c;
        }

        hb_unicode_funcs_t* unicode()
        {
            return hb_unicode_funcs_get_default();
        }

        bool is_mark(char32_t c)
        {
            const hb_unicode_general_category_t category = hb_unicode_general_category(unicode(), c);
            return category == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
                   category == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK ||
                   category == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK || c == 0x200C || c == 0x200D;
        }

        enum class Kind
        {
            left,    // a letter of a left-to-right script
            right,   // a letter of a right-to-left script
            number,  // a decimal digit
            neutral, // spaces, punctuation, symbols
            mark,    // follows the character before it
        };

        Kind kind_of(char32_t c)
        {
            if (is_mark(c))
                return Kind::mark;
            switch (hb_unicode_general_category(unicode(), c))
            {
            case HB_UNICODE_GENERAL_CATEGORY_DECIMAL_NUMBER: return Kind::number;
            case HB_UNICODE_GENERAL_CATEGORY_LOWERCASE_LETTER:
            case HB_UNICODE_GENERAL_CATEGORY_MODIFIER_LETTER:
            case HB_UNICODE_GENERAL_CATEGORY_OTHER_LETTER:
            case HB_UNICODE_GENERAL_CATEGORY_TITLECASE_LETTER:
            case HB_UNICODE_GENERAL_CATEGORY_UPPERCASE_LETTER:
                return hb_script_get_horizontal_direction(hb_unicode_script(unicode(), c)) == HB_DIRECTION_RTL
                           ? Kind::right
                           : Kind::left;
            default: return Kind::neutral;
            }
        }

        // Embedding levels: even reads left to right, odd right to left.
        std::vector<int> levels_of(const std::vector<Kind>& kinds)
        {
            const auto strong =
                std::find_if(kinds.begin(), kinds.end(), [](Kind k) { return k == Kind::left || k == Kind::right; });
            const bool rtl_line = strong != kinds.end() && *strong == Kind::right;
            const int line = rtl_line ? 1 : 0;
            const int left = rtl_line ? 2 : 0;
            const Kind line_kind = rtl_line ? Kind::right : Kind::left;
            std::vector<int> levels(kinds.size(), line);
            Kind before = line_kind;      // last strong letter, for numbers
            Kind before_side = line_kind; // last strong letter or number, for neutrals
            // For neutrals, a number counts as left-to-right after a left-to-right letter and
            // as right-to-left otherwise; the ends of the line count as the line.
            const auto side = [&](Kind k)
            { return k == Kind::number ? (before == Kind::left ? Kind::left : Kind::right) : k; };
            for (size_t i = 0; i < kinds.size(); ++i)
            {
                switch (kinds[i])
                {
                case Kind::left: levels[i] = left; break;
                case Kind::right: levels[i] = 1; break;
                case Kind::number: levels[i] = before == Kind::left ? left : 2; break;
                case Kind::mark: levels[i] = i > 0 ? levels[i - 1] : line; break;
                case Kind::neutral:
                {
                    Kind after = line_kind;
                    for (size_t j = i + 1; j < kinds.size(); ++j)
                        if (kinds[j] != Kind::neutral && kinds[j] != Kind::mark)
                        {
                            after = side(kinds[j]);
                            break;
                        }
                    levels[i] = before_side != after ? line : after == Kind::left ? left : 1;
                    break;
                }
                }
                if (kinds[i] == Kind::left || kinds[i] == Kind::right)
                    before = kinds[i];
                if (kinds[i] != Kind::neutral && kinds[i] != Kind::mark)
                    before_side = side(kinds[i]);
            }
            return levels;
        }

        // A script for every character: common and inherited ones take their neighbour's.
        std::vector<hb_script_t> scripts_of(const std::vector<char32_t>& characters)
        {
            std::vector<hb_script_t> scripts(characters.size(), HB_SCRIPT_COMMON);
            hb_script_t last = HB_SCRIPT_COMMON;
            for (size_t i = 0; i < characters.size(); ++i)
            {
                const hb_script_t script = hb_unicode_script(unicode(), characters[i]);
                if (script != HB_SCRIPT_COMMON && script != HB_SCRIPT_INHERITED && script != HB_SCRIPT_UNKNOWN)
                    last = script;
                scripts[i] = last;
            }
            for (size_t i = characters.size(); i-- > 0;) // leading common characters take the first script
                if (scripts[i] == HB_SCRIPT_COMMON && i + 1 < characters.size())
                    scripts[i] = scripts[i + 1];
            return scripts;
        }

        struct Run
        {
            size_t start = 0, length = 0;
            uint32_t face = 0;
            int level = 0;
            hb_script_t script = HB_SCRIPT_COMMON;
            std::vector<Placed_Glyph> glyphs; // pen.x relative to the run's start, 26.6
            int64_t advance = 0;              // 26.6
        };

        // Reverses every longest sequence of runs at each level from the highest down to 1.
        void to_visual_order(std::vector<Run>& runs)
        {
            int highest = 0;
            for (const Run& run : runs)
                highest = std::max(highest, run.level);
            for (int level = highest; level >= 1; --level)
                for (auto first = runs.begin(); first != runs.end();)
                {
                    if (first->level < level)
                    {
                        ++first;
                        continue;
                    }
                    auto last = std::find_if(first, runs.end(), [&](const Run& r) { return r.level < level; });
                    std::reverse(first, last);
                    first = last;
                }
        }

        // Each character's face: a mark stays with its letter's face when that face has it; a
        // character no face has becomes the replacement.
        std::vector<uint32_t> faces_of(std::vector<char32_t>& characters, const std::vector<Kind>& kinds,
                                       Font::Faces& faces)
        {
            std::vector<uint32_t> face_of(characters.size(), 0);
            for (size_t i = 0; i < characters.size(); ++i)
            {
                if (kinds[i] == Kind::mark && i > 0 && faces.list[face_of[i - 1]]->has(characters[i]))
                {
                    face_of[i] = face_of[i - 1];
                    continue;
                }
                int32_t face = faces.face_for(characters[i]);
                if (face < 0)
                {
                    characters[i] = replacement;
                    face = faces.face_for(replacement);
                }
                face_of[i] = uint32_t(std::max(face, 0)); // without any replacement glyph: the own face's .notdef box
            }
            return face_of;
        }

        // The string cut where the face, the level or the script changes.
        std::vector<Run> runs_of(const std::vector<uint32_t>& face_of, const std::vector<int>& levels,
                                 const std::vector<hb_script_t>& scripts)
        {
            std::vector<Run> runs;
            for (size_t i = 0; i < face_of.size(); ++i)
            {
                if (runs.empty() || runs.back().face != face_of[i] || runs.back().level != levels[i] ||
                    runs.back().script != scripts[i])
                    runs.push_back({i, 0, face_of[i], levels[i], scripts[i], {}, 0});
                ++runs.back().length;
            }
            return runs;
        }

        // Shapes one run in its own direction. The whole string goes in as context, so letters
        // join across a run's ends. The own face keeps the metrics it always had: one advance
        // per character, no kerning and no optional ligatures.
        void shape_run(Run& run, const std::vector<char32_t>& characters, Font::Faces& faces)
        {
            hb_feature_t plain[2];
            hb_feature_from_string("kern=0", -1, &plain[0]);
            hb_feature_from_string("liga=0", -1, &plain[1]);
            hb_buffer_t* buffer = faces.buffer;
            hb_buffer_clear_contents(buffer);
            hb_buffer_add_codepoints(buffer, reinterpret_cast<const uint32_t*>(characters.data()),
                                     int(characters.size()), unsigned(run.start), int(run.length));
            hb_buffer_set_direction(buffer, run.level % 2 ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
            hb_buffer_set_script(buffer, run.script);
            hb_buffer_guess_segment_properties(buffer);
            hb_buffer_set_flags(buffer, HB_BUFFER_FLAG_DO_NOT_INSERT_DOTTED_CIRCLE);
            hb_shape(faces.list[run.face]->shaper, buffer, plain, run.face == 0 ? 2 : 0);
            unsigned count = 0;
            const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
            const hb_glyph_position_t* position = hb_buffer_get_glyph_positions(buffer, &count);
            for (unsigned g = 0; g < count; ++g)
            {
                Placed_Glyph placed;
                placed.face = run.face;
                placed.index = info[g].codepoint;
                placed.pen = {int32_t(run.advance + position[g].x_offset), -position[g].y_offset};
                run.glyphs.push_back(placed);
                run.advance += position[g].x_advance;
            }
        }

        int32_t pixels(int64_t value_26_6)
        {
            return int32_t((value_26_6 + 32) >> 6);
        }
    }

    Shaped_Text Font::shape(std::string_view text) const
    {
        std::vector<char32_t> characters;
        while (!text.empty())
            characters.push_back(shown(Platform::take_code_point(text)));
        std::vector<Kind> kinds(characters.size());
        std::transform(characters.begin(), characters.end(), kinds.begin(), kind_of);
        const std::vector<uint32_t> faces_of_characters = faces_of(characters, kinds, *faces);
        std::vector<Run> runs = runs_of(faces_of_characters, levels_of(kinds), scripts_of(characters));
        for (Run& run : runs)
            shape_run(run, characters, *faces);
        to_visual_order(runs);

        Shaped_Text shaped;
        int64_t pen = 0;
        for (const Run& run : runs)
        {
            for (Placed_Glyph placed : run.glyphs)
            {
                placed.character = &glyph(placed.face, placed.index);
                placed.pen = {pixels(pen + placed.pen.x), pixels(placed.pen.y)};
                Measurement& m = shaped.measured;
                m.ascent = std::max(m.ascent, -(placed.character->bearing.y + placed.pen.y));
                m.descent = std::max(m.descent, placed.character->size.y + placed.character->bearing.y + placed.pen.y);
                shaped.glyphs.push_back(placed);
            }
            pen += run.advance;
        }
        shaped.measured.width = pixels(pen);
        shaped.measured.height = shaped.measured.ascent + shaped.measured.descent;
        return shaped;
    }
}

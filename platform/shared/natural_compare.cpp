// Natural ordering of names, in portable code. A name is read as UTF-8 (a byte that is not valid
// UTF-8 as its Latin-1 character) and then as a sequence of tokens: a maximal run of ASCII
// digits is one token valued by its number, whatever its length; every other character is a
// token of its own, ASCII letters folded to lower case. Tokens rank symbols < numbers <
// letters < characters from U+0080 up (among themselves by code point), and names compare
// token by token, a proper prefix first. Comparing such sequences is a strict weak order by
// construction; names it cannot tell apart fall back to their bytes, which makes the order
// total.
#include "platform/shared/natural_compare.h"

#include "platform/shared/utf8.h"

namespace Platform
{
    namespace
    {
        enum Rank
        {
            symbol,
            number,
            letter,
            extended,
        };

        bool is_digit(char32_t c)
        {
            return c >= '0' && c <= '9';
        }

        Rank rank_of(char32_t c)
        {
            if (c >= 0x80)
                return extended;
            if (is_digit(c))
                return number;
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                return letter;
            return symbol;
        }

        char32_t folded(char32_t c)
        {
            return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
        }

        int sign(int value)
        {
            return (value > 0) - (value < 0);
        }

        // Takes the digit run at the front of `s` off it and returns its significant digits.
        std::string_view take_number(std::string_view& s)
        {
            std::string_view::size_type end = 0;
            while (end < s.size() && is_digit(static_cast<unsigned char>(s[end])))
                ++end;
            std::string_view digits = s.substr(0, end);
            s.remove_prefix(end);
            while (digits.size() > 1 && digits.front() == '0')
                digits.remove_prefix(1);
            return digits;
        }

        // Numbers of any length: more significant digits is larger, else digit by digit.
        int compare_numbers(std::string_view a, std::string_view b)
        {
            if (a.size() != b.size())
                return a.size() < b.size() ? -1 : 1;
            return sign(a.compare(b));
        }
    }

    int natural_compare(std::string_view a, std::string_view b)
    {
        const std::string_view whole_a = a;
        const std::string_view whole_b = b;
        while (!a.empty() && !b.empty())
        {
            if (is_digit(static_cast<unsigned char>(a.front())) && is_digit(static_cast<unsigned char>(b.front())))
            {
                if (const int order = compare_numbers(take_number(a), take_number(b)))
                    return order;
                continue;
            }
            const char32_t x = take_code_point(a);
            const char32_t y = take_code_point(b);
            if (rank_of(x) != rank_of(y))
                return rank_of(x) < rank_of(y) ? -1 : 1;
            if (folded(x) != folded(y))
                return folded(x) < folded(y) ? -1 : 1;
        }
        if (!a.empty() || !b.empty())
            return a.empty() ? -1 : 1;
        return sign(whole_a.compare(whole_b));
    }
}

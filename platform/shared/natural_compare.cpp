// Natural ordering of names, in portable code. A name is read as UTF-8 (a byte that is not valid
// UTF-8 as its Latin-1 character) and then as a sequence of tokens: a maximal run of ASCII
// digits is one token valued by its number, whatever its length; every other character is a
// token of its own, ASCII letters folded to lower case. Tokens rank symbols < numbers <
// letters < characters from U+0080 up (among themselves by code point), and names compare
// token by token, a proper prefix first. Comparing such sequences is a strict weak order by
// construction; names it cannot tell apart fall back to their bytes, which makes the order
// total. The sort key writes the same tokens as bytes: each opens with its rank; a number
// gives its count of significant digits, then the digits; an ASCII character is one byte,
// any other its code point in three.
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

    void append_natural_key(std::string_view name, std::string& key)
    {
        while (!name.empty())
        {
            if (!is_digit(static_cast<unsigned char>(name.front())))
            {
                const char32_t c = folded(take_code_point(name));
                const Rank rank = rank_of(c);
                key += static_cast<char>(rank + 1);
                if (rank == extended)
                {
                    key += static_cast<char>(c >> 16);
                    key += static_cast<char>((c >> 8) & 0xFF);
                }
                key += static_cast<char>(c & 0xFF);
                continue;
            }
            key += static_cast<char>(number + 1);
            const std::string_view digits = take_number(name);
            // A count of any size that still orders by value: 255 per full step, then the rest.
            for (size_t count = digits.size();; count -= 255)
            {
                key += static_cast<char>(count < 255 ? count : 255);
                if (count < 255)
                    break;
            }
            key += digits;
        }
    }
}

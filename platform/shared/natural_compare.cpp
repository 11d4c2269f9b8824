// Natural ordering of names, in portable code. A name is read as a sequence of tokens: a maximal
// run of digits is one token valued by its number, whatever its length; every other byte is
// a token of its own, letters folded to lower case. Tokens rank symbols < numbers < letters <
// bytes from 0x80 up, and names compare token by token, a proper prefix first. Comparing such
// sequences is a strict weak order by construction; names it cannot tell apart fall back to
// their bytes, which makes the order total.
#include "platform/shared/natural_compare.h"

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

        bool is_digit(unsigned char c)
        {
            return c >= '0' && c <= '9';
        }

        Rank rank_of(unsigned char c)
        {
            if (c >= 0x80)
                return extended;
            if (is_digit(c))
                return number;
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                return letter;
            return symbol;
        }

        unsigned char folded(unsigned char c)
        {
            return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
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
            const unsigned char x = static_cast<unsigned char>(a.front());
            const unsigned char y = static_cast<unsigned char>(b.front());
            const Rank rank = rank_of(x);
            if (rank != rank_of(y))
                return rank < rank_of(y) ? -1 : 1;
            if (rank == number)
            {
                if (const int order = compare_numbers(take_number(a), take_number(b)))
                    return order;
                continue;
            }
            if (folded(x) != folded(y))
                return folded(x) < folded(y) ? -1 : 1;
            a.remove_prefix(1);
            b.remove_prefix(1);
        }
        if (!a.empty() || !b.empty())
            return a.empty() ? -1 : 1;
        return sign(whole_a.compare(whole_b));
    }
}

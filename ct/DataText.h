#pragma once

#include <cstdint>
// Numbers as the CT data files write them, fast: a data file of a large
// slice has millions of lines, and a text stream spends longer on them than
// the reconstruction does.  The text is exactly a QTextStream's default
// for the same value: at most 6 significant digits rounded half away from
// zero, trailing zeros dropped, plain notation unless the decimal exponent
// is below -4 or at least 6, then a signed exponent of at least two
// digits; "0" for both zeros, "nan", "inf", "-inf".
class DataText
{
public:
    // Room appendNumber and appendInteger need at out: they may write
    // scratch bytes past the end of the text they return.
    static constexpr int maxChars = 32;
    // Writes v at out; returns the end of the text.
    static char* appendNumber(char* out, double v);
    static char* appendInteger(char* out, long long v);

    // Up to eight numbers at once: prepare works out their digits together
    // (with AVX-512 or AVX2 where the processor has it), append(out, i) then writes
    // number i as appendNumber would.  Eight values are read where they are,
    // so they must stay put until the last append.
    struct Group
    {
        void prepare(const double* v, int count);
        char* append(char* out, int i) const;

        const double* values = nullptr;
        double tail[8];
        std::uint64_t digits[8];
        std::int64_t exps[8];
        unsigned ready = 0;
        int n = 0;
    };

    // Data-file lines "<x>\t<z>\t<v[k]>\n" for k < count (at most lineGroup), the
    // numbers as appendNumber writes them.  columns + 24 k holds the text
    // "<x>\t" of column k, columnLength[k] bytes; zText "<z>\t", zLength
    // bytes.  Both are copied 24 bytes at a time, so each needs 24 readable
    // bytes; out needs lineRoom bytes per line.  Returns the end of the text.
    static constexpr int lineRoom = 2 * 24 + maxChars;
    static constexpr int lineGroup = 64;
    static char* appendLines(char* out, const double* v, int count, const char* columns,
                             const unsigned char* columnLength, const char* zText, int zLength);
};

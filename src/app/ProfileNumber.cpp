// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ProfileNumber.h"

#include <charconv>
#include <cmath>
#include <string>

namespace Commands {

namespace {

// Reads decimal digits of `s` from `i`; returns how many were read.
qsizetype readDigits(const std::string& s, qsizetype& i, std::string& out)
{
    const qsizetype start = i;
    while (i < qsizetype(s.size()) && s[size_t(i)] >= '0' && s[size_t(i)] <= '9')
        out.push_back(s[size_t(i++)]);
    return i - start;
}

std::optional<qint16> fitIn16Bits(double v)
{
    if (!std::isfinite(v))
        return std::nullopt;
    const double r = std::nearbyint(v); // the default rounding mode takes halves to even
    if (r < -32768.0 || r > 32767.0)
        return std::nullopt;
    return qint16(r);
}

// "&H" and "&O" numbers: up to 16 bits they are read as a signed 16-bit pattern (&HFFFF is
// -1), up to 32 bits as a signed 32-bit pattern; longer ones do not fit.
std::optional<qint16> readRadixNumber(const std::string& s, int radix)
{
    quint64 v = 0;
    for (size_t i = 2; i < s.size(); ++i) {
        const char c = s[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (radix == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (radix == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        if (d >= radix)
            break;
        v = v * quint64(radix) + quint64(d);
        if (v > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (v <= 0xFFFF)
        return qint16(quint16(v));
    const qint32 wide = qint32(quint32(v));
    if (wide < -32768 || wide > 32767)
        return std::nullopt;
    return qint16(wide);
}

} // namespace

std::optional<qint16> ReadProfileInteger(const QString& text)
{
    // Blanks, tabs and line feeds do not count anywhere; other characters outside ASCII end
    // the number like any other non-number character.
    std::string s;
    s.reserve(size_t(text.size()));
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u' ' || u == u'\t' || u == u'\n')
            continue;
        s.push_back(u < 0x80 ? char(u) : '\x7f');
    }
    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'H' || s[1] == 'h')
            return readRadixNumber(s, 16);
        if (s[1] == 'O' || s[1] == 'o')
            return readRadixNumber(s, 8);
        return qint16(0);
    }

    std::string number;
    qsizetype i = 0;
    const qsizetype n = qsizetype(s.size());
    bool negative = false;
    if (i < n && (s[size_t(i)] == '+' || s[size_t(i)] == '-'))
        negative = s[size_t(i++)] == '-';
    qsizetype digits = readDigits(s, i, number);
    if (i < n && s[size_t(i)] == '.') {
        ++i;
        number.push_back('.');
        digits += readDigits(s, i, number);
    }
    if (digits == 0)
        return qint16(0);
    if (number.find_first_not_of("0.") == std::string::npos)
        return qint16(0);
    bool negativeExponent = false;
    if (i < n
        && (s[size_t(i)] == 'e' || s[size_t(i)] == 'E' || s[size_t(i)] == 'd'
            || s[size_t(i)] == 'D')) {
        qsizetype j = i + 1;
        std::string exponent;
        if (j < n && (s[size_t(j)] == '+' || s[size_t(j)] == '-')) {
            negativeExponent = s[size_t(j)] == '-';
            exponent.push_back(s[size_t(j++)]);
        }
        if (readDigits(s, j, exponent) > 0)
            number += 'e' + exponent;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        return negativeExponent ? std::optional<qint16>(qint16(0)) : std::nullopt;
    if (ec != std::errc())
        return qint16(0);
    return fitIn16Bits(negative ? -value : value);
}

} // namespace Commands

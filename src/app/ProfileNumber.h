// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

// How numbers are read from profile values. A pure function; any thread.
namespace Commands {

// The lenient number rule of profile values: blanks, tabs and line feeds ignored; sign,
// digits, decimal point, exponent, &H and &O numbers; 0 when the text does not start with a
// number; rounded half to even. Empty when the result does not fit a signed 16-bit integer.
std::optional<qint16> ReadProfileInteger(const QString& text);

} // namespace Commands

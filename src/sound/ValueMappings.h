// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <cstdlib>

// What the strips' values stand for, in one place: the engine maps knob values to volumes and
// pans with them, the mixer turns those into gains, and the tooltips show them. Plain
// functions of their arguments; any thread.
namespace DX7Sound {

// The Mute button's level and the Pan knob's centre.
constexpr quint8 kMuteLevel = 0;
constexpr quint8 kCentrePan = 50;

// Silence, in hundredths of a decibel; the lowest volume and the farthest pan.
constexpr int kSilentHundredths = -10000;

// The volume a level stands for, in hundredths of a decibel (level 100 = 0, each step 0.6 dB);
// SetChannelVolume's mapping.
constexpr int VolumeOfLevel(quint8 level)
{
    return level * 60 - 6000;
}

// The pan a Pan value stands for, in hundredths of a decibel taken off the other side: 0 is
// fully left, 100 fully right, 50 the centre, each step 1 dB in between; SetChannelPan's mapping.
constexpr int PanOfValue(quint8 pan)
{
    if (pan == 0)
        return kSilentHundredths;
    if (pan == 100)
        return -kSilentHundredths;
    return pan * 100 - 5000;
}

// The linear gain of an attenuation in hundredths of a decibel (0 or more is full scale);
// silence at kSilentHundredths and below. The mixer's law.
inline float GainOfHundredths(int hundredths)
{
    return hundredths <= kSilentHundredths ? 0.0f : float(std::pow(10.0, hundredths / 2000.0));
}

// A Level knob's value as the tooltips show it: "-12.0 dB"; the engine keeps the volume at or
// below 0 dB. A value the engine cannot take (outside 0..255) is shown as the number.
inline QString LevelText(qint16 level)
{
    if (level < 0 || level > 255)
        return QString::number(level);
    const int hundredths = std::min(VolumeOfLevel(static_cast<quint8>(level)), 0);
    return QString::number(hundredths / 100.0, 'f', 1) + QStringLiteral(" dB");
}

// A Pan knob's value as the tooltips show it: "C" at the centre, else "L" or "R" and the
// distance from it.
inline QString PanText(qint16 pan)
{
    if (pan == kCentrePan)
        return QStringLiteral("C");
    return (pan < kCentrePan ? QStringLiteral("L") : QStringLiteral("R"))
        + QString::number(std::abs(pan - kCentrePan));
}

} // namespace DX7Sound

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tests' reach into the player model, for states a gesture cannot set up cheaply (a column
// playing a clip that is no phrase file).

#include "player/PlayerModel.h"
#include "player/PlayerView.h"
#include "sound/DX7Sound.h"

struct PlayerModelParts
{
    // Starts the column's channel on the phrase it already holds (no load), flags the column,
    // presses its Play button and lights the lamp, as a started column looks.
    static void playHeld(PlayerModel& model, int column)
    {
        model.m_engine.PlayChannel(static_cast<qint16>(column), 1); // loop until stopped
        model.Playing.at(column) = true;
        model.m_view.setPlayButton(column, true);
        model.m_view.setSyncLamp(true);
    }
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the Settings dialog needs of the player once it stored a new sound directory.
// Implemented by the player; GUI thread only.
class SettingsIntents
{
public:
    virtual ~SettingsIntents() = default;

    // Refills the three lists from the sound directory (lets pending events run once).
    virtual void refreshLists() = 0;
    // True once the main window has closed and the program is ending.
    virtual bool unloaded() const = 0;
};

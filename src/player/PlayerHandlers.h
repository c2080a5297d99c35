#pragma once

#include <Qt>

class Form1;

// The main window's event handlers, as free functions over the window. Columns are 0, 1, 2
// (engine channels 0, 1, 2). GUI thread only; several let pending events run in their middle.
namespace Player {

// A mouse press in list `Index`, after the list moved its selection to the pressed row: records
// the list, opens the popup on a right press, else lines the lists up and reads the set's
// settings (Phrase Sync) and starts the set or the one phrase (Auto Play). Lets pending events
// run in its middle.
void lstPhrase_MouseDown(Form1& form, int Index, Qt::MouseButton Button);

// A Level knob turned: the channel's volume follows unless its Mute button is down.
void LevelKnob_Scroll(Form1& form, int column, qint16& Value);
// A Pan knob turned: the channel's pan follows.
void PanKnob_Scroll(Form1& form, int column, qint16& Value);
// A Pan knob double-clicked: knob and channel back to the centre.
void PanKnob_DblClick(Form1& form, int column);
// A Mute button pressed (Value already flipped): level 0, or the Level knob's level again.
void MuteButton_Push(Form1& form, int column, bool& Value);
// A Play button pressed: starts or stops the column's phrase, as its Playing flag says; with
// nothing selected the button goes back up through `Value`.
void PlayButton_Push(Form1& form, int column, bool& Value);

// The sync panel: stop everything flagged, else load and start every column with a selection.
// Lets pending events run between the loads and the starts; leaves the lamp in `Value`.
void syncButton_Push(Form1& form, bool& Value);

// Phrase Sync item clicked: inverts its check mark and sets PhraseSync from it.
void mnuSync_Click(Form1& form);
// Auto Play item clicked: inverts its check mark and sets AutoPlay from it.
void mnuAutoPlay_Click(Form1& form);
// Show Extension item clicked: inverts its check mark, sets ShowEnding and refills the lists.
void mnuEnding_Click(Form1& form);
// Save Settings: writes the strips' values into list 0's set settings file, then a notice.
// Does nothing while list 0 has no selection. The notice is modal.
void mnuSave_Click(Form1& form);

} // namespace Player

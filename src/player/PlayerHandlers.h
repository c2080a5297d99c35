#pragma once

#include <Qt>

class Form1;

// The main window's event handlers, as free functions over the window. Columns are 0, 1, 2
// (engine channels 0, 1, 2). GUI thread only; several let pending events run in their middle.
namespace Player {

// A mouse press in list `Index`, after the list moved its selection to the pressed row.
void lstPhrase_MouseDown(Form1& form, int Index, Qt::MouseButton Button);

// Channel strip events.
void LevelKnob_Scroll(Form1& form, int column, qint16& Value);
void PanKnob_Scroll(Form1& form, int column, qint16& Value);
void PanKnob_DblClick(Form1& form, int column);
void MuteButton_Push(Form1& form, int column, bool& Value);
void PlayButton_Push(Form1& form, int column, bool& Value);

// The sync panel: stop everything flagged, else load and start every column with a selection.
void syncButton_Push(Form1& form, bool& Value);

// Options menu check items and Save Settings.
void mnuSync_Click(Form1& form);
void mnuAutoPlay_Click(Form1& form);
void mnuEnding_Click(Form1& form);
void mnuSave_Click(Form1& form);

} // namespace Player

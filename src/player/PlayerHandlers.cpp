// Placeholder so that the program links while the handlers are being built.
#include "player/PlayerHandlers.h"

namespace Player {
void lstPhrase_MouseDown(Form1&, int, Qt::MouseButton) { }
void LevelKnob_Scroll(Form1&, int, qint16&) { }
void PanKnob_Scroll(Form1&, int, qint16&) { }
void PanKnob_DblClick(Form1&, int) { }
void MuteButton_Push(Form1&, int, bool&) { }
void PlayButton_Push(Form1&, int, bool&) { }
void syncButton_Push(Form1&, bool&) { }
void mnuSync_Click(Form1&) { }
void mnuAutoPlay_Click(Form1&) { }
void mnuEnding_Click(Form1&) { }
void mnuSave_Click(Form1&) { }
} // namespace Player

// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the main window on the demo phrase set, with the set selected and playing, as the
// README's picture shows it (the build target "screenshot" writes that picture; the test run
// leaves the source tree alone).

#include "player/AppModul.h"
#include "player/Form1.h"
#include "player/Form1Parts.h"
#include "player/ProgramParts.h"

#include "player/Form1TestKit.h"
#include "player/PhraseList.h"

#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

TEST(Form1Screenshot, RendersTheDemoSetInTheDesignColours)
{
    Form1TestKit::ProgramDir dir;
    dir.addPhrases({ "Demo_1.wav", "Demo_2.wav", "Demo_3.wav", "Metronome.wav" });
    const auto engine = Form1TestKit::offlineEngine();
    const StartedProgram form(AppModul::StartProgram(dir.values, *engine));
    for (int c = 0; c < 3; ++c) {
        ui(*form).lstPhrase[c]->setCurrentRow(0); // Demo_1, Demo_2, Demo_3
        ui(*form).playButton(c)->setValue(true);
    }
    ui(*form).syncButton1->setValue(true);

    const QImage shot = form->grab().toImage();
    ASSERT_EQ(shot.size() / shot.devicePixelRatio(), form->size());
    // The design colours where nothing covers them: the black client area, the red panel,
    // a header panel and the dark list background.
    const QPoint client = form->centralWidget()->pos();
    const auto pixel = [&](int x, int y) {
        return QColor(shot.pixel(int(x * shot.devicePixelRatio()),
                          int((client.y() + y) * shot.devicePixelRatio())))
            .rgb();
    };
    EXPECT_EQ(pixel(4, 4), QColor(Qt::black).rgb());
    EXPECT_EQ(pixel(16 + 2, 16 + 495), QColor(200, 50, 80).rgb());
    EXPECT_EQ(pixel(16 + 18, 16 + 10), QColor(224, 224, 224).rgb());
    EXPECT_EQ(pixel(16 + 16 + 100, 16 + 104 + 300), QColor(64, 64, 64).rgb());
}

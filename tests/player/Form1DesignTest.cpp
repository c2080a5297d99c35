// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's design: geometry, colours, fonts, captions, knob values, menus and the
// accessible names, on a window as it is right after it was created.

#include "player/Form1.h"
#include "player/Form1Parts.h"
#include "player/PlayerModel.h"
#include "player/ProgramParts.h"

#include "app/Placement.h"
#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "player/Form1TestKit.h"
#include "player/PhraseList.h"

#include <QAccessible>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

class Form1Design : public ::testing::Test
{
protected:
    Form1TestKit::ProgramDir dir;
    std::unique_ptr<DX7Sound::Engine> engine = Form1TestKit::offlineEngine();
    // The program's parts, built but not started.
    StartedProgram form { std::make_unique<AppModul::Program>(dir.values, *engine) };
};

QColor colour(const QWidget* widget, QPalette::ColorRole role)
{
    return widget->palette().color(QPalette::Active, role);
}

void expectFont(const QWidget* widget, int pixelSize, const char* what)
{
    SCOPED_TRACE(what);
    EXPECT_EQ(widget->font().pixelSize(), pixelSize);
    EXPECT_TRUE(widget->font().bold());
    // The face really resolves (fonts-liberation is installed), not a fallback.
    EXPECT_EQ(QFontInfo(widget->font()).family(), QStringLiteral("Liberation Sans"));
}

QStringList actionTexts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (const QAction* a : actions)
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return texts;
}

} // namespace

TEST_F(Form1Design, ClientAreaIsFixedBlackAndBelowTheMenuBar)
{
    const QWidget* client = form->centralWidget();
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->size(), QSize(716, 657));
    EXPECT_EQ(colour(client, QPalette::Window), QColor(Qt::black));
    EXPECT_TRUE(client->autoFillBackground());
    EXPECT_EQ(client->y(), form->menuBar()->height());
    EXPECT_EQ(form->size(), QSize(716, 657 + form->menuBar()->height()));
    // Not resizable.
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Form1"));
    EXPECT_FALSE(form->windowIcon().isNull());
    // Form_Load placed the window by the placement rule, with its final size.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(form->pos(),
        screen.topLeft() + Commands::PlacementFor(screen.size(), form->frameGeometry().size()));
}

TEST_F(Form1Design, PanelsAndCaptionsStandWhereTheDesignPutsThem)
{
    EXPECT_EQ(ui(*form).panel->parentWidget(), form->centralWidget());
    EXPECT_EQ(ui(*form).panel->geometry(), QRect(16, 16, 685, 501));
    // Form_Load's colours.
    EXPECT_EQ(colour(ui(*form).panel, QPalette::Window), QColor(200, 50, 80));
    EXPECT_TRUE(ui(*form).panel->autoFillBackground());

    const int left[3] = { 16, 236, 456 };
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        const QWidget* header = ui(*form).header[c];
        EXPECT_EQ(header->parentWidget(), ui(*form).panel);
        EXPECT_EQ(header->geometry(), QRect(left[c], 8, 209, 29));
        EXPECT_EQ(colour(header, QPalette::Window), QColor(224, 224, 224));
        EXPECT_TRUE(header->autoFillBackground());

        const QLabel* caption = ui(*form).headerCaption[c];
        EXPECT_EQ(caption->parentWidget(), header);
        EXPECT_EQ(caption->geometry(), QRect(0, 0, 213, 29));
        EXPECT_EQ(caption->text(), QStringLiteral("P H R A S E   %1").arg(c + 1));
        EXPECT_EQ(caption->alignment(), Qt::AlignCenter);
        EXPECT_FALSE(caption->autoFillBackground());
        EXPECT_EQ(colour(caption, QPalette::WindowText), QColor(200, 50, 80));
        expectFont(caption, 24, "header caption");
    }
}

TEST_F(Form1Design, SmallCaptionsFollowTheTableIncludingItsIrregularities)
{
    struct Row
    {
        const QLabel* label;
        const char* text;
        QRect geometry;
    };
    const Row rows[] = {
        { ui(*form).levelCaption[0], "Level", { 15, 40, 53, 13 } },
        { ui(*form).levelCaption[1], "Level", { 237, 40, 49, 13 } },
        { ui(*form).levelCaption[2], "Level", { 455, 40, 53, 13 } },
        { ui(*form).panCaption[0], "Pan", { 83, 40, 33, 13 } },
        { ui(*form).panCaption[1], "Pan", { 303, 40, 33, 13 } },
        { ui(*form).panCaption[2], "Pan", { 519, 40, 41, 13 } },
        { ui(*form).muteCaption[0], "Mute", { 140, 40, 33, 13 } },
        { ui(*form).muteCaption[1], "Mute", { 360, 40, 33, 13 } },
        { ui(*form).muteCaption[2], "Mute", { 580, 40, 33, 13 } },
        { ui(*form).playCaption[0], "Play", { 184, 40, 33, 13 } },
        { ui(*form).playCaption[1], "Play", { 404, 40, 33, 13 } },
        { ui(*form).playCaption[2], "Play", { 624, 40, 33, 13 } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.geometry.x());
        ASSERT_NE(row.label, nullptr);
        EXPECT_EQ(row.label->parentWidget(), ui(*form).panel);
        EXPECT_EQ(row.label->text(), QLatin1String(row.text));
        EXPECT_EQ(row.label->geometry(), row.geometry);
        EXPECT_TRUE(row.label->alignment() & Qt::AlignHCenter);
        EXPECT_FALSE(row.label->autoFillBackground());
        EXPECT_EQ(colour(row.label, QPalette::WindowText), QColor(224, 224, 224));
        expectFont(row.label, 11, row.text);
    }
}

TEST_F(Form1Design, KnobsAndKeysCarryTheirDesignValues)
{
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        const int shift = 220 * c;
        const animKnob* level = ui(*form).levelKnob(c);
        const animKnob* pan = ui(*form).panKnob(c);
        EXPECT_EQ(level->parentWidget(), ui(*form).panel);
        EXPECT_EQ(level->geometry(), QRect(18 + shift, 52, 50, 50));
        EXPECT_EQ(level->Min(), 40);
        EXPECT_EQ(level->Max(), 100);
        EXPECT_EQ(level->Value(), 80);
        EXPECT_EQ(level->currentFrame(), 52);
        EXPECT_EQ(pan->geometry(), QRect(75 + shift, 52, 50, 50));
        EXPECT_EQ(pan->Min(), 35);
        EXPECT_EQ(pan->Max(), 65);
        EXPECT_EQ(pan->Value(), 50);
        EXPECT_EQ(pan->currentFrame(), 39);

        EXPECT_EQ(ui(*form).muteButton(c)->geometry(), QRect(144 + shift, 64, 29, 20));
        EXPECT_FALSE(ui(*form).muteButton(c)->Value());
        EXPECT_EQ(ui(*form).playButton(c)->geometry(), QRect(188 + shift, 64, 29, 20));
        EXPECT_FALSE(ui(*form).playButton(c)->Value());
        EXPECT_FALSE(form->model().playing(c));
    }
    // The named controls are the column helpers' controls.
    EXPECT_EQ(ui(*form).animKnob3, ui(*form).levelKnob(1));
    EXPECT_EQ(ui(*form).animKnob6, ui(*form).panKnob(2));
    EXPECT_EQ(ui(*form).miniButton2, ui(*form).muteButton(1));
    EXPECT_EQ(ui(*form).miniButtonGreen3, ui(*form).playButton(2));

    EXPECT_EQ(ui(*form).syncButton1->parentWidget(), form->centralWidget());
    EXPECT_EQ(ui(*form).syncButton1->geometry(), QRect(16, 524, 685, 121));
    EXPECT_FALSE(ui(*form).syncButton1->Value());
}

TEST_F(Form1Design, PhraseListsHaveTheirGeometryColoursAndOneSelectedRow)
{
    const int left[3] = { 16, 236, 456 };
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        const PhraseList* list = ui(*form).lstPhrase[c];
        EXPECT_EQ(list->parentWidget(), ui(*form).panel);
        EXPECT_EQ(list->geometry(), QRect(left[c], 104, 209, 381));
        EXPECT_EQ(colour(list, QPalette::Base), QColor(64, 64, 64));
        EXPECT_EQ(colour(list, QPalette::Text), QColor(255, 255, 128));
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
        expectFont(list, 11, "list");
        EXPECT_EQ(list->count(), 0);
    }
}

TEST_F(Form1Design, MenusStandInTheirOrderWithTheDesignCheckMarks)
{
    const QList<QAction*> bar = form->menuBar()->actions();
    ASSERT_EQ(bar.size(), 3);
    EXPECT_EQ(bar[0], ui(*form).mnuOptions->menuAction());
    EXPECT_EQ(bar[0]->text(), QStringLiteral("Options"));
    EXPECT_EQ(bar[1], ui(*form).mnuSave);
    EXPECT_EQ(ui(*form).mnuSave->text(), QStringLiteral("Save Settings"));
    EXPECT_EQ(ui(*form).mnuSave->menu(), nullptr);
    // Right of Save Settings, the Tempo menu, titled plainly at the recorded tempo and key.
    const auto* tempo = form->findChild<QMenu*>(QStringLiteral("mnuTempo"));
    ASSERT_NE(tempo, nullptr);
    EXPECT_EQ(bar[2], tempo->menuAction());
    EXPECT_EQ(tempo->title(), QStringLiteral("Tempo"));
    EXPECT_EQ(actionTexts(tempo->actions()),
        (QStringList { "Faster", "Slower", "Faster by 1 %", "Slower by 1 %", "-", "Key up",
            "Key down", "-", "Original tempo and key" }));

    EXPECT_EQ(actionTexts(ui(*form).mnuOptions->actions()),
        (QStringList { "Settings...", "-", "Phrase Sync", "Auto Play", "Show Extension",
            "Line Up by Name", "Play Parts in Step" }));
    EXPECT_EQ(ui(*form).mnuOptions->actions()[0], ui(*form).mnuSettings);
    EXPECT_EQ(ui(*form).mnuOptions->actions()[2], ui(*form).mnuSync);
    EXPECT_EQ(ui(*form).mnuOptions->actions()[3], ui(*form).mnuAutoPlay);
    EXPECT_EQ(ui(*form).mnuOptions->actions()[4], ui(*form).mnuEnding);
    EXPECT_EQ(ui(*form).mnuOptions->actions()[5], ui(*form).mnuLineUp);
    EXPECT_EQ(ui(*form).mnuOptions->actions()[6], ui(*form).mnuInStep);
    EXPECT_FALSE(ui(*form).mnuSettings->isCheckable());
    for (const QAction* item : { ui(*form).mnuSync, ui(*form).mnuAutoPlay, ui(*form).mnuEnding,
             ui(*form).mnuLineUp, ui(*form).mnuInStep })
        EXPECT_TRUE(item->isCheckable()) << item->text().toStdString();
    EXPECT_TRUE(ui(*form).mnuSync->isChecked());
    EXPECT_TRUE(ui(*form).mnuAutoPlay->isChecked());
    EXPECT_FALSE(ui(*form).mnuEnding->isChecked());
    EXPECT_TRUE(ui(*form).mnuLineUp->isChecked());
    EXPECT_FALSE(ui(*form).mnuInStep->isChecked());

    EXPECT_EQ(actionTexts(ui(*form).mnuPop->actions()),
        (QStringList {
            "Rename Phrase", "Rename Phrase Set", "-", "Delete Phrase", "Delete Phrase Set" }));
    EXPECT_EQ(ui(*form).mnuPop->actions()[0], ui(*form).mnuRename);
    EXPECT_EQ(ui(*form).mnuPop->actions()[1], ui(*form).mnuRenameSet);
    EXPECT_EQ(ui(*form).mnuPop->actions()[3], ui(*form).mnuDel);
    EXPECT_EQ(ui(*form).mnuPop->actions()[4], ui(*form).mnuDelSet);
    EXPECT_FALSE(bar.contains(ui(*form).mnuPop->menuAction()));
}

TEST_F(Form1Design, CheckMarksMirrorFlagsOnlyWhenTheyAreExactlyOne)
{
    struct Case
    {
        qint16 ending, autoPlay, sync;
        bool endingOn, autoPlayOn, syncOn;
    };
    const Case cases[] = {
        { 1, 1, 1, true, true, true },
        { 0, 0, 0, false, false, false },
        { 2, -1, 1, false, false, true },
        { 1, 0, 2, true, false, false },
    };
    for (const Case& c : cases) {
        dir.values.ShowEnding = c.ending;
        dir.values.AutoPlay = c.autoPlay;
        dir.values.PhraseSync = c.sync;
        form->applyOptionChecks();
        EXPECT_EQ(ui(*form).mnuEnding->isChecked(), c.endingOn) << c.ending;
        EXPECT_EQ(ui(*form).mnuAutoPlay->isChecked(), c.autoPlayOn) << c.autoPlay;
        EXPECT_EQ(ui(*form).mnuSync->isChecked(), c.syncOn) << c.sync;
    }
}

TEST_F(Form1Design, AMenuClickFlipsTheCheckMarkOnceAndTheFlagFollows)
{
    // Qt flips a checkable item itself; the handler must not flip it back.
    dir.values.AutoPlay = 1;
    form->applyOptionChecks();
    ui(*form).mnuAutoPlay->trigger();
    EXPECT_FALSE(ui(*form).mnuAutoPlay->isChecked());
    EXPECT_EQ(dir.values.AutoPlay, 0);
    ui(*form).mnuAutoPlay->trigger();
    EXPECT_TRUE(ui(*form).mnuAutoPlay->isChecked());
    EXPECT_EQ(dir.values.AutoPlay, 1);
}

TEST_F(Form1Design, AssistiveTechnologiesSeeEveryControlByName)
{
    QList<std::pair<QWidget*, QString>> expected;
    for (int c = 0; c < 3; ++c) {
        const QString n = QString::number(c + 1);
        expected.append({ ui(*form).levelKnob(c), QStringLiteral("Level ") + n });
        expected.append({ ui(*form).panKnob(c), QStringLiteral("Pan ") + n });
        expected.append({ ui(*form).muteButton(c), QStringLiteral("Mute ") + n });
        expected.append({ ui(*form).playButton(c), QStringLiteral("Play ") + n });
        expected.append({ ui(*form).lstPhrase[c], QStringLiteral("Phrase ") + n });
    }
    expected.append({ ui(*form).syncButton1, QStringLiteral("Sync all: start / stop") });
    for (const auto& [widget, name] : expected) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(face, nullptr) << name.toStdString();
        EXPECT_EQ(face->text(QAccessible::Name), name);
    }
}

TEST_F(Form1Design, ModelSeesTheListsAndDrivesTheButtonsThroughTheWindow)
{
    const Form1Parts parts = ui(*form);
    parts.lstPhrase[1]->addItems({ "a_2", "b_2", "Count-in" });
    EXPECT_EQ(form->model().entries(1), (QStringList { "a_2", "b_2", "Count-in" }));
    EXPECT_EQ(form->model().selectedEntry(1), QString());
    EXPECT_TRUE(form->model().entries(0).isEmpty());
    parts.lstPhrase[1]->setCurrentRow(2);
    EXPECT_EQ(form->model().selectedEntry(1), QStringLiteral("Count-in"));
    // The current row without a selection is not a selected entry.
    parts.lstPhrase[1]->clearSelection();
    EXPECT_EQ(form->model().selectedEntry(1), QString());

    // A start presses the column's Play button and lights the lamp; the library's stop of
    // that column raises both again.
    parts.lstPhrase[1]->setCurrentRow(0);
    parts.playButton(1)->setValue(true); // as the press flipped it
    EXPECT_TRUE(form->model().pressPlay(1));
    EXPECT_TRUE(form->model().playing(1));
    EXPECT_TRUE(parts.syncButton1->Value());
    EXPECT_FALSE(parts.playButton(2)->Value());
    EXPECT_TRUE(form->model().stopColumn(1));
    EXPECT_FALSE(form->model().playing(1));
    EXPECT_FALSE(parts.playButton(1)->Value());
    EXPECT_FALSE(parts.syncButton1->Value());
}

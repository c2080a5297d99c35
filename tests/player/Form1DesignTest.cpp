// The main window's design: geometry, colours, fonts, captions, knob values, menus and the
// accessible names, on a window as it is right after it was created.

#include "player/Form1.h"

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
    std::unique_ptr<Form1> form = std::make_unique<Form1>(dir.values, *engine);
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
    EXPECT_EQ(form->Picture1->parentWidget(), form->centralWidget());
    EXPECT_EQ(form->Picture1->geometry(), QRect(16, 16, 685, 501));
    // Form_Load's colours.
    EXPECT_EQ(colour(form->Picture1, QPalette::Window), QColor(200, 50, 80));
    EXPECT_TRUE(form->Picture1->autoFillBackground());

    const int left[3] = { 16, 236, 456 };
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        const QWidget* header = form->Picture2[c];
        EXPECT_EQ(header->parentWidget(), form->Picture1);
        EXPECT_EQ(header->geometry(), QRect(left[c], 8, 209, 29));
        EXPECT_EQ(colour(header, QPalette::Window), QColor(224, 224, 224));
        EXPECT_TRUE(header->autoFillBackground());

        const QLabel* caption = form->Label2[c];
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
        { form->lblVolume[0], "Level", { 15, 40, 53, 13 } },
        { form->lblVolume[1], "Level", { 237, 40, 49, 13 } },
        { form->lblVolume[2], "Level", { 455, 40, 53, 13 } },
        { form->Label1[0], "Pan", { 83, 40, 33, 13 } },
        { form->Label1[1], "Pan", { 303, 40, 33, 13 } },
        { form->Label1[2], "Pan", { 519, 40, 41, 13 } },
        { form->Label1[3], "Mute", { 140, 40, 33, 13 } },
        { form->Label1[6], "Mute", { 360, 40, 33, 13 } },
        { form->Label1[8], "Mute", { 580, 40, 33, 13 } },
        { form->Label1[4], "Play", { 184, 40, 33, 13 } },
        { form->Label1[5], "Play", { 404, 40, 33, 13 } },
        { form->Label1[7], "Play", { 624, 40, 33, 13 } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.geometry.x());
        ASSERT_NE(row.label, nullptr);
        EXPECT_EQ(row.label->parentWidget(), form->Picture1);
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
        const animKnob* level = form->levelKnob(c);
        const animKnob* pan = form->panKnob(c);
        EXPECT_EQ(level->parentWidget(), form->Picture1);
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

        EXPECT_EQ(form->muteButton(c)->geometry(), QRect(144 + shift, 64, 29, 20));
        EXPECT_FALSE(form->muteButton(c)->Value());
        EXPECT_EQ(form->playButton(c)->geometry(), QRect(188 + shift, 64, 29, 20));
        EXPECT_FALSE(form->playButton(c)->Value());
        EXPECT_FALSE(form->Playing[c]);
    }
    // The named controls are the column helpers' controls.
    EXPECT_EQ(form->animKnob3, form->levelKnob(1));
    EXPECT_EQ(form->animKnob6, form->panKnob(2));
    EXPECT_EQ(form->miniButton2, form->muteButton(1));
    EXPECT_EQ(form->miniButtonGreen3, form->playButton(2));

    EXPECT_EQ(form->syncButton1->parentWidget(), form->centralWidget());
    EXPECT_EQ(form->syncButton1->geometry(), QRect(16, 524, 685, 121));
    EXPECT_FALSE(form->syncButton1->Value());
}

TEST_F(Form1Design, PhraseListsHaveTheirGeometryColoursAndOneSelectedRow)
{
    const int left[3] = { 16, 236, 456 };
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        const PhraseList* list = form->lstPhrase[c];
        EXPECT_EQ(list->parentWidget(), form->Picture1);
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
    ASSERT_EQ(bar.size(), 2);
    EXPECT_EQ(bar[0], form->mnuOptions->menuAction());
    EXPECT_EQ(bar[0]->text(), QStringLiteral("Options"));
    EXPECT_EQ(bar[1], form->mnuSave);
    EXPECT_EQ(form->mnuSave->text(), QStringLiteral("Save Settings"));
    EXPECT_EQ(form->mnuSave->menu(), nullptr);

    EXPECT_EQ(actionTexts(form->mnuOptions->actions()),
        (QStringList { "Settings...", "-", "Phrase Sync", "Auto Play", "Show Extension" }));
    EXPECT_EQ(form->mnuOptions->actions()[0], form->mnuSettings);
    EXPECT_EQ(form->mnuOptions->actions()[2], form->mnuSync);
    EXPECT_EQ(form->mnuOptions->actions()[3], form->mnuAutoPlay);
    EXPECT_EQ(form->mnuOptions->actions()[4], form->mnuEnding);
    EXPECT_FALSE(form->mnuSettings->isCheckable());
    for (const QAction* item : { form->mnuSync, form->mnuAutoPlay, form->mnuEnding })
        EXPECT_TRUE(item->isCheckable()) << item->text().toStdString();
    EXPECT_TRUE(form->mnuSync->isChecked());
    EXPECT_TRUE(form->mnuAutoPlay->isChecked());
    EXPECT_FALSE(form->mnuEnding->isChecked());

    EXPECT_EQ(actionTexts(form->mnuPop->actions()),
        (QStringList {
            "Rename Phrase", "Rename Phrase Set", "-", "Delete Phrase", "Delete Phrase Set" }));
    EXPECT_EQ(form->mnuPop->actions()[0], form->mnuRename);
    EXPECT_EQ(form->mnuPop->actions()[1], form->mnuRenameSet);
    EXPECT_EQ(form->mnuPop->actions()[3], form->mnuDel);
    EXPECT_EQ(form->mnuPop->actions()[4], form->mnuDelSet);
    EXPECT_FALSE(bar.contains(form->mnuPop->menuAction()));
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
        EXPECT_EQ(form->mnuEnding->isChecked(), c.endingOn) << c.ending;
        EXPECT_EQ(form->mnuAutoPlay->isChecked(), c.autoPlayOn) << c.autoPlay;
        EXPECT_EQ(form->mnuSync->isChecked(), c.syncOn) << c.sync;
    }
}

TEST_F(Form1Design, AMenuClickFlipsTheCheckMarkOnceAndTheFlagFollows)
{
    // Qt flips a checkable item itself; the handler must not flip it back.
    dir.values.AutoPlay = 1;
    form->applyOptionChecks();
    form->mnuAutoPlay->trigger();
    EXPECT_FALSE(form->mnuAutoPlay->isChecked());
    EXPECT_EQ(dir.values.AutoPlay, 0);
    form->mnuAutoPlay->trigger();
    EXPECT_TRUE(form->mnuAutoPlay->isChecked());
    EXPECT_EQ(dir.values.AutoPlay, 1);
}

TEST_F(Form1Design, AssistiveTechnologiesSeeEveryControlByName)
{
    QList<std::pair<QWidget*, QString>> expected;
    for (int c = 0; c < 3; ++c) {
        const QString n = QString::number(c + 1);
        expected.append({ form->levelKnob(c), QStringLiteral("Level ") + n });
        expected.append({ form->panKnob(c), QStringLiteral("Pan ") + n });
        expected.append({ form->muteButton(c), QStringLiteral("Mute ") + n });
        expected.append({ form->playButton(c), QStringLiteral("Play ") + n });
        expected.append({ form->lstPhrase[c], QStringLiteral("Phrase ") + n });
    }
    expected.append({ form->syncButton1, QStringLiteral("Sync all: start / stop") });
    for (const auto& [widget, name] : expected) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(face, nullptr) << name.toStdString();
        EXPECT_EQ(face->text(QAccessible::Name), name);
    }
}

TEST_F(Form1Design, HostViewReportsEntriesSelectionAndButtons)
{
    form->lstPhrase[1]->addItems({ "a_2", "b_2", "Count-in" });
    EXPECT_EQ(form->entries(1), (QStringList { "a_2", "b_2", "Count-in" }));
    EXPECT_EQ(form->selectedEntry(1), QString());
    EXPECT_TRUE(form->entries(0).isEmpty());
    form->lstPhrase[1]->setCurrentRow(2);
    EXPECT_EQ(form->selectedEntry(1), QStringLiteral("Count-in"));
    // The current row without a selection is not a selected entry.
    form->lstPhrase[1]->clearSelection();
    EXPECT_EQ(form->selectedEntry(1), QString());

    form->setPlayButton(2, true);
    EXPECT_TRUE(form->playButton(2)->Value());
    EXPECT_FALSE(form->playButton(1)->Value());
    form->setSyncButton(true);
    EXPECT_TRUE(form->syncButton1->Value());
    form->setPlaying(1, true);
    EXPECT_TRUE(form->playing(1));
    EXPECT_TRUE(form->Playing[1]);
    EXPECT_EQ(form->hostWindow(), form.get());
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window's controls as tests reach them: found by their object names, as any outside
// code would find them, never through the window's private fields. Test thread only.

#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "player/PhraseList.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QWidget>
#include <array>
#include <gtest/gtest.h>

struct Form1Parts
{
    explicit Form1Parts(QWidget& form)
    {
        const auto find = [&form]<typename T>(T*& into, const QString& name) {
            into = form.findChild<T*>(name);
            EXPECT_NE(into, nullptr) << "no control named " << name.toStdString();
        };
        find(panel, QStringLiteral("stripPanel"));
        for (int c = 0; c < 3; ++c) {
            const QString n = QString::number(c + 1);
            find(header[c], QStringLiteral("header") + n);
            find(headerCaption[c], QStringLiteral("headerCaption") + n);
            find(levelCaption[c], QStringLiteral("levelCaption") + n);
            find(panCaption[c], QStringLiteral("panCaption") + n);
            find(muteCaption[c], QStringLiteral("muteCaption") + n);
            find(playCaption[c], QStringLiteral("playCaption") + n);
            find(lstPhrase[c], QStringLiteral("lstPhrase_%1").arg(c));
            find(level[c], QStringLiteral("animKnob%1").arg(2 * c + 1));
            find(pan[c], QStringLiteral("animKnob%1").arg(2 * c + 2));
            find(mute[c], QStringLiteral("miniButton") + n);
            find(play[c], QStringLiteral("miniButtonGreen") + n);
        }
        animKnob1 = level[0];
        animKnob2 = pan[0];
        animKnob3 = level[1];
        animKnob4 = pan[1];
        animKnob5 = level[2];
        animKnob6 = pan[2];
        miniButton1 = mute[0];
        miniButton2 = mute[1];
        miniButton3 = mute[2];
        miniButtonGreen1 = play[0];
        miniButtonGreen2 = play[1];
        miniButtonGreen3 = play[2];
        find(syncButton1, QStringLiteral("syncButton1"));
        find(mnuOptions, QStringLiteral("mnuOptions"));
        find(mnuPop, QStringLiteral("mnuPop"));
        find(mnuSettings, QStringLiteral("mnuSettings"));
        find(mnuSync, QStringLiteral("mnuSync"));
        find(mnuAutoPlay, QStringLiteral("mnuAutoPlay"));
        find(mnuEnding, QStringLiteral("mnuEnding"));
        find(mnuLineUp, QStringLiteral("mnuLineUp"));
        find(mnuInStep, QStringLiteral("mnuInStep"));
        find(mnuSave, QStringLiteral("mnuSave"));
        find(mnuRename, QStringLiteral("mnuRename"));
        find(mnuRenameSet, QStringLiteral("mnuRenameSet"));
        find(mnuDel, QStringLiteral("mnuDel"));
        find(mnuDelSet, QStringLiteral("mnuDelSet"));
    }

    animKnob* levelKnob(int column) const { return level.at(size_t(column)); }
    animKnob* panKnob(int column) const { return pan.at(size_t(column)); }
    StripButton* muteButton(int column) const { return mute.at(size_t(column)); }
    StripButton* playButton(int column) const { return play.at(size_t(column)); }

    QWidget* panel = nullptr; // the red panel behind the columns
    std::array<QWidget*, 3> header {};
    std::array<QLabel*, 3> headerCaption {};
    std::array<QLabel*, 3> levelCaption {};
    std::array<QLabel*, 3> panCaption {};
    std::array<QLabel*, 3> muteCaption {};
    std::array<QLabel*, 3> playCaption {};
    std::array<PhraseList*, 3> lstPhrase {};
    std::array<animKnob*, 3> level {};
    std::array<animKnob*, 3> pan {};
    std::array<miniButton*, 3> mute {};
    std::array<miniButtonGreen*, 3> play {};
    animKnob* animKnob1 = nullptr;
    animKnob* animKnob2 = nullptr;
    animKnob* animKnob3 = nullptr;
    animKnob* animKnob4 = nullptr;
    animKnob* animKnob5 = nullptr;
    animKnob* animKnob6 = nullptr;
    miniButton* miniButton1 = nullptr;
    miniButton* miniButton2 = nullptr;
    miniButton* miniButton3 = nullptr;
    miniButtonGreen* miniButtonGreen1 = nullptr;
    miniButtonGreen* miniButtonGreen2 = nullptr;
    miniButtonGreen* miniButtonGreen3 = nullptr;
    syncButton* syncButton1 = nullptr;
    QMenu* mnuOptions = nullptr;
    QMenu* mnuPop = nullptr;
    QAction* mnuSettings = nullptr;
    QAction* mnuSync = nullptr;
    QAction* mnuAutoPlay = nullptr;
    QAction* mnuEnding = nullptr;
    QAction* mnuLineUp = nullptr;
    QAction* mnuInStep = nullptr;
    QAction* mnuSave = nullptr;
    QAction* mnuRename = nullptr;
    QAction* mnuRenameSet = nullptr;
    QAction* mnuDel = nullptr;
    QAction* mnuDelSet = nullptr;
};

// The controls of `form`, looked up afresh.
inline Form1Parts ui(QWidget& form)
{
    return Form1Parts(form);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ManageTestSupport.h"
#include "manage/LibraryCommands.h"
#include "player/PlayerModel.h"
#include "player/PlayerModelParts.h"
#include "sound/AudioDevice.h"
#include "sound/DX7Sound.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ManageTest {

// A sound directory in a temporary directory, the window stand-in with its lists, the real
// player model and engine over the offline device (channels preloaded), the commands under
// test, and a private trash.
class ManageFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && clipDir.isValid() && dataHome.isValid());
        m_savedDataHome = qgetenv("XDG_DATA_HOME");
        m_hadDataHome = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
        values.WAVpath = dir.path() + QLatin1Char('/');
        values.ShowEnding = 1;
        const QString clip = clipDir.path() + QStringLiteral("/clip.wav");
        ASSERT_TRUE(writeFile(clip, makeWav()));
        ASSERT_TRUE(engine.InitDirectSound());
        engine.InitChannels(10, clip);
        host.window.show();
    }
    void TearDown() override
    {
        flushDeletes();
        if (m_hadDataHome)
            qputenv("XDG_DATA_HOME", m_savedDataHome);
        else
            qunsetenv("XDG_DATA_HOME");
    }

    static void flushDeletes()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QString path(const QString& name) const { return values.WAVpath + name; }
    // Creates `name` in the sound directory with its own name as content.
    void add(const QString& name) { ASSERT_TRUE(writeFile(path(name), name.toUtf8())); }
    void addAll(const QStringList& names)
    {
        for (const QString& n : names)
            add(n);
    }
    // True when `name` exists with the content `add` gave `original`.
    bool holds(const QString& name, const QString& original) const
    {
        return readFile(path(name)) == original.toUtf8();
    }
    QStringList files() const { return listing(dir.path()); }
    QString trashed(const QString& name) const
    {
        return dataHome.path() + QStringLiteral("/Trash/files/") + name;
    }

    // Fills the lists as the main window would and forgets that refresh.
    void refresh()
    {
        model.refreshLists();
        host.refreshes = 0;
    }
    // Starts column `c` on the clip its channel holds, as the player does, with its flag and
    // buttons.
    void play(int c)
    {
        PlayerModelParts::playHeld(model, c);
        engine.flush();
        ASSERT_TRUE(enginePlays(c));
        host.syncSets = 0;
    }
    bool flagged(int c) const { return model.playing(c); }
    bool enginePlays(int c) const { return engine.status(qint16(c)).playing; }

    void expectRefreshedAndUnselected()
    {
        EXPECT_GE(host.refreshes, 1);
        EXPECT_TRUE(host.nothingSelected());
    }

    QTemporaryDir dir;
    QTemporaryDir clipDir;
    QTemporaryDir dataHome;
    Commands::ProgramValues values;
    FakeHost host;
    DX7Sound::Engine engine { [] { return std::make_unique<DX7Sound::OfflineDevice>(); } };
    DirectoryWatcher watcher;
    PlayerModel model { host, values, engine, watcher };
    LibraryCommands commands { model, values, &host.window };

private:
    QByteArray m_savedDataHome;
    bool m_hadDataHome = false;
};

} // namespace ManageTest

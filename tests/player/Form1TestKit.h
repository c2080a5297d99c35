// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A private program directory for one test: the program's values as InitPaths would set them
// for an executable "sorvanto" in a temporary directory, a private runtime directory, and an
// engine on an offline device. Test thread only.

#include "app/Commands.h"
#include "sound/AudioDevice.h"
#include "sound/DX7Sound.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

namespace Form1TestKit {

struct ProgramDir
{
    QTemporaryDir root;
    Commands::ProgramValues values;

    ProgramDir()
    {
        QDir(root.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(root.filePath(QStringLiteral("run")),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        values.AppDir = root.path() + QLatin1Char('/');
        values.AppExeName = QStringLiteral("sorvanto");
        values.TempDir = root.filePath(QStringLiteral("run")) + QLatin1Char('/');
    }

    QString iniFile() const { return values.AppDir + values.AppExeName + QStringLiteral(".ini"); }

    void writeSettings(const QByteArray& text) const
    {
        QFile file(iniFile());
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text);
    }

    QByteArray settingsText() const
    {
        QFile file(iniFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Creates empty files with these names in the program directory (the default sound
    // directory); the listing only looks at names.
    void addPhrases(const QStringList& names) const
    {
        for (const QString& name : names) {
            QFile file(values.AppDir + name);
            if (file.open(QIODevice::WriteOnly))
                file.write("x");
        }
    }
};

// An engine whose device is an offline output that nobody pulls.
inline std::unique_ptr<DX7Sound::Engine> offlineEngine()
{
    return std::make_unique<DX7Sound::Engine>(
        [] { return std::make_unique<DX7Sound::OfflineDevice>(); });
}

} // namespace Form1TestKit

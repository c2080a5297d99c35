// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the main window on the demo phrase set, with the set selected and playing, and writes
// the picture the README shows. Run by the build target "screenshot":
//     take_screenshot <output.png>
// The window is drawn off screen with a sound engine that nobody listens to.

#include "app/Commands.h"
#include "controls/StripButton.h"
#include "player/AppModul.h"
#include "player/Form1.h"
#include "player/PhraseList.h"
#include "sound/AudioDevice.h"
#include "sound/DX7Sound.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: take_screenshot <output.png>\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    // A private program directory holding the demo set's names; the listing looks at names only.
    QTemporaryDir root;
    if (!root.isValid() || !QDir(root.path()).mkpath(QStringLiteral("run")))
        return 1;
    Commands::ProgramValues values;
    values.AppDir = root.path() + QLatin1Char('/');
    values.AppExeName = QStringLiteral("sorvanto");
    values.TempDir = root.filePath(QStringLiteral("run")) + QLatin1Char('/');
    for (const char* name : { "Demo_1.wav", "Demo_2.wav", "Demo_3.wav", "Metronome.wav" }) {
        QFile file(values.AppDir + QLatin1String(name));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("x");
    }

    DX7Sound::Engine engine([] { return std::make_unique<DX7Sound::OfflineDevice>(); });
    const std::unique_ptr<AppModul::Program> program = AppModul::StartProgram(values, engine);
    Form1* form = &program->window();
    for (int c = 0; c < 3; ++c) {
        auto* list = form->findChild<PhraseList*>(QStringLiteral("lstPhrase_%1").arg(c));
        auto* play = form->findChild<StripButton*>(QStringLiteral("miniButtonGreen%1").arg(c + 1));
        if (!list || !play)
            return 1;
        list->setCurrentRow(0); // Demo_1, Demo_2, Demo_3
        play->setValue(true);
    }
    if (auto* sync = form->findChild<StripButton*>(QStringLiteral("syncButton1")))
        sync->setValue(true);

    const QImage shot = form->grab().toImage();
    if (shot.isNull() || !shot.save(output, "PNG")) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

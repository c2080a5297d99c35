// Placeholder so that the program links while the main window is being built.
#include "player/Form1.h"

#include "app/Commands.h"
#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "dialogs/SettingsCommand.h"
#include "manage/LibraryCommands.h"
#include "player/PhraseList.h"
#include "sound/DX7Sound.h"

#include <QCloseEvent>

Form1::Form1(Commands::ProgramValues& values, DX7Sound::Engine& engine, QWidget* parent)
    : QMainWindow(parent)
    , m_values(values)
    , m_engine(engine)
    , m_library(std::make_unique<LibraryCommands>(*this, values, engine))
    , m_settings(std::make_unique<SettingsCommand>(*this, values))
{
}
Form1::~Form1() = default;
void Form1::LoadDXSound() { }
void Form1::RefreshPhraseLists() { }
void Form1::applyOptionChecks() { }
animKnob* Form1::levelKnob(int column) const
{
    const std::array<animKnob*, 3> k { animKnob1, animKnob3, animKnob5 };
    return k.at(column);
}
animKnob* Form1::panKnob(int column) const
{
    const std::array<animKnob*, 3> k { animKnob2, animKnob4, animKnob6 };
    return k.at(column);
}
miniButton* Form1::muteButton(int column) const
{
    const std::array<miniButton*, 3> b { miniButton1, miniButton2, miniButton3 };
    return b.at(column);
}
miniButtonGreen* Form1::playButton(int column) const
{
    const std::array<miniButtonGreen*, 3> b { miniButtonGreen1, miniButtonGreen2, miniButtonGreen3 };
    return b.at(column);
}
QString Form1::selectedEntry(int) const { return {}; }
QStringList Form1::entries(int) const { return {}; }
void Form1::setPlayButton(int, bool) { }
void Form1::setSyncButton(bool) { }
void Form1::closeEvent(QCloseEvent* event) { event->accept(); }

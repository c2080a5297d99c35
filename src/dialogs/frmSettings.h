// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class SettingsIntents;
class frmDirSelect;
namespace Commands {
struct ProgramValues;
}

// The Settings dialog: edits the sound directory, opens the directory chooser and stores the
// choice. Modeless, kept on top, deletes itself when closed. `intents` and `values` must outlive
// it. GUI thread only.
class frmSettings : public QWidget
{
    Q_OBJECT
public:
    // `parent` is the main window (the dialog stays above it).
    frmSettings(SettingsIntents& intents, Commands::ProgramValues& values, QWidget* parent);
    ~frmSettings() override;

    // Places the dialog, keeps it on top and shows it with the focus on "Cancel".
    void load();

    // The open directory chooser, null when none is open.
    frmDirSelect* chooser() const;

    // The value stored under WAVpath for the sound directory `wavPath` (ending with '/'): the
    // part after `appDir` when the directory lies inside the program directory, else the
    // whole path.
    static QString storedForm(const QString& wavPath, const QString& appDir);
    // The typed directory with a leading "~" or "~/" standing for the home directory.
    static QString expandedPath(const QString& typed);

    // Controls (docs/names.md maps them to the design's names).
    QPushButton* cancelButton = nullptr; // "Cancel"
    QLineEdit* txtPath = nullptr;
    QLabel* pathCaption = nullptr;
    QPushButton* browseButton = nullptr; // "..."
    QPushButton* saveButton = nullptr; // "Save & Close"

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void cancelClicked();
    void browseClicked();
    void saveClicked();

    SettingsIntents& m_player;
    Commands::ProgramValues& m_values;
    QPointer<frmDirSelect> m_chooser;
    QString m_chooserResult;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>

class NameEdit;
class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The directory chooser: a drive list, a directory list and the WAV files of the current
// directory. Modeless and kept on top; deletes itself when closed. It hands the chosen directory
// to its caller through chosen() and says through finished() that it is done. GUI thread only.
class frmDirSelect : public QWidget
{
    Q_OBJECT
public:
    // `startPath` is the directory to open first, `prompt` the caption; `parent` is the window
    // that opened the chooser (it stays above it).
    frmDirSelect(const QString& startPath, const QString& prompt, QWidget* parent);
    ~frmDirSelect() override;

    // Places the chooser, keeps it on top, shows it and opens the start directory:
    // the start path when it names a readable directory, else the working directory.
    void load();

    // The directory list's current directory: absolute, no trailing '/' except for "/".
    QString currentDirectory() const { return m_current; }

    // Opens `path` in the directory list (and the drive and file lists follow). Returns false
    // and changes nothing when it cannot be listed.
    bool setCurrentDirectory(const QString& path);

    // The mount root that holds `path` among the drives offered (the longest matching root).
    QString driveOf(const QString& path) const;

    // Opens the new-folder name box with "Neuer Ordner" selected and focused.
    void showNewFolderField();

    // True once the chooser has finished (closed in any way).
    bool isFinished() const { return m_finished; }

    // Controls (docs/names.md maps them to the design's names).
    QPushButton* cancelButton = nullptr; // "C A N C E L"
    QPushButton* okButton = nullptr; // "O K"
    QListWidget* fileList = nullptr;
    QListWidget* dirList = nullptr;
    QComboBox* driveList = nullptr;
    QPushButton* focusHolder = nullptr;
    NameEdit* txtNewFolder = nullptr;

signals:
    // "O K": the chosen directory, ending with '/'. Raised before finished().
    void chosen(const QString& path);
    // Raised once, however the chooser was closed (its parent's end included).
    void finished();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void okClicked();
    void cancelClicked();
    void driveChosen(int index);
    void openDirectoryItem(QListWidgetItem* item);
    void createNewFolder();
    void hideNewFolderField();
    void fillDrives();
    void fillDirList();
    void fillFileList();
    void selectDriveOf(const QString& path);
    void finish();

    QString m_startPath;
    QString m_prompt;
    QString m_current;
    QHash<QString, QString> m_lastOnDrive; // drive root -> directory last opened there
    bool m_finished = false;
};

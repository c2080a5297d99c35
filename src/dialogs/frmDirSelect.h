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
namespace Commands {
struct ProgramValues;
}

// The directory chooser: a drive list, a directory list and the WAV files of the current
// directory. Modeless and kept on top; deletes itself when closed. It talks to its caller only
// through ChooserOpen, ChooserPath and ChooserPrompt of `values`, which must outlive it.
// GUI thread only.
class frmDirSelect : public QWidget
{
    Q_OBJECT
public:
    // `parent` is the window that opened the chooser (it stays above it).
    frmDirSelect(Commands::ProgramValues& values, QWidget* parent);
    ~frmDirSelect() override;

    // Places the chooser, keeps it on top, shows it and opens the start directory:
    // ChooserPath when it names a readable directory, else the working directory.
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

    // True once ChooserOpen has been cleared by this chooser (closed in any way).
    bool isFinished() const { return m_finished; }

    // Controls, named as in the design.
    QPushButton* Command2 = nullptr; // "C A N C E L"
    QPushButton* Command1 = nullptr; // "O K"
    QListWidget* File1 = nullptr;
    QListWidget* Dir1 = nullptr;
    QComboBox* Drive1 = nullptr;
    QPushButton* dummy = nullptr;
    NameEdit* txtNewFolder = nullptr;

signals:
    // Raised once, right after ChooserOpen became 0, however the chooser was closed.
    void finished();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Command1_Click();
    void Command2_Click();
    void Drive1_Change(int index);
    void Dir1_Open(QListWidgetItem* item);
    void createNewFolder();
    void hideNewFolderField();
    void fillDrives();
    void fillDirList();
    void fillFileList();
    void selectDriveOf(const QString& path);
    void finish();

    Commands::ProgramValues& m_values;
    QString m_current;
    QHash<QString, QString> m_lastOnDrive; // drive root -> directory last opened there
    bool m_finished = false;
};

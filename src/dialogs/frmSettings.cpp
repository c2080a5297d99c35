// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/frmSettings.h"

#include "app/Commands.h"
#include "app/DialogKeys.h"
#include "app/Fonts.h"
#include "app/Notices.h"
#include "app/Placement.h"
#include "dialogs/SettingsIntents.h"
#include "dialogs/frmDirSelect.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frmSettings::frmSettings(SettingsIntents& intents, Commands::ProgramValues& values, QWidget* parent)
    : QWidget(parent, Commands::kDialogFlags)
    , m_player(intents)
    , m_values(values)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Settings"));
    setFixedSize(533, 85);
    setFont(Commands::ProgramFont(Commands::kSmallFontPx, false));
    const QFont bold = Commands::ProgramFont(Commands::kSmallFontPx, true);

    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setGeometry(4, 48, 89, 33);

    txtPath = new QLineEdit(QStringLiteral("/"), this);
    txtPath->setObjectName(QStringLiteral("txtPath"));
    txtPath->setGeometry(4, 20, 505, 19);
    txtPath->setAccessibleName(QStringLiteral("Sound Directory"));
    QPalette palette = txtPath->palette();
    palette.setColor(QPalette::Base, QColor(64, 64, 64));
    palette.setColor(QPalette::Text, QColor(128, 255, 255));
    txtPath->setPalette(palette);

    pathCaption = new QLabel(QStringLiteral("Sound Directory (WAVE Files):"), this);
    pathCaption->setObjectName(QStringLiteral("pathCaption"));
    pathCaption->setGeometry(4, 4, 261, 17);

    browseButton = new QPushButton(QStringLiteral("..."), this);
    browseButton->setObjectName(QStringLiteral("browseButton"));
    browseButton->setGeometry(508, 20, 21, 18);
    browseButton->setAccessibleName(QStringLiteral("Choose Sound Directory"));
    browseButton->setFont(bold);

    // "&&" is Qt's literal ampersand, as in the design's caption.
    saveButton = new QPushButton(QStringLiteral("Save && Close"), this);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    saveButton->setGeometry(412, 48, 117, 33);
    saveButton->setFont(bold);

    // The label takes no focus; the rest follow the design's order.
    setTabOrder(cancelButton, txtPath);
    setTabOrder(txtPath, browseButton);
    setTabOrder(browseButton, saveButton);
    cancelButton->setFocus();

    connect(cancelButton, &QPushButton::clicked, this, &frmSettings::cancelClicked);
    connect(browseButton, &QPushButton::clicked, this, &frmSettings::browseClicked);
    connect(saveButton, &QPushButton::clicked, this, &frmSettings::saveClicked);
    Commands::DialogKeys(*this, saveButton, cancelButton);
}

frmSettings::~frmSettings() = default;

void frmSettings::load()
{
    QPointer<frmSettings> self(this);
    Commands::PlaceWindow(*this);
    Commands::MakeTopmost(*this);
    if (!self)
        return;
    show();
    raise();
    activateWindow();
    cancelButton->setFocus();
}

frmDirSelect* frmSettings::chooser() const
{
    return m_chooser;
}

QString frmSettings::storedForm(const QString& wavPath, const QString& appDir)
{
    const QString head = wavPath.left(appDir.size());
    if (head.toLower() != appDir.toLower())
        return wavPath;
    // File names are case-sensitive here: a head that differs from the program directory in
    // letter case only counts when it names that same directory, or the next start would use
    // another directory than the one chosen now.
    if (head != appDir) {
        const QString a = QFileInfo(head).canonicalFilePath();
        if (a.isEmpty() || a != QFileInfo(appDir).canonicalFilePath())
            return wavPath;
    }
    return wavPath.mid(appDir.size());
}

void frmSettings::closeEvent(QCloseEvent* event)
{
    // The chooser belongs to this dialog's "..." and does not outlive it.
    if (m_chooser)
        m_chooser->close();
    event->accept();
}

void frmSettings::cancelClicked()
{
    close();
}

void frmSettings::browseClicked()
{
    QPointer<frmSettings> self(this);

    // One chooser at a time: a second "..." while it is open waits on the same one.
    QPointer<frmDirSelect> chooser = m_chooser;
    const bool fresh = !chooser || chooser->isFinished();
    // What the box shows after the wait: the text of the latest press, unless "O K" chose a
    // directory. Every wait on the one chooser ends with the same answer.
    m_chooserResult = txtPath->text();
    if (fresh) {
        chooser = new frmDirSelect(
            m_chooserResult, QStringLiteral("Sound Directory (WAVE Files)"), this);
        m_chooser = chooser;
        connect(chooser, &frmDirSelect::chosen, this,
            [this](const QString& path) { m_chooserResult = path; });
    }

    // The wait sleeps in an event loop of its own until the chooser reports that it closed
    // (or is destroyed with this dialog). QCoreApplication::exit() also ends this loop, so
    // the wait never outlives the program.
    QEventLoop wait;
    bool chooserDone = false;
    auto done = [&] {
        chooserDone = true;
        wait.quit();
    };
    QObject::connect(chooser, &frmDirSelect::finished, &wait, done);
    QObject::connect(chooser, &QObject::destroyed, &wait, done);

    if (fresh) {
        chooser->load();
    } else {
        chooser->show();
        chooser->raise();
        chooser->activateWindow();
    }
    if (chooser && !chooser->isFinished() && !QCoreApplication::closingDown())
        wait.exec();

    // Closed with its window, or the program is ending: nothing more to do here.
    if (!self || !chooserDone || QCoreApplication::closingDown())
        return;
    txtPath->setText(m_chooserResult);
}

QString frmSettings::expandedPath(const QString& typed)
{
    if (typed == QLatin1String("~"))
        return QDir::homePath();
    if (typed.startsWith(QLatin1String("~/")))
        return QDir::homePath() + typed.mid(1);
    return typed;
}

void frmSettings::saveClicked()
{
    QPointer<frmSettings> self(this);
    QString path = expandedPath(txtPath->text());
    // A relative directory is the program directory's, as the next start reads the stored form.
    QString directory = QDir::isAbsolutePath(path) ? path : m_values.AppDir + path;
    Commands::AddBackslash(directory);
    if (!Commands::DirExists(directory)) {
        // Stored, it would leave the lists on another directory than the one shown here, and
        // the next start on the program directory.
        Commands::ShowNotice(this,
            QStringLiteral("The folder '") + path + QStringLiteral("' does not exist."),
            Commands::NoticeExclamation);
        if (self)
            txtPath->setFocus();
        return;
    }
    m_values.WAVpath = directory;
    const Commands::IoResult stored = Commands::StoreProgramSetting(
        m_values, QStringLiteral("WAVpath"), storedForm(m_values.WAVpath, m_values.AppDir));
    m_player.refreshLists();
    if (!self || m_player.unloaded())
        return;
    // The program uses the new directory either way; the user must know that the next start
    // will not.
    if (!stored) {
        Commands::ShowNotice(this,
            QStringLiteral("The sound directory could not be stored in '") + m_values.IniFile
                + QStringLiteral("':\r\n") + stored.reason()
                + QStringLiteral(".\r\nIt is used until the program ends."),
            Commands::NoticeExclamation);
        if (!self)
            return;
    }
    close();
}

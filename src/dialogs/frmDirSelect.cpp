// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/frmDirSelect.h"

#include "app/Commands.h"
#include "app/DialogKeys.h"
#include "app/Fonts.h"
#include "app/Notices.h"
#include "app/Placement.h"
#include "controls/NameEdit.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <algorithm>

namespace {

const QColor kDirBack(64, 64, 64);
const QColor kFileBack(128, 128, 128);
const QColor kListText(128, 255, 255);

void paintList(QWidget* w, const QColor& back, const QColor& text)
{
    QPalette p = w->palette();
    for (auto role : { QPalette::Base, QPalette::Window, QPalette::Button })
        p.setColor(role, back);
    for (auto role : { QPalette::Text, QPalette::WindowText, QPalette::ButtonText })
        p.setColor(role, text);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// Names sorted without regard to case, ties broken by the exact name so the order is stable.
void sortNames(QStringList& names)
{
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
}

QString absoluteClean(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool isUnder(const QString& path, const QString& root)
{
    if (root == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

} // namespace

frmDirSelect::frmDirSelect(const QString& startPath, const QString& prompt, QWidget* parent)
    : QWidget(parent, Commands::kDialogFlags)
    , m_startPath(startPath)
    , m_prompt(prompt)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Choose Directory..."));
    setFixedSize(349, 331);
    setFont(Commands::ProgramFont(Commands::kSmallFontPx, false));

    cancelButton = new QPushButton(QStringLiteral("C A N C E L"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setGeometry(168, 244, 181, 41);
    // The spaced captions are for the eye; a screen reader says the words.
    cancelButton->setAccessibleName(QStringLiteral("Cancel"));
    okButton = new QPushButton(QStringLiteral("O K"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setGeometry(168, 288, 181, 41);
    okButton->setAccessibleName(QStringLiteral("OK"));
    okButton->setFont(Commands::ProgramFont(Commands::kMediumFontPx, true));

    fileList = new QListWidget(this);
    fileList->setObjectName(QStringLiteral("fileList"));
    fileList->setGeometry(168, 0, 181, 240);
    fileList->setAccessibleName(QStringLiteral("Files"));
    paintList(fileList, kFileBack, kListText);

    dirList = new QListWidget(this);
    dirList->setObjectName(QStringLiteral("dirList"));
    dirList->setGeometry(0, 24, 165, 306);
    dirList->setAccessibleName(QStringLiteral("Directories"));
    paintList(dirList, kDirBack, kListText);
    dirList->installEventFilter(this);

    driveList = new QComboBox(this);
    driveList->setObjectName(QStringLiteral("driveList"));
    driveList->setGeometry(0, 0, 165, 21);
    driveList->setAccessibleName(QStringLiteral("Drive"));
    paintList(driveList, kDirBack, kListText);

    focusHolder = new QPushButton(this);
    focusHolder->setObjectName(QStringLiteral("focusHolder"));
    focusHolder->setGeometry(504, 28, 13, 13);
    // It holds the focus out of sight while nothing else should have it; a screen reader
    // announces it with the dialog's purpose.
    focusHolder->setAccessibleName(QStringLiteral("Choose Directory"));

    txtNewFolder = new NameEdit(this);
    txtNewFolder->setObjectName(QStringLiteral("txtNewFolder"));
    // Enter and Escape end the entry; every other typed character passes the name filter.
    txtNewFolder->setKeyHandler([this](qint16& KeyAscii) {
        if (KeyAscii == 13) {
            KeyAscii = 0;
            createNewFolder();
        } else if (KeyAscii == 27) {
            KeyAscii = 0;
            hideNewFolderField();
        } else {
            Commands::FilterNameKey(KeyAscii);
        }
    });
    txtNewFolder->setGeometry(0, 24, 165, 21);
    txtNewFolder->setAccessibleName(QStringLiteral("New folder name"));
    paintList(txtNewFolder, kDirBack, kListText);
    txtNewFolder->hide();

    setTabOrder(cancelButton, okButton);
    setTabOrder(okButton, fileList);
    setTabOrder(fileList, dirList);
    setTabOrder(dirList, driveList);
    setTabOrder(driveList, focusHolder);

    // The new-folder flow: F7 or Ctrl+Shift+N anywhere in the chooser, or the directory
    // list's context menu.
    auto* newFolder = new QAction(QStringLiteral("Neuer Ordner"), this);
    newFolder->setShortcuts(
        { QKeySequence(Qt::Key_F7), QKeySequence(QStringLiteral("Ctrl+Shift+N")) });
    newFolder->setShortcutContext(Qt::WindowShortcut);
    addAction(newFolder);
    dirList->addAction(newFolder);
    dirList->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(newFolder, &QAction::triggered, this, &frmDirSelect::showNewFolderField);

    connect(okButton, &QPushButton::clicked, this, &frmDirSelect::okClicked);
    connect(cancelButton, &QPushButton::clicked, this, &frmDirSelect::cancelClicked);
    connect(driveList, &QComboBox::activated, this, &frmDirSelect::driveChosen);
    connect(dirList, &QListWidget::itemDoubleClicked, this, &frmDirSelect::openDirectoryItem);

    fillDrives();
    Commands::DialogKeys(*this, okButton, cancelButton);
    // The hidden button that only holds the focus passes Enter on to "O K".
    focusHolder->setAutoDefault(false);
}

frmDirSelect::~frmDirSelect()
{
    // Deleted with its parent while still open: the caller's wait must still end.
    finish();
}

void frmDirSelect::load()
{
    QPointer<frmDirSelect> self(this);
    Commands::PlaceWindow(*this);
    Commands::MakeTopmost(*this);
    if (!self || m_finished)
        return;
    show();
    raise();
    activateWindow();
    setWindowTitle(m_prompt);

    const QString start = m_startPath;
    const bool opened
        = !start.isEmpty() && Commands::DirExists(start) && setCurrentDirectory(start);
    if (!opened && !setCurrentDirectory(QDir::currentPath()))
        setCurrentDirectory(QStringLiteral("/"));
    focusHolder->setFocus();
}

bool frmDirSelect::setCurrentDirectory(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QString dir = absoluteClean(path);
    if (!Commands::DirExists(dir))
        return false;
    m_current = dir;
    m_lastOnDrive.insert(driveOf(dir), dir);
    selectDriveOf(dir);
    fillDirList();
    fillFileList();
    focusHolder->setFocus();
    return true;
}

QString frmDirSelect::driveOf(const QString& path) const
{
    QString best = QStringLiteral("/");
    for (int i = 0; i < driveList->count(); ++i) {
        const QString root = driveList->itemData(i).toString();
        if (root.size() > best.size() && isUnder(path, root))
            best = root;
    }
    return best;
}

void frmDirSelect::fillDrives()
{
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        const QString root = QDir::cleanPath(volume.rootPath());
        if (root != QLatin1String("/") && !roots.contains(root))
            roots << root;
    }
    sortNames(roots);
    roots.prepend(QStringLiteral("/"));
    driveList->clear();
    for (const QString& root : roots)
        driveList->addItem(root, root);
}

void frmDirSelect::selectDriveOf(const QString& path)
{
    const int index = driveList->findData(driveOf(path));
    const QSignalBlocker block(driveList);
    driveList->setCurrentIndex(index);
}

void frmDirSelect::fillDirList()
{
    dirList->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The ancestors from the root down to the current directory, then its subdirectories,
    // each level indented one step further.
    QStringList parts = m_current.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path = QStringLiteral("/");
    auto add = [this](const QIcon& icon, const QString& text, int level, const QString& full) {
        auto* item = new QListWidgetItem(
            icon, QString(qsizetype(level) * 2, QLatin1Char(' ')) + text, dirList);
        item->setData(Qt::UserRole, full);
        return item;
    };
    QListWidgetItem* current = add(open, path, 0, path);
    int level = 0;
    for (const QString& part : parts) {
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += part;
        current = add(open, part, ++level, path);
    }
    QStringList subdirs
        = QDir(m_current).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    sortNames(subdirs);
    const QString prefix
        = m_current.endsWith(QLatin1Char('/')) ? m_current : m_current + QLatin1Char('/');
    for (const QString& name : subdirs)
        add(closed, name, level + 1, prefix + name);
    dirList->setCurrentItem(current);
}

void frmDirSelect::fillFileList()
{
    fileList->clear();
    QStringList files
        = QDir(m_current).entryList({ QStringLiteral("*.wav") }, QDir::Files, QDir::NoSort);
    sortNames(files);
    fileList->addItems(files);
}

void frmDirSelect::openDirectoryItem(QListWidgetItem* item)
{
    if (item)
        setCurrentDirectory(item->data(Qt::UserRole).toString());
}

void frmDirSelect::driveChosen(int index)
{
    const QString root = driveList->itemData(index).toString();
    const QString last = m_lastOnDrive.value(root, root);
    if (setCurrentDirectory(last) || (last != root && setCurrentDirectory(root)))
        return;
    // The drive cannot be read: stay where we were.
    selectDriveOf(m_current);
}

void frmDirSelect::okClicked()
{
    if (!m_current.isEmpty()) {
        QString path = m_current;
        emit chosen(Commands::AddBackslash(path));
    }
    finish();
    close();
}

void frmDirSelect::cancelClicked()
{
    finish();
    close();
}

void frmDirSelect::closeEvent(QCloseEvent* event)
{
    finish();
    event->accept();
}

void frmDirSelect::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished();
}

bool frmDirSelect::eventFilter(QObject* watched, QEvent* event)
{
    // Enter on a highlighted directory opens it, as a double click does.
    if (watched == dirList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            openDirectoryItem(dirList->currentItem());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmDirSelect::showNewFolderField()
{
    txtNewFolder->setText(QStringLiteral("Neuer Ordner"));
    txtNewFolder->show();
    txtNewFolder->raise();
    txtNewFolder->selectAll();
    txtNewFolder->setFocus();
}

void frmDirSelect::hideNewFolderField()
{
    txtNewFolder->hide();
    focusHolder->setFocus();
}

void frmDirSelect::createNewFolder()
{
    QPointer<frmDirSelect> self(this);
    const QString name = txtNewFolder->text();
    QString path = m_current;
    Commands::AddBackslash(path) += name;

    if (QFileInfo(path).isDir()) {
        Commands::ShowNotice(this, QStringLiteral("Ein Ordner mit diesem Namen existiert bereits."),
            Commands::NoticeInformation);
        if (!self)
            return;
        txtNewFolder->setCursorPosition(txtNewFolder->text().size());
        txtNewFolder->setFocus();
        return;
    }

    // Every missing level is created; a level that exists already counts as success.
    QDir().mkpath(path);
    if (!Commands::DirExists(path)) {
        Commands::ShowNotice(this,
            QStringLiteral("Der Ordner konnte nicht angelegt werden. ") + QLatin1Char('\n')
                + QStringLiteral("Datenträger ist möglicherweise schreibgeschützt.  "),
            Commands::NoticeError);
        if (self)
            txtNewFolder->setFocus();
        return;
    }

    fillDirList();
    setCurrentDirectory(path);
    txtNewFolder->hide();
    okButton->setFocus();
}

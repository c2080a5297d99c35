// SPDX-License-Identifier: GPL-3.0-or-later
#include "DialogTestKit.h"
#include "controls/NameEdit.h"
#include "dialogs/frmDirSelect.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

void touch(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

QStringList texts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text().trimmed();
    return out;
}

QListWidgetItem* dirItem(const QListWidget* list, const QString& path)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->data(Qt::UserRole).toString() == path)
            return list->item(i);
    return nullptr;
}

class DirSelect : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        root = QDir::cleanPath(tmp.path());
        ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("Sounds/Zeta")));
        ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("Sounds/alpha")));
        ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("Sounds/.hidden")));
        sounds = root + QStringLiteral("/Sounds");
        touch(sounds + QStringLiteral("/b.WAV"));
        touch(sounds + QStringLiteral("/A.wav"));
        touch(sounds + QStringLiteral("/notes.txt"));
        touch(sounds + QStringLiteral("/.secret.wav"));
    }

    frmDirSelect* open(const QString& start)
    {
        chosenPath = start;
        done = false;
        chooser = new frmDirSelect(start, QStringLiteral("Sound Directory (WAVE Files)"), &parent);
        QObject::connect(chooser, &frmDirSelect::chosen, [this](const QString& path) {
            EXPECT_FALSE(done) << "the choice comes before the end";
            chosenPath = path;
        });
        QObject::connect(chooser, &frmDirSelect::finished, [this] { done = true; });
        chooser->load();
        return chooser;
    }

    void TearDown() override
    {
        delete chooser.data();
        flushDeletes();
    }

    QTemporaryDir tmp;
    QString root;
    QString sounds;
    QString chosenPath; // the start path until "O K" hands over another
    bool done = false; // the chooser reported its end
    QWidget parent;
    QPointer<frmDirSelect> chooser;
};

TEST_F(DirSelect, OpensAtTheStartDirectoryWithItsWavFilesAndSubdirectories)
{
    auto* c = open(sounds + QStringLiteral("/"));
    EXPECT_EQ(c->windowTitle(), QStringLiteral("Sound Directory (WAVE Files)"));
    EXPECT_EQ(c->currentDirectory(), sounds);
    // *.wav in any case, no hidden files, sorted by name without regard to case.
    EXPECT_EQ(
        texts(c->fileList), (QStringList { QStringLiteral("A.wav"), QStringLiteral("b.WAV") }));
    // Ancestors first, the current directory highlighted, then its visible subdirectories.
    const QStringList dirs = texts(c->dirList);
    ASSERT_GE(dirs.size(), 4);
    EXPECT_EQ(dirs.first(), QStringLiteral("/"));
    EXPECT_EQ(dirs.mid(dirs.size() - 3),
        (QStringList {
            QStringLiteral("Sounds"), QStringLiteral("alpha"), QStringLiteral("Zeta") }));
    EXPECT_EQ(c->dirList->currentItem(), dirItem(c->dirList, sounds));
    EXPECT_EQ(c->driveList->currentData().toString(), c->driveOf(sounds));
    EXPECT_EQ(c->driveList->itemData(0).toString(), QStringLiteral("/"));
    EXPECT_EQ(c->focusWidget(), c->focusHolder);
    EXPECT_FALSE(done);
}

TEST_F(DirSelect, KeepsTheDesignGeometryAndColours)
{
    auto* c = open(sounds);
    EXPECT_EQ(c->size(), QSize(349, 331));
    EXPECT_EQ(c->cancelButton->geometry(), QRect(168, 244, 181, 41));
    EXPECT_EQ(c->okButton->geometry(), QRect(168, 288, 181, 41));
    EXPECT_EQ(c->fileList->geometry(), QRect(168, 0, 181, 240));
    EXPECT_EQ(c->dirList->geometry(), QRect(0, 24, 165, 306));
    EXPECT_EQ(c->driveList->geometry(), QRect(0, 0, 165, 21));
    // The focus holder lies outside the client area.
    EXPECT_FALSE(c->rect().intersects(c->focusHolder->geometry()));
    EXPECT_EQ(c->okButton->font().pixelSize(), 13);
    EXPECT_TRUE(c->okButton->font().bold());
    EXPECT_EQ(c->fileList->palette().color(QPalette::Base), QColor(128, 128, 128));
    EXPECT_EQ(c->dirList->palette().color(QPalette::Base), QColor(64, 64, 64));
    EXPECT_EQ(c->dirList->palette().color(QPalette::Text), QColor(128, 255, 255));
    EXPECT_TRUE(c->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(c->isWindow());
    const QList<QWidget*> chain = tabChain(c->cancelButton);
    ASSERT_GE(chain.size(), 6);
    EXPECT_EQ(chain.mid(0, 6),
        (QList<QWidget*> {
            c->cancelButton, c->okButton, c->fileList, c->dirList, c->driveList, c->focusHolder }));
}

TEST_F(DirSelect, MissingOrEmptyStartOpensTheWorkingDirectoryAndCancelKeepsThePath)
{
    for (const QString& start : { root + QStringLiteral("/gone/"), QString() }) {
        auto* c = open(start);
        EXPECT_EQ(c->currentDirectory(), QDir::cleanPath(QDir::currentPath()));
        QSignalSpy finished(c, &frmDirSelect::finished);
        c->cancelButton->click();
        EXPECT_EQ(finished.count(), 1);
        EXPECT_TRUE(done);
        EXPECT_EQ(chosenPath, start);
        flushDeletes();
        EXPECT_TRUE(chooser.isNull()) << "closed chooser is discarded";
    }
}

TEST_F(DirSelect, OkAtTheRootReturnsOneSeparator)
{
    auto* c = open(QStringLiteral("/"));
    EXPECT_EQ(c->currentDirectory(), QStringLiteral("/"));
    c->okButton->click();
    EXPECT_EQ(chosenPath, QStringLiteral("/"));
    EXPECT_TRUE(done);
}

TEST_F(DirSelect, SingleClickOnlyHighlightsAndOkReturnsTheOpenedDirectory)
{
    auto* c = open(sounds);
    QListWidgetItem* alpha = dirItem(c->dirList, sounds + QStringLiteral("/alpha"));
    ASSERT_NE(alpha, nullptr);
    QTest::mouseClick(
        c->dirList->viewport(), Qt::LeftButton, {}, c->dirList->visualItemRect(alpha).center());
    EXPECT_EQ(c->dirList->currentItem(), alpha);
    EXPECT_EQ(c->currentDirectory(), sounds);
    c->okButton->click();
    EXPECT_EQ(chosenPath, sounds + QStringLiteral("/"));
}

TEST_F(DirSelect, DoubleClickOpensAndTheFileListFollows)
{
    auto* c = open(sounds);
    touch(sounds + QStringLiteral("/Zeta/z.wav"));
    QListWidgetItem* zeta = dirItem(c->dirList, sounds + QStringLiteral("/Zeta"));
    ASSERT_NE(zeta, nullptr);
    const QPoint at = c->dirList->visualItemRect(zeta).center();
    QTest::mouseClick(c->dirList->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(c->dirList->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(c->currentDirectory(), sounds + QStringLiteral("/Zeta"));
    EXPECT_EQ(texts(c->fileList), QStringList { QStringLiteral("z.wav") });
    EXPECT_EQ(c->focusWidget(), c->focusHolder);
    // An ancestor opens the same way, and Enter opens the highlighted entry.
    c->dirList->setCurrentItem(dirItem(c->dirList, root));
    QTest::keyClick(c->dirList, Qt::Key_Return);
    EXPECT_EQ(c->currentDirectory(), root);
    c->okButton->click();
    EXPECT_EQ(chosenPath, root + QStringLiteral("/"));
}

TEST_F(DirSelect, CloseBoxCancels)
{
    auto* c = open(sounds);
    ASSERT_TRUE(c->setCurrentDirectory(root));
    QSignalSpy finished(c, &frmDirSelect::finished);
    c->close();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(done);
    EXPECT_EQ(chosenPath, sounds);
}

TEST_F(DirSelect, DestroyedWithItsParentStillEndsTheWait)
{
    auto* owner = new QWidget;
    auto* c = new frmDirSelect(sounds, QString(), owner);
    QSignalSpy finished(c, &frmDirSelect::finished);
    QSignalSpy chosen(c, &frmDirSelect::chosen);
    c->load();
    delete owner;
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(chosen.count(), 0) << "an end without O K chooses nothing";
}

TEST_F(DirSelect, UnreadableDirectoryOrDriveLeavesTheChooserWhereItWas)
{
    auto* c = open(sounds);
    EXPECT_FALSE(c->setCurrentDirectory(root + QStringLiteral("/gone")));
    EXPECT_EQ(c->currentDirectory(), sounds);

    // Mounts are simulated by extra roots: the temporary directory as a drive of its own,
    // and a drive whose root cannot be listed (a removable drive without a medium).
    c->driveList->addItem(root, root);
    const QString dead = root + QStringLiteral("/no-medium");
    c->driveList->addItem(dead, dead);
    ASSERT_TRUE(c->setCurrentDirectory(QStringLiteral("/")));
    ASSERT_TRUE(c->setCurrentDirectory(sounds));
    EXPECT_EQ(c->driveList->currentData().toString(), root);

    emit c->driveList->activated(c->driveList->findData(dead));
    EXPECT_EQ(c->currentDirectory(), sounds);
    EXPECT_EQ(c->driveList->currentData().toString(), root);

    // Each drive reopens the directory last opened on it, a drive not yet visited its root.
    emit c->driveList->activated(0);
    EXPECT_EQ(c->currentDirectory(), QStringLiteral("/"));
    emit c->driveList->activated(c->driveList->findData(root));
    EXPECT_EQ(c->currentDirectory(), sounds);
    const QString fresh = sounds + QStringLiteral("/alpha");
    c->driveList->addItem(fresh, fresh);
    emit c->driveList->activated(c->driveList->findData(fresh));
    EXPECT_EQ(c->currentDirectory(), fresh);
    EXPECT_EQ(c->driveList->currentData().toString(), fresh);
}

class NewFolder : public DirSelect
{
protected:
    void enterName(frmDirSelect* c, const QString& name)
    {
        c->showNewFolderField();
        c->txtNewFolder->setText(name);
        QTest::keyClick(c->txtNewFolder, Qt::Key_Return);
    }
};

TEST_F(NewFolder, OpensWithTheProposalSelectedAndFiltersTypedKeys)
{
    auto* c = open(sounds);
    c->dirList->actions().first()->trigger(); // context menu entry
    ASSERT_TRUE(c->txtNewFolder->isVisibleTo(c));
    EXPECT_EQ(c->txtNewFolder->text(), QStringLiteral("Neuer Ordner"));
    EXPECT_EQ(c->txtNewFolder->selectedText(), QStringLiteral("Neuer Ordner"));
    EXPECT_EQ(c->focusWidget(), c->txtNewFolder);
    QTest::keyClicks(c->txtNewFolder, QStringLiteral("a.b/c:d e"));
    EXPECT_EQ(c->txtNewFolder->text(), QStringLiteral("abcd e"));
    QTest::keyClick(c->txtNewFolder, Qt::Key_Escape);
    EXPECT_FALSE(c->txtNewFolder->isVisibleTo(c));
    EXPECT_EQ(c->focusWidget(), c->focusHolder);
    EXPECT_FALSE(QFileInfo::exists(sounds + QStringLiteral("/abcd e")));
}

TEST_F(NewFolder, CreatesTheFolderAndOpensIt)
{
    auto* c = open(sounds);
    enterName(c, QStringLiteral("Takes 2"));
    const QString made = sounds + QStringLiteral("/Takes 2");
    EXPECT_TRUE(QFileInfo(made).isDir());
    EXPECT_EQ(c->currentDirectory(), made);
    EXPECT_FALSE(c->txtNewFolder->isVisibleTo(c));
    EXPECT_EQ(c->focusWidget(), c->okButton);
    c->okButton->click();
    EXPECT_EQ(chosenPath, made + QStringLiteral("/"));
}

TEST_F(NewFolder, ExistingNameIsReportedAndTheNameKept)
{
    auto* c = open(sounds);
    SeenNotice seen;
    answerNotices(c, seen);
    enterName(c, QStringLiteral("alpha"));
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seen.text, QStringLiteral("Ein Ordner mit diesem Namen existiert bereits."));
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.title, QStringLiteral("Vorn's Sorvanto"));
    EXPECT_EQ(c->currentDirectory(), sounds);
    EXPECT_TRUE(c->txtNewFolder->isVisibleTo(c));
    EXPECT_EQ(c->txtNewFolder->cursorPosition(), 5);
    EXPECT_FALSE(c->txtNewFolder->hasSelectedText());
    EXPECT_EQ(c->focusWidget(), c->txtNewFolder);
}

// The tests run as root, for whom a read-only directory is still writable; a parent that is a
// regular file, and /proc, refuse new folders for everyone.
TEST_F(NewFolder, FolderThatCannotBeCreatedIsReported)
{
    const QString expected = QStringLiteral("Der Ordner konnte nicht angelegt werden. \n"
                                            "Datenträger ist möglicherweise schreibgeschützt.  ");
    auto* c = open(sounds);
    SeenNotice seen;
    answerNotices(c, seen);
    // A pasted name may hold a separator; here its first level is a regular file.
    enterName(c, QStringLiteral("notes.txt/inner"));
    EXPECT_EQ(seen.count, 1);
    EXPECT_EQ(seen.text, expected);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(c->currentDirectory(), sounds);
    EXPECT_TRUE(c->txtNewFolder->isVisibleTo(c));
    EXPECT_EQ(c->focusWidget(), c->txtNewFolder);

    ASSERT_TRUE(c->setCurrentDirectory(QStringLiteral("/proc")));
    enterName(c, QStringLiteral("sorvanto-test"));
    EXPECT_EQ(seen.count, 2);
    EXPECT_EQ(seen.text, expected);
    EXPECT_EQ(c->currentDirectory(), QStringLiteral("/proc"));
}

TEST_F(NewFolder, MissingLevelsAreCreated)
{
    auto* c = open(sounds);
    enterName(c, QStringLiteral("deep/er"));
    EXPECT_TRUE(QFileInfo(sounds + QStringLiteral("/deep/er")).isDir());
    EXPECT_EQ(c->currentDirectory(), sounds + QStringLiteral("/deep/er"));
}

} // namespace

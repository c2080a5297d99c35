// SPDX-License-Identifier: GPL-3.0-or-later
// The three strip buttons under simulated input: latching presses with any button, the
// double-click rule, Push by reference, setters, persistence and the painted frames.
#include "controls/StripButton.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

struct Kind
{
    const char* name;
    std::function<StripButton*(QWidget*)> make;
    QSize size;
};

const Kind kKinds[] = {
    { "miniButton", [](QWidget* p) { return new miniButton(p); }, QSize(29, 20) },
    { "miniButtonGreen", [](QWidget* p) { return new miniButtonGreen(p); }, QSize(29, 20) },
    { "syncButton", [](QWidget* p) { return new syncButton(p); }, QSize(685, 121) },
};

// Records Push events (QSignalSpy cannot take a reference argument).
struct PushLog
{
    QList<bool> values;
    explicit PushLog(StripButton& b)
    {
        QObject::connect(&b, &StripButton::Push, [this](bool& v) { values << v; });
    }
};

QImage frameOf(const StripButton& b, bool lower)
{
    return b.strip()
        .copy(0, lower ? b.frameHeight() : 0, b.width(), b.frameHeight())
        .convertToFormat(QImage::Format_RGB32);
}

QImage faceOf(StripButton& b)
{
    return b.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

class StripButtons : public ::testing::TestWithParam<int>
{
protected:
    const Kind& kind() const { return kKinds[GetParam()]; }
    std::unique_ptr<StripButton> make() const
    {
        return std::unique_ptr<StripButton>(kind().make(nullptr));
    }
};

} // namespace

TEST_P(StripButtons, CreationAndSizeRule)
{
    auto b = make();
    EXPECT_FALSE(b->Value());
    EXPECT_FALSE(b->shownFrame());
    EXPECT_EQ(b->size(), kind().size);
    EXPECT_EQ(b->strip().size(), QSize(kind().size.width(), kind().size.height() * 2));
    EXPECT_EQ(b->frameHeight(), kind().size.height());
    b->resize(300, 300);
    EXPECT_EQ(b->size(), kind().size);
    EXPECT_EQ(faceOf(*b), frameOf(*b, false));
}

TEST_P(StripButtons, EveryPressOfAnyButtonTogglesOnceAndPushesOnce)
{
    auto b = make();
    PushLog log(*b);
    const QList<QPair<Qt::MouseButton, Qt::KeyboardModifiers>> presses {
        { Qt::LeftButton, Qt::NoModifier },
        { Qt::RightButton, Qt::NoModifier },
        { Qt::MiddleButton, Qt::ShiftModifier },
        { Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier },
        { Qt::BackButton, Qt::NoModifier },
    };
    bool expected = false;
    for (const auto& [button, modifiers] : presses) {
        QTest::mousePress(b.get(), button, modifiers);
        expected = !expected;
        EXPECT_EQ(b->Value(), expected);
        EXPECT_EQ(faceOf(*b), frameOf(*b, expected));
        QTest::mouseRelease(b.get(), button, modifiers);
        EXPECT_EQ(b->Value(), expected) << "a release changes nothing";
    }
    EXPECT_EQ(log.values, QList<bool>({ true, false, true, false, true }));
}

TEST_P(StripButtons, SecondPressOfADoubleClickIsNoPress)
{
    QWidget window;
    window.resize(800, 200);
    StripButton* b = kind().make(&window);
    b->move(10, 10);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    PushLog log(*b);
    // Through the window system: press, release, press (seen as a double-click), release.
    QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(15, 15));
    EXPECT_TRUE(b->Value());
    EXPECT_EQ(log.values, QList<bool>({ true }));
    // A double-click notification on its own does nothing either.
    QTest::mouseDClick(b, Qt::RightButton);
    EXPECT_TRUE(b->Value());
    EXPECT_EQ(log.values.size(), 1);
}

TEST_P(StripButtons, HostWritingThePushArgumentChangesValueWithoutRedraw)
{
    auto b = make();
    QObject::connect(b.get(), &StripButton::Push, [](bool& v) { v = false; });
    QTest::mouseClick(b.get(), Qt::LeftButton);
    EXPECT_FALSE(b->Value());
    EXPECT_TRUE(b->shownFrame());
    EXPECT_EQ(faceOf(*b), frameOf(*b, true));
}

TEST_P(StripButtons, SetterReportsAndRedrawsButNeverPushes)
{
    auto b = make();
    PushLog log(*b);
    QSignalSpy changed(b.get(), &StripButton::PropertyChanged);
    b->setValue(true);
    EXPECT_EQ(faceOf(*b), frameOf(*b, true));
    b->setValue(true);
    b->setValue(false);
    EXPECT_EQ(faceOf(*b), frameOf(*b, false));
    EXPECT_TRUE(log.values.isEmpty());
    ASSERT_EQ(changed.count(), 3);
    for (const auto& args : changed)
        EXPECT_EQ(args.at(0).toString(), "Value");
    b->setEnabled(false);
    EXPECT_EQ(changed.last().at(0).toString(), "Enabled");
    // A disabled button takes no presses.
    QTest::mousePress(b.get(), Qt::LeftButton);
    EXPECT_FALSE(b->Value());
}

TEST_P(StripButtons, PersistenceRoundTrip)
{
    auto fresh = make();
    QVariantMap empty;
    fresh->WriteProperties(empty);
    EXPECT_TRUE(empty.isEmpty()) << "defaults are not written";

    auto b = make();
    b->setValue(true);
    b->setEnabled(false);
    b->setMousePointer(99);
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    b->setMouseIcon(icon);
    Controls::PropertyList list;
    b->WriteProperties(list);
    QStringList names;
    for (const auto& entry : list)
        names << entry.first;
    EXPECT_EQ(names, QStringList({ "Enabled", "MouseIcon", "MousePointer", "Value" }));

    // Loaded disabled: Value is true but the face keeps the false frame of creation.
    auto loaded = make();
    QSignalSpy changed(loaded.get(), &StripButton::PropertyChanged);
    loaded->ReadProperties(Controls::toMap(list));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(loaded->Value());
    EXPECT_FALSE(loaded->isEnabled());
    EXPECT_EQ(loaded->MousePointer(), 99);
    EXPECT_EQ(loaded->MouseIcon(), icon);
    EXPECT_FALSE(loaded->shownFrame());
    EXPECT_EQ(faceOf(*loaded), frameOf(*loaded, false));

    // Loaded enabled: one redraw shows the saved state.
    auto enabled = make();
    enabled->ReadProperties({ { "Value", true } });
    EXPECT_TRUE(enabled->shownFrame());
    EXPECT_EQ(faceOf(*enabled), frameOf(*enabled, true));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, StripButtons, ::testing::Values(0, 1, 2),
    [](const ::testing::TestParamInfo<int>& info) { return std::string(kKinds[info.param].name); });

TEST(StripButtonArtwork, FramesDifferAndKindsDiffer)
{
    miniButton mute;
    miniButtonGreen play;
    syncButton sync;
    EXPECT_NE(frameOf(mute, false), frameOf(mute, true));
    EXPECT_NE(frameOf(play, false), frameOf(play, true));
    EXPECT_NE(frameOf(sync, false), frameOf(sync, true));
    EXPECT_NE(frameOf(mute, true), frameOf(play, true));
    // The keys' corners are the panel colour they sit on.
    EXPECT_EQ(frameOf(mute, false).pixelColor(0, 0), QColor(200, 50, 80));
    EXPECT_EQ(frameOf(play, true).pixelColor(28, 19), QColor(200, 50, 80));
}

TEST(StripButtonArtwork, HighDensityTargetsTakeTheSameFrameFromTheTwiceSizeStrip)
{
    syncButton sync;
    sync.setValue(true);
    const QImage strip2x(QStringLiteral(":/artwork/sync@2x.png"));
    ASSERT_EQ(strip2x.size(), QSize(1370, 484));
    QPixmap target(1370, 242);
    target.setDevicePixelRatio(2.0);
    sync.render(&target);
    EXPECT_EQ(target.toImage().convertToFormat(QImage::Format_RGB32),
        strip2x.copy(0, 242, 1370, 242).convertToFormat(QImage::Format_RGB32));
}

TEST(StripButtonEnabled, OnlyTheButtonsOwnEnabledIsReported)
{
    QWidget parent;
    auto* b = new miniButton(&parent);
    QSignalSpy changed(b, &StripButton::PropertyChanged);
    parent.setEnabled(false);
    parent.setEnabled(true);
    EXPECT_EQ(changed.count(), 0);
    b->setEnabled(false);
    b->setEnabled(false);
    b->setEnabled(true);
    EXPECT_EQ(changed.count(), 2);
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The knob under simulated input: frame and value tables, the drag rules, events by reference,
// failure rules, persistence and the face it paints.
#include "controls/animKnob.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <map>
#include <tuple>

namespace {

// Sends one mouse-move notification at vertical position `y` with `buttons` held.
void moveTo(animKnob& knob, double y, Qt::MouseButtons buttons = Qt::LeftButton,
    Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPointF local(25.0, y);
    QMouseEvent event(QEvent::MouseMove, local, knob.mapToGlobal(local), Qt::NoButton, buttons,
        modifiers, QPointingDevice::primaryPointingDevice());
    QCoreApplication::sendEvent(&knob, &event);
}

// Drives a knob with one-pixel steps, remembering where the pointer is (the knob keeps its
// reference Y from the last counted step; a new knob starts at 0).
struct Dragger
{
    animKnob& knob;
    double y = 0.0;
    void up() { moveTo(knob, y -= 1.0); }
    void down() { moveTo(knob, y += 1.0); }
};

void configure(animKnob& knob, qint16 min, qint16 max, qint16 value)
{
    knob.setMin(min);
    knob.setMax(max);
    knob.setValue(value);
}

QImage frameOf(const animKnob& knob, int frame)
{
    return knob.strip().copy(0, (frame - 1) * 50, 50, 50).convertToFormat(QImage::Format_RGB32);
}

QImage faceOf(animKnob& knob)
{
    return knob.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Counts Scroll events (QSignalSpy cannot take a reference argument).
struct ScrollCounter
{
    int count = 0;
    explicit ScrollCounter(animKnob& knob)
    {
        QObject::connect(&knob, &animKnob::Scroll, [this](qint16&) { ++count; });
    }
};

} // namespace

TEST(AnimKnob, CreationValuesAndSize)
{
    animKnob knob;
    EXPECT_EQ(knob.Min(), 0);
    EXPECT_EQ(knob.Max(), 100);
    EXPECT_EQ(knob.Value(), 0);
    EXPECT_EQ(knob.currentFrame(), 1);
    EXPECT_EQ(knob.frameCount(), 78);
    EXPECT_EQ(knob.strip().size(), QSize(50, 3900));
    EXPECT_EQ(knob.size(), QSize(50, 50));
    knob.resize(80, 20);
    EXPECT_EQ(knob.size(), QSize(50, 50));
    knob.setGeometry(3, 4, 10, 200);
    EXPECT_EQ(knob.size(), QSize(50, 50));
}

TEST(AnimKnob, RedrawFrameTable)
{
    animKnob level;
    configure(level, 40, 100, 80);
    const std::map<int, int> levelFrames { { 40, 1 }, { 41, 1 }, { 70, 39 }, { 80, 52 },
        { 100, 78 } };
    for (const auto& [value, frame] : levelFrames) {
        level.setValue(static_cast<qint16>(value));
        EXPECT_EQ(level.currentFrame(), frame) << "Level value " << value;
    }
    animKnob pan;
    configure(pan, 35, 65, 50);
    const std::map<int, int> panFrames { { 35, 1 }, { 36, 2 }, { 50, 39 }, { 65, 78 } };
    for (const auto& [value, frame] : panFrames) {
        pan.setValue(static_cast<qint16>(value));
        EXPECT_EQ(pan.currentFrame(), frame) << "Pan value " << value;
    }
}

TEST(AnimKnob, ValuesOutsideTheRangeShowTheNearestEndAndStayUnclamped)
{
    animKnob knob;
    configure(knob, 40, 100, 80);
    knob.setValue(250);
    EXPECT_EQ(knob.Value(), 250);
    EXPECT_EQ(knob.currentFrame(), 78);
    knob.setValue(-5);
    EXPECT_EQ(knob.Value(), -5);
    EXPECT_EQ(knob.currentFrame(), 1);
    // Min above Max turns the knob round; nothing is swapped or refused.
    configure(knob, 100, 40, 100);
    EXPECT_EQ(knob.Min(), 100);
    EXPECT_EQ(knob.Max(), 40);
    EXPECT_EQ(knob.currentFrame(), 1);
    knob.setValue(40);
    EXPECT_EQ(knob.currentFrame(), 78);
}

// Sweeps the whole strip up and back down, one frame per notification, and records the value
// each drawn frame gave.
std::map<int, int> dragTable(qint16 min, qint16 max)
{
    animKnob knob;
    configure(knob, min, max, min);
    std::map<int, int> table;
    QObject::connect(
        &knob, &animKnob::Scroll, [&](qint16& value) { table[knob.currentFrame()] = value; });
    Dragger drag { knob };
    for (int i = 0; i < 77; ++i)
        drag.up();
    EXPECT_EQ(knob.currentFrame(), 78);
    for (int i = 0; i < 77; ++i)
        drag.down();
    EXPECT_EQ(knob.currentFrame(), 1);
    return table;
}

TEST(AnimKnob, DragValueTable)
{
    const auto level = dragTable(40, 100);
    ASSERT_EQ(level.size(), 78u);
    EXPECT_EQ(level.at(1), 40);
    EXPECT_EQ(level.at(2), 41);
    EXPECT_EQ(level.at(39), 70);
    EXPECT_EQ(level.at(78), 100);
    std::set<int> reached;
    for (const auto& entry : level)
        reached.insert(entry.second);
    for (int v = 40; v <= 100; ++v)
        EXPECT_TRUE(reached.count(v)) << "Level value " << v << " is never reached";

    const auto pan = dragTable(35, 65);
    ASSERT_EQ(pan.size(), 78u);
    EXPECT_EQ(pan.at(1), 35);
    EXPECT_EQ(pan.at(2), 35);
    EXPECT_EQ(pan.at(38), 49);
    EXPECT_EQ(pan.at(39), 50);
    EXPECT_EQ(pan.at(78), 65);
}

TEST(AnimKnob, DragStepReportsValueThenScroll)
{
    animKnob knob;
    configure(knob, 40, 100, 80);
    QStringList order;
    QObject::connect(&knob, &animKnob::PropertyChanged,
        [&](const QString& name) { order << QStringLiteral("changed ") + name; });
    QObject::connect(&knob, &animKnob::Scroll,
        [&](qint16& value) { order << QStringLiteral("scroll %1").arg(value); });
    Dragger drag { knob };
    drag.up();
    EXPECT_EQ(knob.currentFrame(), 53);
    EXPECT_EQ(order, QStringList({ "changed Value", "scroll 80" })); // floor(60/78*53 + 40)
    EXPECT_EQ(knob.Value(), 80);
}

TEST(AnimKnob, DragPastEitherEndRaisesNothing)
{
    animKnob knob;
    configure(knob, 40, 100, 100);
    ASSERT_EQ(knob.currentFrame(), 78);
    ScrollCounter scroll(knob);
    QSignalSpy changed(&knob, &animKnob::PropertyChanged);
    Dragger drag { knob };
    drag.up();
    drag.up();
    EXPECT_EQ(knob.currentFrame(), 78);
    EXPECT_EQ(knob.Value(), 100);
    EXPECT_EQ(faceOf(knob), frameOf(knob, 78));

    knob.setValue(40);
    changed.clear();
    drag.down();
    drag.down();
    EXPECT_EQ(knob.currentFrame(), 1);
    EXPECT_EQ(knob.Value(), 40);
    EXPECT_EQ(scroll.count, 0);
    EXPECT_EQ(changed.count(), 0);
    // The first step back counts again.
    drag.up();
    EXPECT_EQ(knob.currentFrame(), 2);
    EXPECT_EQ(scroll.count, 1);
}

TEST(AnimKnob, OnlyTheLeftButtonAloneDrags)
{
    animKnob knob;
    configure(knob, 40, 100, 80);
    ScrollCounter scroll(knob);
    moveTo(knob, 30, Qt::RightButton);
    moveTo(knob, 31, Qt::LeftButton | Qt::RightButton);
    moveTo(knob, 32, Qt::MiddleButton);
    moveTo(knob, 33, Qt::NoButton);
    EXPECT_EQ(scroll.count, 0);
    EXPECT_EQ(knob.currentFrame(), 52);
    // None of those moved the reference Y (still 0): y = 20 is below it, so one frame down.
    moveTo(knob, 20);
    EXPECT_EQ(knob.currentFrame(), 51);
    // Modifier keys do not matter, only the buttons.
    moveTo(knob, 10, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(knob.currentFrame(), 52);
    EXPECT_EQ(scroll.count, 2);
}

TEST(AnimKnob, OneFramePerNotificationWhateverTheDistance)
{
    animKnob knob;
    configure(knob, 35, 65, 50);
    moveTo(knob, -400);
    EXPECT_EQ(knob.currentFrame(), 40);
    moveTo(knob, 400);
    EXPECT_EQ(knob.currentFrame(), 39);
    // A purely horizontal move (same Y) is no step.
    ScrollCounter scroll(knob);
    QMouseEvent sideways(QEvent::MouseMove, QPointF(2, 400), QPointF(2, 400), Qt::NoButton,
        Qt::LeftButton, Qt::NoModifier, QPointingDevice::primaryPointingDevice());
    QCoreApplication::sendEvent(&knob, &sideways);
    EXPECT_EQ(scroll.count, 0);
    EXPECT_EQ(knob.currentFrame(), 39);
}

TEST(AnimKnob, ReferenceYRoundsHalvesToEvenAndSurvivesBetweenDrags)
{
    animKnob knob;
    configure(knob, 40, 100, 80); // frame 52
    moveTo(knob, 2.5); // down; reference becomes 2, not 3
    EXPECT_EQ(knob.currentFrame(), 51);
    moveTo(knob, 2.2); // below 2: down again (above 3 would have been up)
    EXPECT_EQ(knob.currentFrame(), 50);
    moveTo(knob, 3.5); // reference becomes 4
    moveTo(knob, 3.8); // above 4: up
    EXPECT_EQ(knob.currentFrame(), 50);
    // The button is released and a new drag starts elsewhere: its first move still compares
    // with the last counted step of the previous drag (4).
    moveTo(knob, 40, Qt::NoButton);
    moveTo(knob, 4.6);
    EXPECT_EQ(knob.currentFrame(), 49);
}

TEST(AnimKnob, HostWritingTheScrollArgumentChangesValueButNotTheFrame)
{
    animKnob knob;
    configure(knob, 40, 100, 80);
    QObject::connect(&knob, &animKnob::Scroll, [](qint16& value) { value = 7; });
    QSignalSpy changed(&knob, &animKnob::PropertyChanged);
    moveTo(knob, -1);
    EXPECT_EQ(knob.Value(), 7);
    EXPECT_EQ(knob.currentFrame(), 53);
    EXPECT_EQ(faceOf(knob), frameOf(knob, 53));
    EXPECT_EQ(changed.count(), 1);
}

TEST(AnimKnob, SettersReportAndRedrawButNeverScroll)
{
    animKnob knob;
    ScrollCounter scroll(knob);
    QSignalSpy changed(&knob, &animKnob::PropertyChanged);
    knob.setMin(40);
    knob.setMax(100);
    knob.setValue(80);
    knob.setValue(80);
    EXPECT_EQ(scroll.count, 0);
    ASSERT_EQ(changed.count(), 4);
    EXPECT_EQ(changed.at(0).at(0).toString(), "Min");
    EXPECT_EQ(changed.at(1).at(0).toString(), "Max");
    EXPECT_EQ(changed.at(2).at(0).toString(), "Value");
    EXPECT_EQ(changed.at(3).at(0).toString(), "Value");
    EXPECT_EQ(knob.currentFrame(), 52);
    EXPECT_EQ(faceOf(knob), frameOf(knob, 52));

    knob.setEnabled(false);
    knob.setMousePointer(2);
    ASSERT_EQ(changed.count(), 6);
    EXPECT_EQ(changed.at(4).at(0).toString(), "Enabled");
    EXPECT_EQ(changed.at(5).at(0).toString(), "MousePointer");
    EXPECT_EQ(knob.cursor().shape(), Qt::CrossCursor);
}

TEST(AnimKnob, MaxEqualToMinKeepsTheFrameAndDragsToMin)
{
    animKnob knob;
    configure(knob, 40, 100, 80);
    knob.setMax(40);
    EXPECT_EQ(knob.currentFrame(), 52);
    knob.setValue(90);
    EXPECT_EQ(knob.currentFrame(), 52);
    QList<int> values;
    QObject::connect(&knob, &animKnob::Scroll, [&](qint16& v) { values << v; });
    moveTo(knob, -1);
    moveTo(knob, 5);
    EXPECT_EQ(values, QList<int>({ 40, 40 }));
    EXPECT_EQ(knob.currentFrame(), 52);
}

TEST(AnimKnob, OverflowingRangeKeepsThePreviousRange)
{
    animKnob knob;
    configure(knob, -1, 100, 50); // range 101: frame floor(78 / 101 * 51) = 39
    EXPECT_EQ(knob.currentFrame(), 39);
    knob.setMax(32767); // 32767 - (-1) does not fit in 16 bits: the range stays 101
    EXPECT_EQ(knob.currentFrame(), 39);
    qint16 seen = 0;
    QObject::connect(&knob, &animKnob::Scroll, [&](qint16& v) { seen = v; });
    moveTo(knob, -1); // frame 40: floor(101 / 78 * 40 - 1) = 50
    EXPECT_EQ(seen, 50);
    // Extremes at both ends of 16 bits stay well defined.
    configure(knob, -32768, 32767, 0);
    moveTo(knob, -2);
    configure(knob, 32767, -32768, -32768);
    moveTo(knob, 0);
    EXPECT_GE(knob.currentFrame(), 1);
    EXPECT_LE(knob.currentFrame(), 78);
}

TEST(AnimKnob, DoubleClickRaisesDblClickOnly)
{
    animKnob knob;
    configure(knob, 35, 65, 60);
    QSignalSpy dbl(&knob, &animKnob::DblClick);
    ScrollCounter scroll(knob);
    QTest::mouseDClick(&knob, Qt::LeftButton);
    EXPECT_EQ(dbl.count(), 1);
    EXPECT_EQ(scroll.count, 0);
    EXPECT_EQ(knob.Value(), 60);
}

TEST(AnimKnob, PersistenceLeavesDefaultsOutAndKeepsOrder)
{
    animKnob fresh;
    fresh.setValue(80);
    QVariantMap bag;
    fresh.WriteProperties(bag);
    EXPECT_TRUE(bag.isEmpty()) << "defaults are not written";

    animKnob knob;
    configure(knob, 35, 65, 50);
    knob.setEnabled(false);
    knob.setMousePointer(11);
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    knob.setPicture(picture);
    Controls::PropertyList list;
    knob.WriteProperties(list);
    QStringList names;
    for (const auto& entry : list)
        names << entry.first;
    EXPECT_EQ(names, QStringList({ "Enabled", "Picture", "MousePointer", "Min", "Max", "Value" }));

    animKnob loaded;
    QSignalSpy changed(&loaded, &animKnob::PropertyChanged);
    loaded.ReadProperties(Controls::toMap(list));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FALSE(loaded.isEnabled());
    EXPECT_EQ(loaded.MousePointer(), 11);
    EXPECT_EQ(loaded.Picture(), picture);
    EXPECT_EQ(loaded.Min(), 35);
    EXPECT_EQ(loaded.Max(), 65);
    EXPECT_EQ(loaded.Value(), 50);
    // Loaded disabled: no redraw, the creation frame stays.
    EXPECT_EQ(loaded.currentFrame(), 1);
    EXPECT_EQ(faceOf(loaded), frameOf(loaded, 1));

    // Missing entries take the defaults; an enabled knob redraws once.
    animKnob defaults;
    defaults.ReadProperties({});
    EXPECT_TRUE(defaults.isEnabled());
    EXPECT_EQ(defaults.Min(), 0);
    EXPECT_EQ(defaults.Max(), 100);
    EXPECT_EQ(defaults.Value(), 80);
    EXPECT_EQ(defaults.currentFrame(), 62); // floor(78 / 100 * 80)

    // A number that does not fit in 16 bits counts as missing.
    animKnob odd;
    odd.ReadProperties({ { "Value", 70000 }, { "Max", "x" } });
    EXPECT_EQ(odd.Value(), 80);
    EXPECT_EQ(odd.Max(), 100);
}

TEST(AnimKnob, FacePaintsTheCurrentFrameOfTheStrip)
{
    animKnob knob;
    EXPECT_EQ(faceOf(knob), frameOf(knob, 1));
    configure(knob, 40, 100, 80);
    EXPECT_EQ(faceOf(knob), frameOf(knob, 52));
    // Frames differ from one another (the pointer turns).
    EXPECT_NE(frameOf(knob, 1), frameOf(knob, 2));
    // The corners are the panel colour, so the frame blends into the red panel.
    const QImage face = faceOf(knob);
    EXPECT_EQ(face.pixelColor(0, 0), QColor(200, 50, 80));
    EXPECT_EQ(face.pixelColor(49, 0), QColor(200, 50, 80));
}

TEST(AnimKnob, HighDensityTargetsTakeTheSameFrameFromTheTwiceSizeStrip)
{
    animKnob knob;
    configure(knob, 35, 65, 50); // frame 39
    const QImage strip2x(QStringLiteral(":/artwork/knob@2x.png"));
    ASSERT_EQ(strip2x.size(), QSize(100, 7800));
    QPixmap target(100, 100);
    target.setDevicePixelRatio(2.0);
    knob.render(&target);
    EXPECT_EQ(target.toImage().convertToFormat(QImage::Format_RGB32),
        strip2x.copy(0, 38 * 100, 100, 100).convertToFormat(QImage::Format_RGB32));
}

TEST(AnimKnob, DragThroughTheWindowSystem)
{
    QWidget window;
    window.resize(200, 200);
    auto* knob = new animKnob(&window);
    knob->move(50, 50);
    configure(*knob, 40, 100, 80);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QWindow* handle = window.windowHandle();
    QList<int> values;
    QObject::connect(knob, &animKnob::Scroll, [&](qint16& v) { values << v; });
    // Press on the face, then drag past its top edge: the knob keeps the moves. The first
    // compares with the reference Y of a new knob (0), so it is a step down.
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(75, 75));
    QTest::mouseMove(handle, QPoint(75, 70)); // y 20: down, frame 51
    QTest::mouseMove(handle, QPoint(75, 60)); // y 10: up, frame 52
    QTest::mouseMove(handle, QPoint(80, 30)); // y -20: up, frame 53
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(80, 30));
    EXPECT_EQ(knob->currentFrame(), 53);
    EXPECT_EQ(values.size(), 3);
    // Moves without a button do nothing.
    QTest::mouseMove(handle, QPoint(75, 90));
    EXPECT_EQ(knob->currentFrame(), 53);
}

TEST(AnimKnob, UpAndDownOnTheKeyboardMoveTheValueByOneOnEveryPress)
{
    // More frames than values: neighbouring frames share values, which the keys skip.
    for (const auto& [min, max, start] :
        { std::tuple<qint16, qint16, qint16> { 40, 100, 80 }, { 35, 65, 50 } }) {
        animKnob knob;
        configure(knob, min, max, start);
        QSignalSpy scrolls(&knob, &animKnob::Scroll);
        qint16 last = knob.Value();
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(&knob, Qt::Key_Up);
            EXPECT_EQ(knob.Value(), last + 1) << "up " << i << " from " << start;
            last = knob.Value();
        }
        EXPECT_EQ(scrolls.count(), 8) << "one Scroll per press";
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(&knob, Qt::Key_Down);
            EXPECT_EQ(knob.Value(), last - 1) << "down " << i << " from " << start;
            last = knob.Value();
        }
        // At the top, Up changes nothing and raises nothing.
        for (int i = 0; i < 200; ++i)
            QTest::keyClick(&knob, Qt::Key_Up);
        EXPECT_EQ(knob.Value(), max);
        const int atTop = int(scrolls.count());
        QTest::keyClick(&knob, Qt::Key_Up);
        EXPECT_EQ(scrolls.count(), atTop);
    }
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the program's artwork: the knob film strip, the Mute and Play key strips, the sync
// panel strip and the window icon, each at 96-dpi size and at twice that size ("@2x"), as PNG
// files in the directory given on the command line. Run by hand; its output is committed.
// With --icons it draws the application icon at each size given, as sorvanto-<size>.png (the
// build does this for the install rules).
//
//   make_artwork <outdir>
//   make_artwork --icons <outdir> <size>...
//
// Everything is drawn with QPainter from fixed numbers (textures use a seeded generator), so a
// run reproduces the same files.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QTextStream>

#include <cmath>
#include <functional>

namespace {

// The panel behind the knobs and keys; each frame's corners must match it exactly.
const QColor kPanel(200, 50, 80);
constexpr int kKnobFrame = 50;
constexpr int kKnobFrames = 78;
constexpr double kPi = 3.14159265358979323846;

QPointF polar(QPointF centre, double radius, double degreesFromNoon)
{
    const double a = degreesFromNoon * kPi / 180.0;
    return { centre.x() + radius * std::sin(a), centre.y() - radius * std::cos(a) };
}

// Renders a strip of logical size `w` x `h` at `scale` with `draw` (which paints in logical
// coordinates) and returns it as a 24-bit image.
QImage render(
    int w, int h, int scale, const std::function<void(QPainter&)>& draw, bool keepAlpha = false)
{
    QImage image(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(keepAlpha ? Qt::transparent : Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(scale, scale);
    draw(p);
    p.end();
    return image.convertToFormat(keepAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB888);
}

// ---- Knob ------------------------------------------------------------------------------------

// Pointer angle of a frame, in degrees clockwise from twelve o'clock: seven o'clock (-150) at
// the first frame to five o'clock (+150) at the last, in even steps.
double knobAngle(int frame)
{
    return -150.0 + 300.0 * (frame - 1) / (kKnobFrames - 1);
}

void drawKnobFrame(QPainter& p, double angle)
{
    const QPointF c(25.0, 25.0);
    p.fillRect(QRectF(0, 0, kKnobFrame, kKnobFrame), kPanel);

    // Scale ticks: eleven marks, the ends and the centre longer.
    for (int i = 0; i <= 10; ++i) {
        const double a = -150.0 + 30.0 * i;
        const bool major = i == 0 || i == 5 || i == 10;
        const double inner = major ? 20.4 : 21.3;
        const double outer = 24.2;
        QPen shadow(QColor(90, 10, 30, 150), major ? 1.9 : 1.5, Qt::SolidLine, Qt::RoundCap);
        p.setPen(shadow);
        p.drawLine(polar(c + QPointF(0.4, 0.6), inner, a), polar(c + QPointF(0.4, 0.6), outer, a));
        QPen tick(QColor(255, 255, 255, major ? 255 : 235), major ? 1.6 : 1.25, Qt::SolidLine,
            Qt::RoundCap);
        p.setPen(tick);
        p.drawLine(polar(c, inner, a), polar(c, outer, a));
    }

    // Soft drop shadow under the body, light from the upper left.
    {
        QRadialGradient g(c + QPointF(1.2, 2.2), 20.0);
        g.setColorAt(0.0, QColor(40, 0, 10, 170));
        g.setColorAt(0.78, QColor(40, 0, 10, 110));
        g.setColorAt(1.0, QColor(40, 0, 10, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(c + QPointF(1.2, 2.2), 20.0, 20.0);
    }

    // Skirt: dark body with a lit upper rim.
    const double skirt = 17.6;
    {
        QLinearGradient g(c.x() - 10, c.y() - skirt, c.x() + 10, c.y() + skirt);
        g.setColorAt(0.0, QColor(92, 92, 98));
        g.setColorAt(0.35, QColor(44, 44, 48));
        g.setColorAt(1.0, QColor(10, 10, 12));
        p.setBrush(g);
        p.setPen(QPen(QColor(5, 5, 6), 0.8));
        p.drawEllipse(c, skirt, skirt);
    }
    // Knurled grip: fine ridges that turn with the knob.
    for (int i = 0; i < 40; ++i) {
        const double a = angle + i * 9.0;
        const double light = 0.5 + 0.5 * std::cos((a + 45.0) * kPi / 180.0);
        p.setPen(QPen(QColor(140, 140, 150, static_cast<int>(25 + 80 * light)), 0.7));
        p.drawLine(polar(c, 13.0, a), polar(c, skirt - 0.7, a));
        p.setPen(QPen(QColor(0, 0, 0, 110), 0.6));
        p.drawLine(polar(c, 13.0, a + 4.5), polar(c, skirt - 0.7, a + 4.5));
    }
    // Rim highlight.
    {
        QPen rim(QColor(200, 200, 210, 120), 0.8);
        p.setPen(rim);
        p.setBrush(Qt::NoBrush);
        p.drawArc(
            QRectF(c.x() - skirt + 0.6, c.y() - skirt + 0.6, 2 * skirt - 1.2, 2 * skirt - 1.2),
            50 * 16, 90 * 16);
    }

    // Step between skirt and cap.
    {
        QLinearGradient g(c.x(), c.y() - 14, c.x(), c.y() + 14);
        g.setColorAt(0.0, QColor(20, 20, 22));
        g.setColorAt(1.0, QColor(70, 70, 76));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(c, 12.2, 12.2);
    }

    // Silver cap: spun metal (conical sheen fixed to the light) and a domed highlight.
    const double cap = 10.6;
    {
        QConicalGradient g(c, 35.0);
        g.setColorAt(0.00, QColor(250, 250, 252));
        g.setColorAt(0.12, QColor(168, 170, 178));
        g.setColorAt(0.25, QColor(226, 228, 232));
        g.setColorAt(0.38, QColor(138, 140, 148));
        g.setColorAt(0.50, QColor(244, 244, 248));
        g.setColorAt(0.62, QColor(160, 162, 170));
        g.setColorAt(0.75, QColor(218, 220, 226));
        g.setColorAt(0.88, QColor(132, 134, 142));
        g.setColorAt(1.00, QColor(250, 250, 252));
        p.setBrush(g);
        p.setPen(QPen(QColor(60, 60, 66), 0.7));
        p.drawEllipse(c, cap, cap);
        QRadialGradient dome(c + QPointF(-4.0, -5.0), cap * 1.4);
        dome.setColorAt(0.0, QColor(255, 255, 255, 120));
        dome.setColorAt(0.45, QColor(255, 255, 255, 20));
        dome.setColorAt(1.0, QColor(0, 0, 0, 70));
        p.setPen(Qt::NoPen);
        p.setBrush(dome);
        p.drawEllipse(c, cap - 0.35, cap - 0.35);
    }

    // Grip notch cut into the cap along the pointer, lit on its lower edge.
    {
        const QPointF a = polar(c, 2.2, angle);
        const QPointF b = polar(c, cap - 0.9, angle);
        p.setPen(QPen(QColor(255, 255, 255, 150), 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(a + QPointF(0.35, 0.5), b + QPointF(0.35, 0.5));
        p.setPen(QPen(QColor(28, 28, 32), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(a, b);
    }
    // Pointer line on the skirt.
    {
        p.setPen(QPen(QColor(0, 0, 0, 160), 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(polar(c, 12.6, angle) + QPointF(0.3, 0.4),
            polar(c, skirt - 1.0, angle) + QPointF(0.3, 0.4));
        p.setPen(QPen(QColor(252, 252, 252), 2.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(polar(c, 12.6, angle), polar(c, skirt - 1.0, angle));
    }
}

QImage knobStrip(int scale)
{
    return render(kKnobFrame, kKnobFrame * kKnobFrames, scale, [](QPainter& p) {
        for (int frame = 1; frame <= kKnobFrames; ++frame) {
            p.save();
            p.translate(0, (frame - 1) * kKnobFrame);
            p.setClipRect(QRectF(0, 0, kKnobFrame, kKnobFrame));
            drawKnobFrame(p, knobAngle(frame));
            p.restore();
        }
    });
}

// ---- Keys ------------------------------------------------------------------------------------

// One 29 x 20 key: a dark rounded cap on the panel colour with a light bar; `lit` is the bar's
// lit colour or an invalid colour for an unlit bar.
void drawKey(QPainter& p, const QColor& lit)
{
    p.fillRect(QRectF(0, 0, 29, 20), kPanel);
    // Recess and shadow.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 8, 28, 150));
    p.drawRoundedRect(QRectF(1.0, 1.6, 27.6, 18.2), 3.6, 3.6);
    p.setBrush(QColor(18, 18, 20));
    p.drawRoundedRect(QRectF(0.8, 0.8, 27.4, 18.0), 3.4, 3.4);
    // Key cap.
    {
        QLinearGradient g(0, 1.5, 0, 18);
        g.setColorAt(0.0, QColor(96, 96, 102));
        g.setColorAt(0.12, QColor(66, 66, 72));
        g.setColorAt(0.6, QColor(40, 40, 44));
        g.setColorAt(1.0, QColor(24, 24, 27));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(1.6, 1.5, 25.8, 16.4), 2.8, 2.8);
        QPen edge(QColor(150, 150, 158, 120), 0.6);
        p.setPen(edge);
        p.drawLine(QPointF(3.6, 2.0), QPointF(25.4, 2.0));
        p.setPen(Qt::NoPen);
    }
    // The bar's window.
    const QRectF bar(6.0, 8.0, 17.0, 4.2);
    p.setBrush(QColor(10, 10, 12));
    p.drawRoundedRect(bar.adjusted(-0.8, -0.8, 0.8, 0.8), 1.6, 1.6);
    if (!lit.isValid()) {
        QLinearGradient g(0, bar.top(), 0, bar.bottom());
        g.setColorAt(0.0, QColor(128, 128, 134));
        g.setColorAt(0.5, QColor(92, 92, 98));
        g.setColorAt(1.0, QColor(70, 70, 76));
        p.setBrush(g);
        p.drawRoundedRect(bar, 1.2, 1.2);
        p.setBrush(QColor(255, 255, 255, 40));
        p.drawRoundedRect(
            QRectF(bar.left() + 0.8, bar.top() + 0.4, bar.width() - 1.6, 1.2), 0.6, 0.6);
        return;
    }
    // Glow spilling over the cap.
    {
        QRadialGradient glow(bar.center(), 13.0);
        QColor inner = lit;
        inner.setAlpha(150);
        QColor outer = lit;
        outer.setAlpha(0);
        glow.setColorAt(0.0, inner);
        glow.setColorAt(1.0, outer);
        p.save();
        p.setClipPath([] {
            QPainterPath path;
            path.addRoundedRect(QRectF(1.6, 1.5, 25.8, 16.4), 2.8, 2.8);
            return path;
        }());
        p.setBrush(glow);
        p.drawEllipse(bar.center(), 15.0, 8.5);
        p.restore();
    }
    QLinearGradient g(0, bar.top(), 0, bar.bottom());
    g.setColorAt(0.0, lit.lighter(150));
    g.setColorAt(0.5, lit);
    g.setColorAt(1.0, lit.darker(130));
    p.setBrush(g);
    p.drawRoundedRect(bar, 1.2, 1.2);
    // Hot core.
    QColor core = lit.lighter(170);
    core.setAlpha(200);
    p.setBrush(core);
    p.drawRoundedRect(QRectF(bar.left() + 1.5, bar.top() + 0.9, bar.width() - 3.0, 1.4), 0.7, 0.7);
}

QImage keyStrip(int scale, const QColor& lit)
{
    return render(29, 40, scale, [&](QPainter& p) {
        drawKey(p, QColor());
        p.translate(0, 20);
        drawKey(p, lit);
    });
}

// ---- Sync panel ------------------------------------------------------------------------------

void drawScrew(QPainter& p, QPointF c, double turn)
{
    QRadialGradient g(c + QPointF(-1.0, -1.0), 4.0);
    g.setColorAt(0.0, QColor(220, 220, 226));
    g.setColorAt(0.7, QColor(120, 120, 128));
    g.setColorAt(1.0, QColor(60, 60, 66));
    p.setPen(QPen(QColor(10, 10, 12), 0.8));
    p.setBrush(g);
    p.drawEllipse(c, 3.4, 3.4);
    p.setPen(QPen(QColor(40, 40, 44), 1.0));
    p.drawLine(polar(c, 2.4, turn), polar(c, 2.4, turn + 180));
    p.drawLine(polar(c, 2.4, turn + 90), polar(c, 2.4, turn + 270));
}

// Engraved lettering: a dark cut above and a light edge below the face colour.
void drawEngraved(QPainter& p, const QRectF& box, int flags, const QString& text, const QFont& font,
    const QColor& colour)
{
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 200));
    p.drawText(box.translated(0, -0.8), flags, text);
    p.setPen(QColor(255, 255, 255, 50));
    p.drawText(box.translated(0, 0.9), flags, text);
    p.setPen(colour);
    p.drawText(box, flags, text);
}

void drawLamp(QPainter& p, QPointF c, bool lit)
{
    const double r = 20.0;
    // Glow around a lit lamp.
    if (lit) {
        QRadialGradient glow(c, r * 2.4);
        glow.setColorAt(0.0, QColor(200, 255, 60, 150));
        glow.setColorAt(0.45, QColor(170, 240, 40, 60));
        glow.setColorAt(1.0, QColor(150, 230, 30, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(c, r * 2.4, r * 2.4);
    }
    // Chrome bezel.
    {
        QLinearGradient g(c.x() - r, c.y() - r - 4, c.x() + r, c.y() + r + 4);
        g.setColorAt(0.0, QColor(235, 235, 240));
        g.setColorAt(0.45, QColor(120, 120, 128));
        g.setColorAt(0.55, QColor(90, 90, 96));
        g.setColorAt(1.0, QColor(200, 200, 206));
        p.setPen(QPen(QColor(8, 8, 10), 1.0));
        p.setBrush(g);
        p.drawEllipse(c, r + 4.0, r + 4.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(12, 12, 14));
        p.drawEllipse(c, r + 0.9, r + 0.9);
    }
    // Lens.
    {
        QRadialGradient g(c + QPointF(-3.0, -4.0), r * 1.25);
        if (lit) {
            g.setColorAt(0.0, QColor(250, 255, 200));
            g.setColorAt(0.35, QColor(214, 255, 70));
            g.setColorAt(0.8, QColor(150, 210, 20));
            g.setColorAt(1.0, QColor(90, 140, 10));
        } else {
            g.setColorAt(0.0, QColor(96, 108, 56));
            g.setColorAt(0.5, QColor(56, 66, 28));
            g.setColorAt(1.0, QColor(24, 30, 10));
        }
        p.setBrush(g);
        p.drawEllipse(c, r, r);
    }
    // Fresnel rings.
    p.setBrush(Qt::NoBrush);
    for (double rr = 4.0; rr < r; rr += 3.5) {
        p.setPen(QPen(lit ? QColor(255, 255, 210, 45) : QColor(0, 0, 0, 45), 0.7));
        p.drawEllipse(c, rr, rr);
    }
    // Specular highlight on the glass.
    {
        QRadialGradient g(c + QPointF(-5.5, -6.5), 7.5);
        g.setColorAt(0.0, QColor(255, 255, 255, lit ? 230 : 150));
        g.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(c + QPointF(-5.5, -6.5), 7.5, 5.5);
    }
}

void drawSyncPanel(QPainter& p, bool lit)
{
    const QRectF all(0, 0, 685, 121);
    p.fillRect(all, Qt::black);
    QPainterPath outline;
    outline.addRoundedRect(all.adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
    // Brushed dark aluminium.
    {
        QLinearGradient g(0, 0, 0, 121);
        g.setColorAt(0.0, QColor(74, 74, 80));
        g.setColorAt(0.08, QColor(54, 54, 59));
        g.setColorAt(0.55, QColor(38, 38, 42));
        g.setColorAt(1.0, QColor(24, 24, 27));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPath(outline);
        p.save();
        p.setClipPath(outline);
        QRandomGenerator rng(685121);
        for (int i = 0; i < 900; ++i) {
            const double y = rng.bounded(121.0);
            const double x = rng.bounded(685.0);
            const double len = 40.0 + rng.bounded(220.0);
            const int shade = rng.bounded(2) ? 255 : 0;
            p.setPen(QPen(QColor(shade, shade, shade, 6 + rng.bounded(9)), 0.6));
            p.drawLine(QPointF(x, y), QPointF(x + len, y));
        }
        p.restore();
    }
    // Bevel: lit top edge, shaded bottom edge.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(160, 160, 168, 160), 1.0));
    p.drawLine(QPointF(7, 1.2), QPointF(678, 1.2));
    p.setPen(QPen(QColor(0, 0, 0, 200), 1.0));
    p.drawLine(QPointF(7, 119.6), QPointF(678, 119.6));
    p.setPen(QPen(QColor(10, 10, 12), 1.0));
    p.drawPath(outline);

    for (const QPointF& s :
        { QPointF(12, 12), QPointF(673, 12), QPointF(12, 109), QPointF(673, 109) })
        drawScrew(p, s, 20.0 + s.x() / 9.0);

    // A red stripe that ties the panel to the mixer above.
    {
        QLinearGradient g(0, 0, 0, 4);
        g.setColorAt(0.0, kPanel.lighter(125));
        g.setColorAt(1.0, kPanel.darker(140));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(34, 84, 300, 3.2), 1.5, 1.5);
    }

    QFont big(QStringLiteral("Liberation Sans"));
    big.setPixelSize(34);
    big.setBold(true);
    big.setLetterSpacing(QFont::AbsoluteSpacing, 6);
    drawEngraved(p, QRectF(34, 22, 360, 50), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("SYNC ALL"), big, QColor(226, 226, 232));
    QFont small(QStringLiteral("Liberation Sans"));
    small.setPixelSize(15);
    small.setBold(true);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    drawEngraved(p, QRectF(36, 92, 320, 20), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("START / STOP"), small, QColor(186, 186, 194));
    // Transport symbols after the legend: a play triangle and a stop square.
    {
        QPainterPath play;
        play.moveTo(186, 96.5);
        play.lineTo(196, 102);
        play.lineTo(186, 107.5);
        play.closeSubpath();
        for (const auto& [offset, colour] : { std::pair { -0.8, QColor(0, 0, 0, 200) },
                 std::pair { 0.9, QColor(255, 255, 255, 50) },
                 std::pair { 0.0, QColor(186, 186, 194) } }) {
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            p.drawPath(play.translated(0, offset));
            p.drawRect(QRectF(204, 97 + offset, 10, 10));
        }
    }

    // Lamp well and the three lamps, one per phrase column.
    {
        const QRectF well(384, 12, 276, 97);
        QLinearGradient g(0, well.top(), 0, well.bottom());
        g.setColorAt(0.0, QColor(14, 14, 16));
        g.setColorAt(1.0, QColor(34, 34, 38));
        p.setPen(QPen(QColor(90, 90, 98, 140), 1.0));
        p.setBrush(g);
        p.drawRoundedRect(well, 8, 8);
    }
    QFont digits(QStringLiteral("Liberation Sans"));
    digits.setPixelSize(11);
    digits.setBold(true);
    for (int i = 0; i < 3; ++i) {
        const QPointF c(432.0 + 90.0 * i, 50.0);
        drawLamp(p, c, lit);
        drawEngraved(p, QRectF(c.x() - 20, 86, 40, 16), Qt::AlignCenter, QString::number(i + 1),
            digits, lit ? QColor(220, 255, 150) : QColor(150, 150, 158));
    }
}

QImage syncStrip(int scale)
{
    return render(685, 242, scale, [](QPainter& p) {
        p.save();
        p.setClipRect(QRectF(0, 0, 685, 121));
        drawSyncPanel(p, false);
        p.restore();
        p.translate(0, 121);
        p.setClipRect(QRectF(0, 0, 685, 121));
        drawSyncPanel(p, true);
    });
}

// ---- Window icon -----------------------------------------------------------------------------

// Paints the icon in its 32 x 32 logical square; callers scale the painter to the size wanted.
void drawIcon(QPainter& p)
{
    QLinearGradient bg(0, 0, 32, 32);
    bg.setColorAt(0.0, QColor(212, 212, 216));
    bg.setColorAt(1.0, QColor(150, 150, 156));
    p.setPen(QPen(QColor(80, 80, 86), 1.0));
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 3, 3);
    const QColor knobColours[3] = { kPanel, QColor(230, 180, 40), QColor(60, 170, 90) };
    const double faderPos[3] = { 21.0, 15.0, 24.0 };
    for (int i = 0; i < 3; ++i) {
        const double x = 2.5 + i * 9.5;
        QLinearGradient strip(x, 0, x + 8, 0);
        strip.setColorAt(0.0, QColor(58, 58, 64));
        strip.setColorAt(1.0, QColor(30, 30, 34));
        p.setPen(Qt::NoPen);
        p.setBrush(strip);
        p.drawRoundedRect(QRectF(x, 2.5, 8, 27), 1.5, 1.5);
        // Knob.
        const QPointF c(x + 4, 7.0);
        QRadialGradient k(c + QPointF(-0.8, -0.8), 3.2);
        k.setColorAt(0.0, knobColours[i].lighter(150));
        k.setColorAt(1.0, knobColours[i].darker(130));
        p.setBrush(k);
        p.drawEllipse(c, 2.7, 2.7);
        p.setPen(QPen(Qt::white, 0.8));
        p.drawLine(c, polar(c, 2.4, -60.0 + 60.0 * i));
        // Fader slot and cap.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(8, 8, 10));
        p.drawRect(QRectF(x + 3.4, 12.0, 1.2, 15.5));
        QLinearGradient cap(0, faderPos[i] - 1.8, 0, faderPos[i] + 1.8);
        cap.setColorAt(0.0, QColor(245, 245, 248));
        cap.setColorAt(1.0, QColor(150, 150, 158));
        p.setBrush(cap);
        p.drawRoundedRect(QRectF(x + 1.2, faderPos[i] - 1.8, 5.6, 3.6), 0.8, 0.8);
    }
}

QImage icon(int scale)
{
    return render(32, 32, scale, drawIcon, true);
}

// The application icon of `px` x `px` pixels for the desktop's icon theme, drawn at that size
// (not scaled from a smaller image).
QImage appIcon(int px)
{
    QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(px / 32.0, px / 32.0);
    drawIcon(p);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

bool save(const QImage& image, const QString& dir, const QString& name)
{
    const QString path = QDir(dir).filePath(name);
    if (!image.save(path, "PNG", 9)) {
        QTextStream(stderr) << "cannot write " << path << '\n';
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc >= 3 && QLatin1String(argv[1]) == QLatin1String("--icons")) {
        const QString dir = QString::fromLocal8Bit(argv[2]);
        QDir().mkpath(dir);
        bool ok = true;
        for (int i = 3; i < argc; ++i) {
            const int px = QString::fromLocal8Bit(argv[i]).toInt();
            if (px <= 0 || px > 1024) {
                QTextStream(stderr) << "bad icon size " << argv[i] << '\n';
                return 2;
            }
            ok = save(appIcon(px), dir, QStringLiteral("sorvanto-%1.png").arg(px)) && ok;
        }
        return ok ? 0 : 1;
    }
    if (argc != 2) {
        QTextStream(stderr) << "usage: make_artwork <outdir>\n"
                               "       make_artwork --icons <outdir> <size>...\n";
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    const QColor red(255, 42, 30);
    const QColor green(70, 255, 90);
    bool ok = true;
    for (int scale : { 1, 2 }) {
        const QString suffix = scale == 1 ? QStringLiteral(".png") : QStringLiteral("@2x.png");
        ok = save(knobStrip(scale), dir, QStringLiteral("knob") + suffix) && ok;
        ok = save(keyStrip(scale, red), dir, QStringLiteral("mute") + suffix) && ok;
        ok = save(keyStrip(scale, green), dir, QStringLiteral("play") + suffix) && ok;
        ok = save(syncStrip(scale), dir, QStringLiteral("sync") + suffix) && ok;
        ok = save(icon(scale), dir, QStringLiteral("icon") + suffix) && ok;
    }
    return ok ? 0 : 1;
}

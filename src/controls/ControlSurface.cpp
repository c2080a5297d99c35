// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/ControlSurface.h"

#include "controls/ControlsAccessibility.h"

#include <QCursor>
#include <QFileInfo>
#include <QPixmap>
#include <QWidget>

// Outside any namespace, as Qt's resource macro requires.
static void initArtworkResources()
{
    Q_INIT_RESOURCE(artwork);
}

namespace Controls {

QVariantMap toMap(const PropertyList& list)
{
    QVariantMap map;
    for (const auto& [name, value] : list)
        map.insert(name, value);
    return map;
}

void initControls()
{
    static const bool done = [] {
        // The resources live in a static library: nothing else pulls their registration in.
        initArtworkResources();
        installAccessibilityFactory();
        return true;
    }();
    Q_UNUSED(done);
}

QImage loadStrip(const QString& path)
{
    QImage image(path);
    if (image.isNull())
        return image;
    // Frames are copied pixel for pixel; a format without alpha makes that a plain copy.
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage loadStrip2x(const QString& path)
{
    const QFileInfo info(path);
    const QString hiPath = info.path() + QLatin1Char('/') + info.completeBaseName()
        + QStringLiteral("@2x.") + info.suffix();
    QImage image = loadStrip(hiPath);
    if (!image.isNull())
        image.setDevicePixelRatio(2.0);
    return image;
}

ControlSurface::ControlSurface(QWidget* widget)
    : m_widget(widget)
{ }

void ControlSurface::setMouseIcon(const QImage& icon)
{
    m_mouseIcon = icon;
    applyCursor();
}

void ControlSurface::setMousePointer(qint16 code)
{
    m_mousePointer = code;
    applyCursor();
}

void ControlSurface::applyCursor()
{
    // Pointer shape codes: 0 default, 1 arrow, 2 cross, 3 I-beam, 4 icon, 5 size, 6 size NE-SW,
    // 7 size N-S, 8 size NW-SE, 9 size W-E, 10 up arrow, 11 hourglass, 12 no drop,
    // 13 arrow and hourglass, 14 arrow and question mark, 15 size all, 99 custom (MouseIcon).
    Qt::CursorShape shape = Qt::ArrowCursor;
    switch (m_mousePointer) {
    case 0:
        m_widget->unsetCursor();
        return;
    case 99:
        if (m_mouseIcon.isNull())
            m_widget->unsetCursor();
        else
            m_widget->setCursor(QCursor(QPixmap::fromImage(m_mouseIcon)));
        return;
    case 2:
        shape = Qt::CrossCursor;
        break;
    case 3:
        shape = Qt::IBeamCursor;
        break;
    case 5:
    case 15:
        shape = Qt::SizeAllCursor;
        break;
    case 6:
        shape = Qt::SizeBDiagCursor;
        break;
    case 7:
        shape = Qt::SizeVerCursor;
        break;
    case 8:
        shape = Qt::SizeFDiagCursor;
        break;
    case 9:
        shape = Qt::SizeHorCursor;
        break;
    case 10:
        shape = Qt::UpArrowCursor;
        break;
    case 11:
        shape = Qt::WaitCursor;
        break;
    case 12:
        shape = Qt::ForbiddenCursor;
        break;
    case 13:
        shape = Qt::BusyCursor;
        break;
    case 14:
        shape = Qt::WhatsThisCursor;
        break;
    default:
        break;
    }
    m_widget->setCursor(shape);
}

bool isOwnEnabled(const QWidget* widget)
{
    return !widget->testAttribute(Qt::WA_ForceDisabled);
}

void ControlSurface::write(PropertyList& bag) const
{
    if (!isOwnEnabled(m_widget))
        bag.append({ QStringLiteral("Enabled"), false });
    if (!m_picture.isNull())
        bag.append({ QStringLiteral("Picture"), m_picture });
    if (!m_mouseIcon.isNull())
        bag.append({ QStringLiteral("MouseIcon"), m_mouseIcon });
    if (m_mousePointer != 0)
        bag.append({ QStringLiteral("MousePointer"), m_mousePointer });
}

static QImage readImage(const QVariantMap& bag, const QString& name)
{
    const QVariant v = bag.value(name);
    if (v.canConvert<QImage>())
        return v.value<QImage>();
    if (v.canConvert<QPixmap>())
        return v.value<QPixmap>().toImage();
    return {};
}

void ControlSurface::read(const QVariantMap& bag)
{
    const QVariant enabled = bag.value(QStringLiteral("Enabled"));
    m_widget->setEnabled(enabled.isValid() && enabled.canConvert<bool>() ? enabled.toBool() : true);
    m_picture = readImage(bag, QStringLiteral("Picture"));
    m_mouseIcon = readImage(bag, QStringLiteral("MouseIcon"));
    m_mousePointer = readInt16(bag, QStringLiteral("MousePointer"), 0);
    applyCursor();
}

qint16 readInt16(const QVariantMap& bag, const QString& name, qint16 fallback)
{
    const auto it = bag.constFind(name);
    if (it == bag.constEnd())
        return fallback;
    bool ok = false;
    const qlonglong v = it->toLongLong(&ok);
    if (!ok || v < -32768 || v > 32767)
        return fallback;
    return static_cast<qint16>(v);
}

} // namespace Controls

// Placeholder so that the program links while the controls are being built.
#include "controls/StripButton.h"

StripButton::StripButton(const QString& strip, QWidget* parent)
    : QWidget(parent)
    , m_strip(strip)
{
}
void StripButton::setValue(bool v) { m_value = v; }
void StripButton::WriteProperties(QVariantMap&) const { }
void StripButton::ReadProperties(const QVariantMap&) { }
void StripButton::paintEvent(QPaintEvent*) { }
void StripButton::mousePressEvent(QMouseEvent*)
{
    m_value = !m_value;
    emit Push(m_value);
}
void StripButton::mouseDoubleClickEvent(QMouseEvent*) { }
void StripButton::resizeEvent(QResizeEvent*) { }

miniButton::miniButton(QWidget* parent)
    : StripButton(QStringLiteral(":/artwork/mute.png"), parent)
{
    setFixedSize(29, 20);
}
miniButtonGreen::miniButtonGreen(QWidget* parent)
    : StripButton(QStringLiteral(":/artwork/play.png"), parent)
{
    setFixedSize(29, 20);
}
syncButton::syncButton(QWidget* parent)
    : StripButton(QStringLiteral(":/artwork/sync.png"), parent)
{
    setFixedSize(685, 121);
}

#pragma once

#include <QVariantMap>
#include <QWidget>

// A latching two-frame button: every mouse-button press flips Value, shows the matching frame
// and raises Push. The three kinds differ only in their artwork. GUI thread only.
class StripButton : public QWidget {
    Q_OBJECT
public:
    bool Value() const { return m_value; }
    // Store, report the change, redraw; never raise Push.
    void setValue(bool v);

    // Saves the persisted properties in their order, leaving out defaults.
    void WriteProperties(QVariantMap& bag) const;
    // Loads them without the setters, then redraws once when enabled.
    void ReadProperties(const QVariantMap& bag);

signals:
    // A press flipped Value; whatever the handler leaves in `Value` becomes the button's
    // value (without a redraw). Connect directly.
    void Push(bool& Value);
    // A property changed (its name: "Value", "Enabled", ...).
    void PropertyChanged(const QString& name);

protected:
    // `strip` is the resource path of the two-frame strip artwork.
    StripButton(const QString& strip, QWidget* parent);
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool m_value = false;
    QString m_strip;
};

// The red Mute key (29 x 20).
class miniButton : public StripButton {
    Q_OBJECT
public:
    explicit miniButton(QWidget* parent = nullptr);
};

// The green Play key (29 x 20).
class miniButtonGreen : public StripButton {
    Q_OBJECT
public:
    explicit miniButtonGreen(QWidget* parent = nullptr);
};

// The wide sync panel (685 x 121).
class syncButton : public StripButton {
    Q_OBJECT
public:
    explicit syncButton(QWidget* parent = nullptr);
};

#pragma once
// A label that shows its whole text. A reading display is a fixed box with a large font; a
// reading wider than the box at that font is drawn at the largest smaller size that fits,
// instead of losing its left end. font() stays the size the form asked for.
#include <QFont>
#include <QLabel>

namespace ui {

// The large reading display's face: the named family first, then condensed faces a Debian
// machine may have (fonts-liberation brings Liberation Sans Narrow), so a missing face is
// replaced by a narrow one rather than a wide default.
QFont condensed_font(const QString& family, int points, bool bold);

// `font` at the largest point size, not above its own, at which `text` is `width` pixels wide
// or less.
QFont fitted_font(const QFont& font, const QString& text, int width);

class FittingLabel : public QLabel {
public:
    using QLabel::QLabel;
    // The font the present text is drawn with.
    QFont shownFont() const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QRect text_rect() const;
};

} // namespace ui

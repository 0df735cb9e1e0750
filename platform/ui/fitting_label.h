#pragma once
// A label that shows its whole text. A reading display is a fixed box with a large font; a
// reading wider than the box at that font is drawn at the largest smaller size that fits,
// instead of losing its left end. font() stays the size the form asked for.
//
// The size a reading needed is kept for the readings after it: the display shrinks when a
// reading needs it and does not grow back, so readings of different widths from one scale are
// drawn at one size. restartSize() (or a new font) starts again at the font's own size.
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
    // Shows `text`, shrinking the size kept for the label when `text` needs it.
    void setText(const QString& text);
    // The font the present text is drawn with.
    QFont shownFont() const;
    // Draws the next text at the font's own size again (another scale is shown).
    void restartSize();

protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    QRect text_rect() const;
    qreal kept_points_ = 0; // the size readings are drawn at, 0 for the font's own
};

} // namespace ui

#include "platform/ui/fitting_label.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>

#include <cmath>

namespace ui {

namespace {

// The width `text` covers in `font`: its advance, and any ink that stands out past either end.
qreal needed_width(const QFont& font, const QString& text) {
    const QFontMetricsF fm(font);
    const QRectF ink = fm.boundingRect(text);
    return std::max(fm.horizontalAdvance(text), ink.right()) - std::min<qreal>(0, ink.left());
}

} // namespace

QFont condensed_font(const QString& family, int points, bool bold) {
    QFont f(family, points, bold ? QFont::Bold : QFont::Normal);
    f.setFamilies({family, QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Nimbus Sans Narrow"),
                   QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Arial Narrow")});
    f.setStyleHint(QFont::SansSerif);
    f.setStretch(QFont::Condensed);
    return f;
}

QFont fitted_font(const QFont& font, const QString& text, int width) {
    QFont f = font;
    qreal points = font.pointSizeF();
    if (points <= 0 || text.isEmpty()) return f;
    const qreal wide = needed_width(f, text);
    if (wide <= width) return f;
    // Sizes scale nearly in proportion; hinting may round a glyph up, so step down until it fits.
    points = std::max<qreal>(1, std::floor(points * width / wide));
    f.setPointSizeF(points);
    while (points > 1 && needed_width(f, text) > width) {
        points -= 1;
        f.setPointSizeF(points);
    }
    return f;
}

QRect FittingLabel::text_rect() const {
    const int m = margin();
    return contentsRect().adjusted(m, m, -m, -m);
}

QFont FittingLabel::shownFont() const {
    QFont start = font();
    if (kept_points_ > 0 && kept_points_ < start.pointSizeF()) start.setPointSizeF(kept_points_);
    return fitted_font(start, text(), text_rect().width());
}

void FittingLabel::setText(const QString& text) {
    QLabel::setText(text);
    if (!text.isEmpty()) kept_points_ = shownFont().pointSizeF();
}

void FittingLabel::restartSize() {
    kept_points_ = 0;
    update();
}

void FittingLabel::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange) kept_points_ = 0;
    QLabel::changeEvent(e);
}

void FittingLabel::paintEvent(QPaintEvent* e) {
    if (textFormat() == Qt::RichText || (textFormat() == Qt::AutoText && Qt::mightBeRichText(text())) ||
        !pixmap().isNull()) {
        QLabel::paintEvent(e);
        return;
    }
    QFrame::paintEvent(e);
    QPainter p(this);
    p.setFont(shownFont());
    style()->drawItemText(&p, text_rect(), QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), text(), foregroundRole());
}

} // namespace ui

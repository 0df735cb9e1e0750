#include "screen/keypad_picture.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "platform/ui/twips.h"

namespace keypad {

int key_at(int x, int y) {
    int column = 0;
    int row = 0;
    for (int c = 0; c < 3; ++c)
        if (kColumns[c].contains(x)) column = c + 1;
    for (int r = 0; r < 4; ++r)
        if (kRows[r].contains(y)) row = r + 1;
    if (column == 0 || row == 0) return kNoKey;
    return kCodes[row - 1][column - 1];
}

namespace {

enum class Arrow { none, up, down, left, right };

struct Key {
    int code;
    const char* caption; // empty for an arrow key
    Arrow arrow;
    const char* second; // second meaning, shown beside the numeric one
};

// By row and column, as kCodes.
constexpr Key kKeys[4][3] = {
    {{7, "Groups", Arrow::none, ""}, {8, "", Arrow::up, ""}, {9, "Totals", Arrow::none, ""}},
    {{4, "", Arrow::left, ""}, {5, "Menu/Back", Arrow::none, ""}, {6, "", Arrow::right, ""}},
    {{1, "Print", Arrow::none, "?"}, {2, "", Arrow::down, ""}, {3, "Units", Arrow::none, ""}},
    {{10, "On/Off", Arrow::none, "shift"}, {0, "Zero", Arrow::none, "clear"}, {11, "Enter", Arrow::none, ""}},
};

const char* numeric_text(int code) {
    static const char* const digits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", ".", ""};
    return digits[code];
}

// A key's face in picture pixels: its click region, 2 pixels in from every edge, moved up by
// the picture's offset.
QRectF key_face(int row, int column) {
    const int top = ui::px(kPictureTop);
    const Span& x = kColumns[column];
    const Span& y = kRows[row];
    return QRectF(QPointF(ui::px(x.from) + 2, ui::px(y.from) - top + 2),
                  QPointF(ui::px(x.to) - 2 + 1, ui::px(y.to) - top - 2 + 1));
}

QFont pixel_font(int pixels, bool bold) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

void draw_arrow(QPainter& p, const QRectF& box, Arrow arrow) {
    const QPointF c = box.center();
    const double h = 6; // half size
    QPolygonF tri;
    switch (arrow) {
    case Arrow::up:
        tri << QPointF(c.x(), c.y() - h) << QPointF(c.x() + h, c.y() + h * 0.6)
            << QPointF(c.x() - h, c.y() + h * 0.6);
        break;
    case Arrow::down:
        tri << QPointF(c.x(), c.y() + h) << QPointF(c.x() + h, c.y() - h * 0.6)
            << QPointF(c.x() - h, c.y() - h * 0.6);
        break;
    case Arrow::left:
        tri << QPointF(c.x() - h, c.y()) << QPointF(c.x() + h * 0.6, c.y() - h)
            << QPointF(c.x() + h * 0.6, c.y() + h);
        break;
    case Arrow::right:
        tri << QPointF(c.x() + h, c.y()) << QPointF(c.x() - h * 0.6, c.y() - h)
            << QPointF(c.x() - h * 0.6, c.y() + h);
        break;
    case Arrow::none:
        return;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x24, 0x2a, 0x33));
    p.drawPolygon(tri);
}

void draw_key(QPainter& p, const QRectF& face, const Key& key) {
    // Body with a soft shadow and a light top edge.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawRoundedRect(face.translated(1.5, 2), 6, 6);
    QLinearGradient body(face.topLeft(), face.bottomLeft());
    body.setColorAt(0, QColor(0xf4, 0xf5, 0xf7));
    body.setColorAt(1, QColor(0xc9, 0xcd, 0xd4));
    p.setBrush(body);
    p.setPen(QPen(QColor(0x5c, 0x63, 0x6e), 1));
    p.drawRoundedRect(face, 6, 6);

    // Numeric meaning on the upper line, the second meaning at its right.
    const QRectF upper(face.left() + 4, face.top() + 2, face.width() - 8, 12);
    p.setPen(QColor(0x1d, 0x4e, 0x89));
    p.setFont(pixel_font(11, true));
    p.drawText(upper, Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(numeric_text(key.code)));
    if (*key.second) {
        p.setPen(QColor(0x9a, 0x2b, 0x2b));
        p.setFont(pixel_font(9, false));
        p.drawText(upper, Qt::AlignRight | Qt::AlignVCenter, QString::fromLatin1(key.second));
    }

    const QRectF lower(face.left() + 1, upper.bottom(), face.width() - 2, face.bottom() - upper.bottom() - 2);
    if (key.arrow != Arrow::none) {
        draw_arrow(p, lower, key.arrow);
    } else {
        p.setPen(QColor(0x24, 0x2a, 0x33));
        const QString caption = QString::fromLatin1(key.caption);
        QFont f = pixel_font(10, true);
        // Long captions shrink until they fit the face.
        while (QFontMetricsF(f).horizontalAdvance(caption) > lower.width() - 2 && f.pixelSize() > 7)
            f.setPixelSize(f.pixelSize() - 1);
        p.setFont(f);
        p.drawText(lower, Qt::AlignCenter, caption);
    }
}

} // namespace

QImage front_panel() {
    QImage img(kPictureWidth, kPictureHeight, QImage::Format_RGB888);
    img.fill(QColor(0xd8, 0xdc, 0xe2));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // Housing.
    const QRectF housing(4, 4, kPictureWidth - 8, kPictureHeight - 8);
    QLinearGradient shell(housing.topLeft(), housing.bottomLeft());
    shell.setColorAt(0, QColor(0x4a, 0x55, 0x63));
    shell.setColorAt(1, QColor(0x2c, 0x33, 0x3d));
    p.setPen(QPen(QColor(0x1b, 0x20, 0x27), 2));
    p.setBrush(shell);
    p.drawRoundedRect(housing, 18, 18);

    // Display window: a bezel and a pale reflective glass under the reading.
    const QRectF bezel(60, 18, 290, 156);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x15, 0x19, 0x1f));
    p.drawRoundedRect(bezel, 10, 10);
    const QRectF glass = bezel.adjusted(8, 8, -8, -8);
    QLinearGradient lcd(glass.topLeft(), glass.bottomRight());
    lcd.setColorAt(0, QColor(0xd9, 0xe4, 0xcf));
    lcd.setColorAt(1, QColor(0xb9, 0xc9, 0xae));
    p.setBrush(lcd);
    p.drawRoundedRect(glass, 4, 4);

    // Key field.
    const QRectF field(352, 26, 236, 262);
    p.setPen(QPen(QColor(0x1b, 0x20, 0x27), 1));
    p.setBrush(QColor(0x38, 0x41, 0x4d));
    p.drawRoundedRect(field, 12, 12);

    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 3; ++column)
            draw_key(p, key_face(row, column), kKeys[row][column]);

    // Status lamps under the display.
    p.setFont(pixel_font(9, true));
    const char* const lamps[] = {"ZERO", "STABLE", "NET", "GROSS"};
    for (int i = 0; i < 4; ++i) {
        const QPointF at(84 + i * 66, 216);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x6f, 0xd0, 0x7a));
        p.drawEllipse(at, 4, 4);
        p.setPen(QColor(0xc6, 0xcd, 0xd6));
        p.drawText(QRectF(at.x() + 8, at.y() - 7, 56, 14), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromLatin1(lamps[i]));
    }
    return img;
}

Picture::Picture(QWidget* container) : QWidget(container), image_(front_panel()) {
    setObjectName(QStringLiteral("keypad_picture"));
    setGeometry(container->rect());
    setAttribute(Qt::WA_OpaquePaintEvent);
    lower();
}

void Picture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.drawImage(QPoint(0, ui::px(kPictureTop)), image_);
}

namespace {
int button_of(Qt::MouseButton b) {
    return b == Qt::LeftButton ? 1 : b == Qt::RightButton ? 2 : b == Qt::MiddleButton ? 4 : 0;
}
int shift_of(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
           (m & Qt::AltModifier ? 4 : 0);
}
} // namespace

void Picture::pass_on(QMouseEvent* e) {
    const QPointF at = e->position();
    emit mouse(button_of(e->button()), shift_of(e->modifiers()), static_cast<float>(ui::twips(1) * at.x()),
               static_cast<float>(ui::twips(1) * at.y()));
}

void Picture::mousePressEvent(QMouseEvent* e) {
    pressed_ = e->button() == Qt::LeftButton;
    pass_on(e);
}

void Picture::mouseReleaseEvent(QMouseEvent* e) {
    pass_on(e);
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    if (click) emit clicked();
}

} // namespace keypad

#pragma once
// The scale indicator's front panel as the scale screen shows it: the display window on the
// left (the large reading label sits over it) and twelve keys in three columns and four rows.
//
// The click regions are fixed in the container's twips; the picture is drawn so that its keys
// fall on them: the artwork's keys lie 225 twips above their regions, so the picture is placed
// that much below the container's top edge.
#include <QImage>
#include <QWidget>
#include <array>

namespace keypad {

// A range of twips, both bounds included.
struct Span {
    int from;
    int to;
    constexpr bool contains(int v) const { return v >= from && v <= to; }
};

inline constexpr std::array<Span, 3> kColumns{{{5550, 6390}, {6630, 7470}, {7725, 8565}}};
inline constexpr std::array<Span, 4> kRows{{{885, 1425}, {1830, 2385}, {2790, 3345}, {3765, 4275}}};
// Key codes by row and column: 0..9 the digits, 10 ".", 11 "Enter".
inline constexpr int kCodes[4][3] = {{7, 8, 9}, {4, 5, 6}, {1, 2, 3}, {10, 0, 11}};
// The code of a position on no key.
inline constexpr int kNoKey = 99;

// The key code at a position in the container's twips, kNoKey between or beside the keys.
int key_at(int x, int y);

// The picture: 610 x 346 pixels, 24-bit colour, and where it sits in the container.
inline constexpr int kPictureWidth = 610;
inline constexpr int kPictureHeight = 346;
inline constexpr int kPictureTop = 225; // twips

QImage front_panel();

// The widget that shows the picture, filling the container under its other children. It
// passes the container's mouse events on in twips: a press and a release give the position,
// a release over the picture after a press on it is a click.
class Picture : public QWidget {
    Q_OBJECT
public:
    explicit Picture(QWidget* container);

signals:
    // Button and shift state as the form's mouse events number them (1 left, 2 right,
    // 4 middle; 1 shift, 2 ctrl, 4 alt), position in twips.
    void mouse(int button, int shift, float x, float y);
    void clicked();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void pass_on(QMouseEvent* e);
    QImage image_;
    bool pressed_ = false;
};

} // namespace keypad

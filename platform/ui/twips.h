#pragma once
// Layout sizes are written in twips, as the forms were designed; 15 twips make one pixel.
namespace ui {
constexpr int kTwipsPerPixel = 15;
constexpr int px(double twips) {
    return static_cast<int>(twips / kTwipsPerPixel + (twips >= 0 ? 0.5 : -0.5));
}
constexpr double twips(int pixels) {
    return static_cast<double>(pixels) * kTwipsPerPixel;
}
// Places a widget in its parent at a position and size given in twips; returns the widget.
template <class W> W* place(W* w, int left, int top, int width, int height) {
    w->setGeometry(px(left), px(top), px(width), px(height));
    return w;
}
} // namespace ui

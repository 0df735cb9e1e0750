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
} // namespace ui

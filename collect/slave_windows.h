#pragma once
// The ten slave windows slave0..slave9, each showing one scale's reading in large type beside
// the scale screen. Window k belongs to slot k of the scale table; a click on its reading
// selects that scale on the screen. They are MDI children of the shell, one object each for
// the whole run.
//
// slave_open(k) is 1 while window k is open; element 10 has no window.
#include <QLabel>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

#include "platform/ui/fitting_label.h"
#include "platform/ui/form.h"

extern std::array<int16_t, 11> slave_open;

class slave : public ui::Form {
    Q_OBJECT
public:
    explicit slave(int k);

    int index() const { return k_; }
    ui::FittingLabel* Screen = nullptr;

    // Position of the window in the shell's client area, in twips.
    void setLeftTwips(int left);
    void setTopTwips(int top);
    int LeftTwips() const;
    int TopTwips() const;
    // Minimized or maximized: such a window has no position of its own to move or save.
    bool Placeable() const;
    // Shows the window (loading it first) and gives it its border.
    void ShowSlave();

    void Screen_Click();

protected:
    void build() override;
    void Form_Load() override;
    void Form_Unload(int& cancel) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void apply_border();
    int k_;
    QWidget* bordered_ = nullptr; // the frame the border was last given to
};

// What a click on a window's reading does with its slot k; the scale screen hands it over (it
// selects that slot's scale).
void set_slave_click_handler(std::function<void(int)> handler);

// Window k (0 to 9).
slave& slave_window(int k);

// Shows a reading in slave window k's label (k 0 to 9) while that window is open.
void slave_show_reading(int k, const QString& reading);
// Closes slave window k (k 0 to 9) and clears slave_open(k).
void slave_unload(int k);

#pragma once
// Resources of a control library as static tables: strings by number and dialog templates laid
// out in dialog units, turned into widgets when shown.
#include <QString>
#include <span>

class QDialog;
class QWidget;

namespace ctl {

struct StringEntry {
    int id;
    const char* text; // UTF-8
};

enum class ItemKind { Icon, Static, DefPushButton };

// Positions and sizes are dialog units of the template's font: a quarter of the font's average
// character width across, an eighth of its height down.
struct DialogItem {
    ItemKind kind;
    int id;           // -1 for items nobody addresses; 1 is the OK button
    const char* text; // for icons: unused
    int x, y, cx, cy;
    int icon = 0; // icon number for ItemKind::Icon
};

struct DialogTemplate {
    int id;
    const char* caption;
    int cx, cy;
    const char* font;
    int point_size;
    bool child; // a child page rather than a window of its own
    std::span<const DialogItem> items;
};

inline constexpr int kPictureBitmap = 2;
inline constexpr int kPictureIcon = 3;
inline constexpr int IDOK = 1;
inline constexpr int IDC_STATIC = -1;

// Fills `w` with the template's items and sizes it; an OK button accepts a QDialog.
void build_from_template(const DialogTemplate& t, QWidget* w);

// A modal dialog made from a dialog resource of the module.
class Dialog {
public:
    explicit Dialog(int template_id, QWidget* parent = nullptr);
    ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    // Shows the dialog and returns the id of the button that closed it (0 when none did).
    int DoModal();

private:
    QDialog* dialog_;
    int result_ = 0;
};

} // namespace ctl

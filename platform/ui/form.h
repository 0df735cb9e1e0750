#pragma once
// A form: one window object for the whole run, loaded and unloaded as the program asks.
// - Load() builds or resets the controls to their design state (build()) and runs Form_Load.
// - Unload() runs Form_Unload (which may cancel), hides the window and marks it unloaded.
// - Show() loads an unloaded form first, shows it (inside the shell's MDI area when the form is
//   an MDI child) and runs Form_Activate when it becomes the active form.
// No form is deleted while the program runs, so code that goes on after an unload stays safe.
#include <QWidget>

class QEventLoop;
class QMdiArea;
class QPushButton;
class QMdiSubWindow;

namespace ui {

// The shell's MDI area, into which MDI child forms open.
void set_mdi_area(QMdiArea* area);
QMdiArea* mdi_area();

class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr, bool mdi_child = false);

    bool Loaded() const { return loaded_; }
    void Load();
    // Returns false when Form_Unload cancelled the unload.
    bool Unload();
    // Modeless show, or modal: input to the program's other windows is held back while the form
    // runs its own event loop, until it is hidden or unloaded.
    void Show(bool modal = false);
    void Hide();
    bool IsMdiChild() const { return mdi_child_; }
    // The window that frames the form: its MDI sub-window, or the form itself.
    QWidget* frame() const;

    // Caption and placement of the framing window, in twips where the forms give twips.
    void setCaption(const QString& caption);
    QString Caption() const;
    void setFormGeometryTwips(int left, int top, int width, int height);
    void setFormHeightTwips(int height);
    void setFormWidthTwips(int width);
    int FormHeightTwips() const;
    int FormWidthTwips() const;

    // Dialog keys: Enter presses the focused push button of the form, or else the default
    // button; Escape presses the cancel button. Either may be null.
    void setDialogButtons(QPushButton* default_button, QPushButton* cancel_button);

signals:
    void loaded();
    void unloaded();

protected:
    virtual void build() {}
    virtual void Form_Load() {}
    virtual void Form_Unload(int& cancel) { (void)cancel; }
    virtual void Form_Activate() {}

    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void activate();
    void keep_in_view();

    bool mdi_child_;
    bool loaded_ = false;
    bool in_modal_ = false;
    QEventLoop* modal_loop_ = nullptr;
    QMdiSubWindow* sub_ = nullptr;
    QPushButton* default_button_ = nullptr;
    QPushButton* cancel_button_ = nullptr;
};

} // namespace ui

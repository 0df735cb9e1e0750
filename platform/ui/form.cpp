#include "platform/ui/form.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>

#include <algorithm>

#include "platform/ui/modal.h"
#include "platform/ui/twips.h"

namespace ui {

namespace {
QPointer<QMdiArea> the_mdi_area;
}

void set_mdi_area(QMdiArea* area) {
    the_mdi_area = area;
}
QMdiArea* mdi_area() {
    return the_mdi_area;
}

Form::Form(QWidget* parent, bool mdi_child) : QWidget(parent), mdi_child_(mdi_child) {}

void Form::Load() {
    if (loaded_) return;
    build();
    loaded_ = true;
    Form_Load();
    emit loaded();
}

bool Form::Unload() {
    if (!loaded_) return true;
    int cancel = 0;
    Form_Unload(cancel);
    if (cancel) return false;
    loaded_ = false;
    Hide();
    emit unloaded();
    return true;
}

QWidget* Form::frame() const {
    return sub_ ? static_cast<QWidget*>(sub_) : const_cast<Form*>(this);
}

void Form::Show(bool modal) {
    Load();
    if (!loaded_) return;
    if (mdi_child_ && the_mdi_area && !sub_) {
        sub_ = the_mdi_area->addSubWindow(this);
        sub_->setAttribute(Qt::WA_DeleteOnClose, false);
        sub_->installEventFilter(this);
    }
    frame()->show();
    show();
    if (sub_ && the_mdi_area)
        the_mdi_area->setActiveSubWindow(sub_);
    else
        activateWindow();
    activate();
    keep_in_view();
    if (modal && !in_modal_) {
        // Input to the program's other windows waits until the form is hidden or unloaded;
        // then control returns to the code after the show.
        in_modal_ = true;
        QPointer<Form> self(this);
        QEventLoop loop;
        modal_loop_ = &loop;
        if (loaded_ && frame()->isVisible()) exec_modal(frame(), loop);
        if (self) {
            modal_loop_ = nullptr;
            in_modal_ = false;
        }
    }
}

void Form::keep_in_view() {
    // An MDI child opens with its top-left corner inside the visible part of the MDI area; the
    // area's scroll bars reach the rest of a child larger than the area.
    if (!sub_ || !the_mdi_area) return;
    const QSize view = the_mdi_area->viewport()->size();
    QPoint p = sub_->pos();
    if (p.x() < 0 || p.x() >= view.width())
        p.setX(std::max(0, std::min(p.x(), view.width() - sub_->width())));
    if (p.y() < 0 || p.y() >= view.height())
        p.setY(std::max(0, std::min(p.y(), view.height() - sub_->height())));
    if (p != sub_->pos()) sub_->move(p);
}

void Form::Hide() {
    frame()->hide();
    hide();
    if (modal_loop_) modal_loop_->quit();
}

void Form::activate() {
    Form_Activate();
}

void Form::setCaption(const QString& caption) {
    setWindowTitle(caption);
    if (sub_) sub_->setWindowTitle(caption);
}

QString Form::Caption() const {
    return windowTitle();
}

void Form::setFormGeometryTwips(int left, int top, int width, int height) {
    frame()->setGeometry(px(left), px(top), px(width), px(height));
    keep_in_view();
}

void Form::setFormHeightTwips(int height) {
    frame()->resize(frame()->width(), px(height));
}
void Form::setFormWidthTwips(int width) {
    frame()->resize(px(width), frame()->height());
}
int Form::FormHeightTwips() const {
    return static_cast<int>(twips(frame()->height()));
}
int Form::FormWidthTwips() const {
    return static_cast<int>(twips(frame()->width()));
}

void Form::closeEvent(QCloseEvent* e) {
    // Closing the window unloads the form; the object itself lives on.
    e->ignore();
    Unload();
}

void Form::setDialogButtons(QPushButton* default_button, QPushButton* cancel_button) {
    default_button_ = default_button;
    cancel_button_ = cancel_button;
}

void Form::keyPressEvent(QKeyEvent* e) {
    // Keys that no control of the form took come here.
    const auto usable = [](QPushButton* b) { return b && b->isVisible() && b->isEnabled(); };
    const bool plain = (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        // The form's focused control (the one the key came from).
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        QPushButton* b = focused ? focused : default_button_;
        if (usable(b)) {
            b->click();
            return;
        }
    } else if (plain && e->key() == Qt::Key_Escape && usable(cancel_button_)) {
        cancel_button_->click();
        return;
    }
    QWidget::keyPressEvent(e);
}

bool Form::eventFilter(QObject* watched, QEvent* e) {
    if (watched == sub_ && e->type() == QEvent::Close) {
        e->ignore();
        Unload();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace ui

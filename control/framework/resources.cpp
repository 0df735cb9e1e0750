#include "control/framework/resources.h"

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include "control/framework/module.h"

namespace ctl {

namespace {

struct Units {
    int base_x, base_y;
    int x(int dlu) const { return dlu * base_x / 4; }
    int y(int dlu) const { return dlu * base_y / 8; }
};

Units units_of(const QFont& font) {
    const QFontMetrics fm(font);
    return {qMax(1, fm.averageCharWidth()), qMax(1, fm.height())};
}

} // namespace

void build_from_template(const DialogTemplate& t, QWidget* w) {
    QFont font(QString::fromLatin1(t.font));
    font.setPointSize(t.point_size);
    w->setFont(font);
    const Units u = units_of(font);
    if (!t.child) w->setWindowTitle(QString::fromUtf8(t.caption));
    w->setFixedSize(u.x(t.cx), u.y(t.cy));
    for (const DialogItem& item : t.items) {
        QWidget* made = nullptr;
        switch (item.kind) {
        case ItemKind::Icon: {
            auto* label = new QLabel(w);
            label->setPixmap(module().picture(kPictureIcon, item.icon));
            made = label;
            break;
        }
        case ItemKind::Static: {
            auto* label = new QLabel(QString::fromUtf8(item.text), w);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            made = label;
            break;
        }
        case ItemKind::DefPushButton: {
            auto* button = new QPushButton(QString::fromUtf8(item.text), w);
            button->setDefault(true);
            button->setAutoDefault(true);
            if (auto* dialog = qobject_cast<QDialog*>(w)) {
                const int id = item.id;
                QObject::connect(button, &QPushButton::clicked, dialog, [dialog, id] { dialog->done(id); });
            }
            made = button;
            break;
        }
        }
        made->setObjectName(QStringLiteral("item_%1").arg(item.id));
        // An icon keeps its picture's size, as icons do.
        if (item.kind == ItemKind::Icon)
            made->setGeometry(u.x(item.x), u.y(item.y), made->sizeHint().width(), made->sizeHint().height());
        else
            made->setGeometry(u.x(item.x), u.y(item.y), u.x(item.cx), u.y(item.cy));
    }
}

Dialog::Dialog(int template_id, QWidget* parent) : dialog_(new QDialog(parent)) {
    dialog_->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (const DialogTemplate* t = module().dialog(template_id)) build_from_template(*t, dialog_);
}

Dialog::~Dialog() {
    delete dialog_;
}

int Dialog::DoModal() {
    dialog_->setModal(true);
    result_ = dialog_->exec();
    return result_;
}

} // namespace ctl

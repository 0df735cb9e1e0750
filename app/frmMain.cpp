#include "app/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDialog>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "core/core_state.h"
#include "core/forms.h"
#include "core/frmAbout.h"
#include "core/syscfg.h"
#include "links/ftdi_adapter.h"
#include "platform/settings/settings.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"
#include "platform/ui/twips.h"
#include "screen/form1.h"
#include "setup/Setup.h"

namespace {

const QString kSettings = QStringLiteral("Settings");

// A placement value as stored: the text of a single-precision number; the default when the
// key is missing or holds no number.
float placement(const QString& key, float default_value) {
    bool ok = false;
    const float v = settings::GetSetting(kSettings, key, QString::number(default_value)).toFloat(&ok);
    return ok ? v : default_value;
}

void store_placement(const QString& key, double twips) {
    settings::SaveSetting(kSettings, key, QString::number(static_cast<float>(twips)));
}

} // namespace

// The shell is never deleted while the program runs; the core's forms take it as their parent.
frmMain& main_form() {
    static frmMain* f = [] {
        auto* shell = new frmMain();
        set_shell_window(shell);
        return shell;
    }();
    return *f;
}

void show_scale_screen() {
    Form1().Show();
}

void show_setup() {
    setup_form().open();
}

void end_program() {
    QCoreApplication::exit(0);
}

frmMain::frmMain() : ui::Form(nullptr, false) {
    connect(qApp, &QCoreApplication::aboutToQuit, this, &frmMain::MDIForm_Terminate);
    // Closing the shell window ends the program once the shell has unloaded.
    connect(this, &ui::Form::unloaded, qApp, &QCoreApplication::quit);
}

QString frmMain::setup_refusal_text() {
    return QStringLiteral(" This form can not be loaded while the scale screen is activated.") + QChar('\r') +
           QStringLiteral("Use the EXIT button on the scale screen to shut it down, then open the ") +
           QChar('\r') + QStringLiteral("communications screen to make your changes, save them and") +
           QChar('\r') + QStringLiteral("then reload the scale screen to activate the changes");
}

void frmMain::build() {
    if (!built_) {
        built_ = true;
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);

        menuBar = new QMenuBar(this);
        m_ars = menuBar->addAction(QStringLiteral("Activate Remote Screen"));
        mnu_setups = menuBar->addAction(QStringLiteral("Scale Configurations"));
        mnuHelpAbout = menuBar->addAction(QStringLiteral("&About"));
        m_exit = menuBar->addAction(QStringLiteral("Exit"));
        connect(m_ars, &QAction::triggered, this, &frmMain::m_ars_Click);
        connect(mnu_setups, &QAction::triggered, this, &frmMain::mnu_setups_Click);
        connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
        connect(m_exit, &QAction::triggered, this, &frmMain::m_exit_Click);
        layout->setMenuBar(menuBar);

        tbToolBar = new QToolBar(this);
        tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
        layout->addWidget(tbToolBar);

        mdiArea = new QMdiArea(this);
        mdiArea->setBackground(palette().brush(QPalette::Dark));
        // Scroll bars reach a child that reaches beyond the area.
        mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        layout->addWidget(mdiArea, 1);

        sbStatusBar = new QStatusBar(this);
        sbStatus = new QLabel(QStringLiteral("Status"), sbStatusBar);
        sbDate = new QLabel(sbStatusBar);
        sbTime = new QLabel(sbStatusBar);
        sbStatusBar->addWidget(sbStatus, 1);
        sbStatusBar->addPermanentWidget(sbDate);
        sbStatusBar->addPermanentWidget(sbTime);
        layout->addWidget(sbStatusBar);

        clock_timer_ = new QTimer(this);
        clock_timer_->setInterval(1000);
        connect(clock_timer_, &QTimer::timeout, this, &frmMain::update_clock);
        ui::set_mdi_area(mdiArea);
    }
    setCaption(QStringLiteral("Weyvane"));
    tbToolBar->setVisible(false);
    sbStatus->setText(QStringLiteral("Status"));
    // Design client area.
    resize(ui::px(11100), ui::px(6000));
    update_clock();
    clock_timer_->start();
}

void frmMain::update_clock() {
    const QLocale locale;
    sbDate->setText(locale.toString(QDate::currentDate(), QLocale::ShortFormat));
    sbTime->setText(locale.toString(QTime::currentTime(), QLocale::ShortFormat));
}

void frmMain::Form_Load() {
    const float left = placement(QStringLiteral("MainLeft"), 1000);
    const float top = placement(QStringLiteral("MainTop"), 1000);
    const float width = placement(QStringLiteral("MainWidth"), 6500);
    const float height = placement(QStringLiteral("MainHeight"), 6500);
    move(ui::px(left), ui::px(top));
    resize(ui::px(width), ui::px(height));
}

void frmMain::Form_Unload(int& cancel) {
    // A modal window still open ends its loop first: closing the shell ends the program also
    // while one runs.
    const QList<QWidget*> modal = ui::modal_windows();
    for (auto it = modal.rbegin(); it != modal.rend(); ++it) {
        if (auto* form = qobject_cast<ui::Form*>(*it)) {
            if (form->Loaded() && !form->Unload()) {
                cancel = 1;
                return;
            }
        } else if (auto* dialog = qobject_cast<QDialog*>(*it)) {
            dialog->reject();
        }
    }
    // The child windows go first; one that refuses keeps the shell open.
    for (QMdiSubWindow* sub : mdiArea->subWindowList()) {
        auto* child = qobject_cast<ui::Form*>(sub->widget());
        if (child && child->Loaded() && !child->Unload()) {
            cancel = 1;
            return;
        }
    }
    clock_timer_->stop();
    if (isMinimized()) return;
    store_placement(QStringLiteral("MainLeft"), ui::twips(pos().x()));
    store_placement(QStringLiteral("MainTop"), ui::twips(pos().y()));
    store_placement(QStringLiteral("MainWidth"), ui::twips(width()));
    store_placement(QStringLiteral("MainHeight"), ui::twips(height()));
}

void frmMain::MDIForm_Terminate() {
    usb_close_all();
}

void frmMain::m_ars_Click() {
    show_scale_screen();
    // A loaded screen whose link was lost sets it up again and goes on polling.
    Form1().resume_after_loss();
}

void frmMain::mnu_setups_Click() {
    if (!core.scale_screen_active) {
        show_setup();
        ui::DoEvents();
        // A dialog that closed at once could not read the settings and has told why; reading
        // them again here would only tell the same failure a second time.
        if (setup_form().Loaded()) load_syscfg();
        return;
    }
    ui::MsgBox(setup_refusal_text(), ui::vbOKOnly);
}

void frmMain::mnuHelpAbout_Click() {
    about_form().Show(true);
}

void frmMain::m_exit_Click() {
    usb_close_all();
    end_program();
}

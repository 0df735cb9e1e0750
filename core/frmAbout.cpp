#include "core/frmAbout.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/cfg_file.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"
#include "platform/ui/twips.h"

namespace {

// Where the system-information tool is registered.
const QString gREGKEYSYSINFO = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString gREGVALSYSINFO = QStringLiteral("PATH");
const QString gREGKEYSYSINFOLOC = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString gREGVALSYSINFOLOC = QStringLiteral("MSINFO");

} // namespace

std::function<bool(const QString&)> frmAbout::launcher = [](const QString& program) {
    return QProcess::startDetached(program, {});
};

frmAbout::frmAbout(QWidget* owner) : ui::Form(owner, false) {
    // A fixed dialog.
    setWindowFlags(ui::dialog_flags());
}

QString frmAbout::version_text() {
    return QStringLiteral("Version ") + QString::number(WEYVANE_VERSION_MAJOR) + QLatin1Char('.') +
           QString::number(WEYVANE_VERSION_MINOR) + QLatin1Char('.') + QString::number(WEYVANE_VERSION_PATCH);
}

QString frmAbout::contact_list() {
    static const std::pair<const char*, int> contacts[] = {
        {"Sales", 201},         {"Customer Service", 202}, {"Technical Support", 203},
        {"Field Service", 204}, {"Calibration", 205},      {"Parts and Repairs", 206},
    };
    QString text;
    for (const auto& [name, ext] : contacts)
        text += QString::fromLatin1(name) + QStringLiteral(" (Ext ") + QString::number(ext) +
                QStringLiteral(")") + QChar('\r');
    return text;
}

QImage frmAbout::logo() {
    QImage img(128, 64, QImage::Format_Mono);
    img.setColor(0, qRgb(255, 255, 255));
    img.setColor(1, qRgb(0, 0, 0));
    img.fill(0);
    QPainter p(&img);
    p.setPen(QPen(Qt::color1, 3));
    p.setBrush(Qt::NoBrush);
    // An indicator housing with its display window.
    p.drawRoundedRect(QRect(4, 6, 56, 34), 4, 4);
    p.fillRect(QRect(11, 13, 42, 14), Qt::color1);
    // A weighing platform on its column.
    p.drawLine(32, 40, 32, 50);
    p.drawLine(12, 52, 52, 52);
    p.drawLine(8, 58, 56, 58);
    // A "W" drawn as a wave, for the name.
    p.setPen(QPen(Qt::color1, 4));
    const QPoint w[] = {{68, 12}, {80, 52}, {94, 24}, {108, 52}, {122, 12}};
    p.drawPolyline(w, 5);
    p.end();
    return img;
}

void frmAbout::build() {
    if (!built_) {
        built_ = true;
        auto* grid = new QGridLayout(this);
        grid->setContentsMargins(ui::px(150), ui::px(150), ui::px(150), ui::px(150));

        Picture1 = new QLabel(this);
        Picture1->setFixedSize(128, 64);
        Picture1->setPixmap(QPixmap::fromImage(logo()));
        grid->addWidget(Picture1, 0, 0, Qt::AlignTop | Qt::AlignLeft);

        auto* maker = new QVBoxLayout();
        maker->setSpacing(0);
        lblCompany = new QLabel(QStringLiteral("Weyvane Indicator Systems"), this);
        lblAddress = new QLabel(QStringLiteral("12 Harbour Road, Lowmoor"), this);
        lblPhone = new QLabel(QStringLiteral("Telephone 0100 555 0100"), this);
        lblCopyright = new QLabel(QStringLiteral("All rights reserved."), this);
        for (QLabel* l : {lblCompany, lblAddress, lblPhone, lblCopyright})
            maker->addWidget(l);
        grid->addLayout(maker, 1, 0, Qt::AlignTop);

        auto* middle = new QVBoxLayout();
        middle->setSpacing(2);
        lblTitle = new QLabel(QStringLiteral("Weyvane"), this);
        QFont title = lblTitle->font();
        title.setBold(true);
        lblTitle->setFont(title);
        Label1[0] = new QLabel(this);
        lblDisclaimer = new QLabel(this);
        lblDisclaimer->setWordWrap(false);
        middle->addWidget(lblTitle);
        middle->addWidget(Label1[0]);
        middle->addWidget(lblDisclaimer);
        middle->addStretch(1);
        grid->addLayout(middle, 0, 1, 2, 1);

        auto* buttons = new QVBoxLayout();
        cmdOK = new QPushButton(QStringLiteral("OK"), this);
        cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
        cmdOK->setDefault(true);
        buttons->addWidget(cmdOK);
        buttons->addWidget(cmdSysInfo);
        buttons->addStretch(1);
        grid->addLayout(buttons, 0, 2, 2, 1);
        grid->setColumnStretch(1, 1);

        connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
        connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
        QFont small = font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        for (QLabel* l : {lblCompany, lblAddress, lblPhone, lblCopyright, lblDisclaimer})
            l->setFont(small);
        setFixedSize(ui::px(6630), ui::px(2730));
    }
    setCaption(QStringLiteral("About Weyvane"));
    Label1[0]->clear();
    lblDisclaimer->clear();
}

void frmAbout::Form_Load() {
    Label1[0]->setText(version_text());
    // A label breaks lines at line feeds only.
    lblDisclaimer->setText(contact_list().replace(QChar('\r'), QChar('\n')).trimmed());
    // Centred on the owner.
    if (QWidget* owner = parentWidget()) {
        const QRect o = owner->frameGeometry();
        move(o.center() - QPoint(width() / 2, height() / 2));
    }
    cmdOK->setFocus();
}

void frmAbout::keyPressEvent(QKeyEvent* e) {
    // OK is the default and the cancel button.
    if (e->key() == Qt::Key_Escape ||
        ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !cmdSysInfo->hasFocus())) {
        cmdOK_Click();
        return;
    }
    ui::Form::keyPressEvent(e);
}

void frmAbout::cmdOK_Click() {
    Unload();
}

void frmAbout::cmdSysInfo_Click() {
    StartSysInfo();
}

void frmAbout::StartSysInfo() {
    QString SysInfoPath;
    bool found = false;
    if (GetKeyValue(registry::HKEY_LOCAL_MACHINE, gREGKEYSYSINFO, gREGVALSYSINFO, SysInfoPath)) {
        found = !SysInfoPath.isEmpty();
    } else if (GetKeyValue(registry::HKEY_LOCAL_MACHINE, gREGKEYSYSINFOLOC, gREGVALSYSINFOLOC, SysInfoPath)) {
        const QString exe = join_path(SysInfoPath, QStringLiteral("MSINFO32.EXE"));
        if (QFileInfo(exe).isFile()) {
            SysInfoPath = exe;
            found = true;
        }
    }
    if (const QString notice = registry::take_damage_notice(); !notice.isEmpty())
        ui::MsgBox(notice, ui::vbOKOnly | ui::vbExclamation);
    if (found && launcher && launcher(SysInfoPath)) return;
    ui::MsgBox(QStringLiteral("System Information Is Unavailable At This Time"), ui::vbOKOnly);
}

bool frmAbout::GetKeyValue(registry::HKEY KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                           QString& KeyVal) {
    registry::HKEY hKey = 0;
    if (registry::OpenKey(KeyRoot, KeyName, registry::KEY_ALL_ACCESS, &hKey) != registry::ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }
    int KeyValType = registry::REG_NONE;
    QByteArray tmpVal;
    if (registry::QueryValue(hKey, SubKeyRef, &KeyValType, &tmpVal, 1024) != registry::ERROR_SUCCESS) {
        KeyVal.clear();
        registry::CloseKey(hKey);
        return false;
    }
    if (!tmpVal.isEmpty() && tmpVal.endsWith('\0')) tmpVal.chop(1);
    if (KeyValType == registry::REG_SZ) {
        KeyVal = QString::fromUtf8(tmpVal);
    } else if (KeyValType == registry::REG_DWORD) {
        // "&h" and the bytes from the last to the first, each without a leading zero.
        QString hex = QStringLiteral("&h");
        for (int i = tmpVal.size() - 1; i >= 0; --i)
            hex += QString::number(static_cast<uchar>(tmpVal[i]), 16).toUpper();
        KeyVal = hex;
    }
    registry::CloseKey(hKey);
    return true;
}

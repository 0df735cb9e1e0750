#include <QPainter>

#include "control/brantix_ids.h"
#include "control/brantix_resource.h"
#include "control/framework/typelib.h"

namespace brantix {

namespace {

using namespace ctl;

constexpr StringEntry kStrings[] = {
    {IDS_BRANTIX, "Brantix Control"},
    {IDS_BRANTIX_PPG, "Brantix Property Page"},
    {IDS_BRANTIX_PPG_CAPTION, "General"},
};

constexpr DialogItem kAboutItems[] = {
    {ItemKind::Icon, IDC_STATIC, nullptr, 10, 10, 20, 20, IDI_ABOUTDLL},
    {ItemKind::Static, IDC_STATIC, "Brantix Control, Version 1.0", 40, 10, 170, 8},
    {ItemKind::Static, IDC_STATIC, "Copyright (C) Weyvane", 40, 25, 170, 8},
    {ItemKind::DefPushButton, IDOK, "OK", 221, 7, 32, 16},
};

constexpr DialogItem kPageItems[] = {
    {ItemKind::Static, IDC_STATIC,
     "Place controls to manipulate properties of Brantix Control on this dialog.", 7, 25, 229, 16},
};

constexpr DialogTemplate kDialogs[] = {
    {IDD_ABOUTBOX_BRANTIX, "About Brantix Control", 260, 55, "MS Sans Serif", 8, false, kAboutItems},
    {IDD_PROPPAGE_BRANTIX, "", 250, 62, "MS Sans Serif", 8, true, kPageItems},
};

// Type library 1.
constexpr FuncEntry kDispatchFuncs[] = {{"AboutBox", dispidAboutBox}, {"DoIt", dispidDoIt}};
constexpr FuncEntry kEventFuncs[] = {{"NotifyVB", eventidNotifyVB}};
constexpr ImplEntry kClassImpls[] = {
    {IID_DBrantix, com::IMPLTYPEFLAG_FDEFAULT},
    {IID_DBrantixEvents, com::IMPLTYPEFLAG_FDEFAULT | com::IMPLTYPEFLAG_FSOURCE},
};
constexpr TypeDesc kTypes[] = {
    {com::TKIND_DISPATCH,
     IID_DBrantix,
     "_DBrantix",
     "Dispatch interface for Brantix Control",
     kDispatchFuncs,
     {}},
    {com::TKIND_DISPATCH,
     IID_DBrantixEvents,
     "_DBrantixEvents",
     "Event interface for Brantix Control",
     kEventFuncs,
     {}},
    {com::TKIND_COCLASS, CLSID_Brantix, "Brantix", "Brantix Control", {}, kClassImpls},
};
constexpr TypeLibDesc kTypeLib = {
    LIBID_BrantixLib, kLibVerMajor, kLibVerMinor, 0, "BrantixLib", "Brantix ActiveX Control module",
    "Brantix.hlp",    kTypes};

// The version block, kept in a section of its own where tools can find it.
struct VersionBlock {
    char text[512];
};
[[gnu::used, gnu::section(".brantix_version")]] constexpr VersionBlock kVersion = {
    "FileVersion=1.0.0.1\n"
    "ProductVersion=1.0.0.1\n"
    "Flags=Debug\n"
    "Language=0408\n"
    "CompanyName=Weyvane\n"
    "FileDescription=Brantix ActiveX Control Module\n"
    "InternalName=Brantix.ocx\n"
    "OriginalFilename=Brantix.ocx\n"
    "ProductName=Brantix ActiveX Control Module\n"
    "LegalCopyright=Copyright (C) Weyvane\n"
    "OLESelfRegister=\n"};

// Bitmap 1 (the toolbox picture, 16 x 15) and the library's icons 1 and 2 (32 x 32).
QPixmap picture(int kind, int id) {
    const bool bitmap = kind == kPictureBitmap && id == IDB_BRANTIX;
    const bool icon = kind == kPictureIcon && (id == 1 || id == 2);
    if (!bitmap && !icon) return QPixmap();
    const QSize size = bitmap ? QSize(16, 15) : QSize(32, 32);
    QPixmap pm(size);
    pm.fill(bitmap ? QColor(192, 192, 192) : QColor(Qt::transparent));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(QPointF(1, 1), QSizeF(size.width() - 2, size.height() - 2)));
    return pm;
}

} // namespace

const ControlModule::Resources& resources() {
    static const ControlModule::Resources r{kStrings, kDialogs, &kTypeLib, &picture};
    return r;
}

} // namespace brantix

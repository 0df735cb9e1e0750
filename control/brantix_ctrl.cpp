#include "control/brantix_ctrl.h"

#include <QPainter>
#include <mutex>

#include "control/brantix_ids.h"
#include "control/brantix_resource.h"
#include "control/framework/module.h"
#include "control/framework/resources.h"
#include "control/framework/typelib.h"

namespace brantix {

using namespace com;

namespace {

constexpr com::DWORD kVersion = 0x00010000; // 1.0

constexpr ctl::DispatchEntry kDispatchMap[] = {
    {"AboutBox", dispidAboutBox, 0,
     [](ctl::OleControl* c) { return static_cast<CBrantixCtrl*>(c)->AboutBox(); }},
    {"DoIt", dispidDoIt, 0, [](ctl::OleControl* c) { return static_cast<CBrantixCtrl*>(c)->DoIt(); }},
};

constexpr ctl::EventEntry kEventMap[] = {{"NotifyVB", eventidNotifyVB}};

constexpr ctl::VerbEntry kVerbMap[] = {{OLEIVERB_PROPERTIES, &ctl::OleControl::OnProperties}};

} // namespace

IUnknown* CBrantixCtrl::CreateObject() {
    return static_cast<IDispatch*>(new CBrantixCtrl);
}

CBrantixCtrl::CBrantixCtrl() {
    InitializeIIDs(&IID_DBrantix, &IID_DBrantixEvents);
}

CBrantixCtrl::~CBrantixCtrl() = default;

HRESULT CBrantixCtrl::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_Brantix;
    return S_OK;
}

int CBrantixCtrl::GetUserTypeNameID() {
    return IDS_BRANTIX;
}

DWORD CBrantixCtrl::GetMiscStatus() {
    return kMiscStatus;
}

HRESULT CBrantixCtrl::GetTypeLib(LCID lcid, ITypeLib** lib) {
    return ctl::LoadRegTypeLib(LIBID_BrantixLib, kLibVerMajor, kLibVerMinor, lcid, lib);
}

ctl::TypeLibCache* CBrantixCtrl::GetTypeLibCache() {
    return ctl::module().type_lib_cache(LIBID_BrantixLib);
}

HRESULT CBrantixCtrl::GetTypeInfoCount(unsigned* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

const CLSID* CBrantixCtrl::GetPropPageIDs(ULONG& count) {
    // Built on the first call, shared by every instance afterwards, on any thread.
    static CLSID ids[1];
    static long built = -1;
    static std::once_flag once;
    std::call_once(once, [] {
        ids[0] = CLSID_BrantixPropPage;
        built = 1;
    });
    count = static_cast<ULONG>(built);
    return ids;
}

void CBrantixCtrl::OnDraw(QPainter* dc, const QRect& bounds, const QRect&) {
    if (!dc) return;
    dc->fillRect(bounds, Qt::white);
    if (bounds.width() <= 1 || bounds.height() <= 1) {
        // An ellipse in a rectangle one pixel wide or tall is the line along it.
        if (!bounds.isEmpty()) dc->drawLine(bounds.topLeft(), bounds.bottomRight());
        return;
    }
    // The ellipse touches all four sides: a pen of width one draws on the rectangle's last pixels.
    dc->drawEllipse(bounds.adjusted(0, 0, -1, -1));
}

void CBrantixCtrl::DoPropExchange(ctl::PropExchange* px) {
    DWORD version = kVersion;
    px->ExchangeVersion(version, kVersion);
    ctl::OleControl::DoPropExchange(px);
}

void CBrantixCtrl::OnResetState() {
    ctl::OleControl::OnResetState();
}

HRESULT CBrantixCtrl::AboutBox() {
    if (!ctl::can_show_widgets()) return E_UNEXPECTED;
    ctl::Dialog about(IDD_ABOUTBOX_BRANTIX);
    about.DoModal();
    return S_OK;
}

HRESULT CBrantixCtrl::DoIt() {
    FireNotifyVB();
    return S_OK;
}

void CBrantixCtrl::FireNotifyVB() {
    DISPPARAMS none;
    FireEvent(eventidNotifyVB, &none);
}

std::span<const ctl::DispatchEntry> CBrantixCtrl::dispatch_map() const {
    return kDispatchMap;
}

std::span<const ctl::EventEntry> CBrantixCtrl::event_map() const {
    return kEventMap;
}

std::span<const ctl::VerbEntry> CBrantixCtrl::verb_map() const {
    return kVerbMap;
}

} // namespace brantix

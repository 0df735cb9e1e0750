#pragma once
// The Brantix control: a white area with an ellipse, the methods AboutBox and DoIt, and the
// event NotifyVB, raised by DoIt.
#include "control/framework/olecontrol.h"

namespace brantix {

class CBrantixCtrl final : public ctl::OleControl {
public:
    // Made by the class factory only.
    static com::IUnknown* CreateObject();

    com::HRESULT GetClassID(com::CLSID* clsid) override;
    com::HRESULT GetTypeInfoCount(unsigned* count) override;
    using ctl::OleControl::GetMiscStatus;

    // Dispatch methods of _DBrantix.
    // AboutBox gives E_UNEXPECTED in a host that cannot show a window.
    com::HRESULT AboutBox();
    com::HRESULT DoIt();

    // Event of _DBrantixEvents.
    void FireNotifyVB();

protected:
    int GetUserTypeNameID() override;
    com::DWORD GetMiscStatus() override;
    com::HRESULT GetTypeLib(com::LCID lcid, com::ITypeLib** lib) override;
    ctl::TypeLibCache* GetTypeLibCache() override;
    const com::CLSID* GetPropPageIDs(com::ULONG& count) override;
    void OnDraw(QPainter* dc, const QRect& bounds, const QRect& invalid) override;
    void DoPropExchange(ctl::PropExchange* px) override;
    void OnResetState() override;
    std::span<const ctl::DispatchEntry> dispatch_map() const override;
    std::span<const ctl::EventEntry> event_map() const override;
    std::span<const ctl::VerbEntry> verb_map() const override;

private:
    CBrantixCtrl();
    ~CBrantixCtrl() override;
};

} // namespace brantix

#pragma once
// The property page of the Brantix control, "General"; it binds no control to a property.
#include "control/framework/proppage.h"

namespace brantix {

class CBrantixPropPage final : public ctl::OlePropertyPage {
public:
    static com::IUnknown* CreateObject();
    com::HRESULT GetClassID(com::CLSID* clsid) override;

protected:
    void DoDataExchange(bool save_and_validate) override;

private:
    CBrantixPropPage();
    ~CBrantixPropPage() override = default;
};

} // namespace brantix

#include "control/brantix_proppage.h"

#include "control/brantix_ids.h"
#include "control/brantix_resource.h"

namespace brantix {

using namespace com;

IUnknown* CBrantixPropPage::CreateObject() {
    return static_cast<IPropertyPage*>(new CBrantixPropPage);
}

CBrantixPropPage::CBrantixPropPage() : ctl::OlePropertyPage(IDD_PROPPAGE_BRANTIX, IDS_BRANTIX_PPG_CAPTION) {}

HRESULT CBrantixPropPage::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_BrantixPropPage;
    return S_OK;
}

void CBrantixPropPage::DoDataExchange(bool save_and_validate) {
    OnPostExchange(save_and_validate);
}

} // namespace brantix

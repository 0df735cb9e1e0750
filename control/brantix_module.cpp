#include "control/brantix_module.h"

#include "control/brantix_ctrl.h"
#include "control/brantix_ids.h"
#include "control/brantix_proppage.h"
#include "control/brantix_resource.h"
#include "control/framework/registration.h"
#include "control/framework/typelib.h"

namespace brantix {

using namespace com;

bool CBrantixApp::InitInstance() {
    set_resources(resources());
    return ctl::ControlModule::InitInstance();
}

int CBrantixApp::ExitInstance() {
    return ctl::ControlModule::ExitInstance();
}

CBrantixCtrlFactory::CBrantixCtrlFactory()
    : ctl::ObjectFactory(CLSID_Brantix, &CBrantixCtrl::CreateObject, false, kCtrlProgID) {}

bool CBrantixCtrlFactory::UpdateRegistry(bool reg) {
    if (!reg) return ctl::UnregisterClass(clsid(), prog_id());
    const ctl::ControlClassInfo info{clsid(),
                                     prog_id(),
                                     ctl::module().load_string(IDS_BRANTIX),
                                     IDB_BRANTIX,
                                     ctl::reg_apartment_threading,
                                     kMiscStatus,
                                     LIBID_BrantixLib,
                                     kLibVerMajor,
                                     kLibVerMinor};
    return ctl::RegisterControlClass(ctl::ControlModule::file_path(), info);
}

CBrantixPropPageFactory::CBrantixPropPageFactory()
    : ctl::ObjectFactory(CLSID_BrantixPropPage, &CBrantixPropPage::CreateObject, false, kPageProgID) {}

bool CBrantixPropPageFactory::UpdateRegistry(bool reg) {
    if (!reg) return ctl::UnregisterClass(clsid(), QString());
    return ctl::RegisterPropertyPageClass(ctl::ControlModule::file_path(), clsid(),
                                          ctl::module().load_string(IDS_BRANTIX_PPG));
}

namespace {

// Built in this order when the library loads, destroyed in reverse when it unloads.
CBrantixApp theApp;
CBrantixCtrlFactory ctrl_factory;
CBrantixPropPageFactory page_factory;

// Starts and ends the module's instance around the life of the objects above.
struct Instance {
    Instance() { theApp.InitInstance(); }
    ~Instance() { theApp.ExitInstance(); }
} instance;

} // namespace

} // namespace brantix

using namespace com;

ctl::ControlModule& ctl::module() {
    return brantix::theApp;
}

HRESULT DllRegisterServer() {
    const ctl::TypeLibDesc* lib = ctl::module().type_library();
    if (!lib || FAILED(ctl::RegisterTypeLib(*lib, ctl::ControlModule::file_path()))) return SELFREG_E_TYPELIB;
    if (!ctl::module().update_registry_all(true)) return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT DllUnregisterServer() {
    if (FAILED(ctl::UnRegisterTypeLib(brantix::LIBID_BrantixLib, brantix::kLibVerMajor, brantix::kLibVerMinor,
                                      0)))
        return SELFREG_E_TYPELIB;
    if (!ctl::module().update_registry_all(false)) return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return ctl::module().get_class_object(clsid, iid, object);
}

HRESULT DllCanUnloadNow() {
    return ctl::module().can_unload_now();
}

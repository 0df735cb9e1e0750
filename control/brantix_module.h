#pragma once
// The Brantix library's module object and class factories, and its four entry points.
#include "control/framework/module.h"

namespace brantix {

class CBrantixApp final : public ctl::ControlModule {
public:
    bool InitInstance() override;
    int ExitInstance() override;
};

class CBrantixCtrlFactory final : public ctl::ObjectFactory {
public:
    CBrantixCtrlFactory();
    bool UpdateRegistry(bool reg) override;
};

class CBrantixPropPageFactory final : public ctl::ObjectFactory {
public:
    CBrantixPropPageFactory();
    bool UpdateRegistry(bool reg) override;
};

} // namespace brantix

#define BRANTIX_EXPORT extern "C" __attribute__((visibility("default")))
BRANTIX_EXPORT com::HRESULT DllRegisterServer();
BRANTIX_EXPORT com::HRESULT DllUnregisterServer();
BRANTIX_EXPORT com::HRESULT DllGetClassObject(com::REFCLSID clsid, com::REFIID iid, void** object);
BRANTIX_EXPORT com::HRESULT DllCanUnloadNow();

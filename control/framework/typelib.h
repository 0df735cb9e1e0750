#pragma once
// Type libraries: a library describes its dispatch interfaces and classes in a static table
// (its type-library resource). Registration records where the table lives; loading a registered
// library gives ITypeLib / ITypeInfo objects over the table.
#include <mutex>
#include <span>

#include "control/framework/com.h"

namespace ctl {

struct FuncEntry {
    const char* name;
    com::DISPID dispid;
};

struct ImplEntry {
    com::IID iid;
    int flags; // IMPLTYPEFLAG_*
};

struct TypeDesc {
    com::TYPEKIND kind;
    com::GUID guid;
    const char* name;
    const char* help;
    std::span<const FuncEntry> funcs;
    std::span<const ImplEntry> impls;
};

struct TypeLibDesc {
    com::GUID libid;
    std::uint16_t major, minor;
    com::LCID lcid;
    const char* name;
    const char* help;
    const char* help_file;
    std::span<const TypeDesc> types;
};

// Registers the library held in the module's resources under HKEY_CLASSES_ROOT: the TypeLib key
// with the module's path, and an Interface key for every dispatch interface.
com::HRESULT RegisterTypeLib(const TypeLibDesc& desc, const QString& module_path);
// Removes the registration of a library version for a locale; TYPE_E_LIBNOTREGISTERED when it is
// not registered.
com::HRESULT UnRegisterTypeLib(const com::GUID& libid, std::uint16_t major, std::uint16_t minor,
                               com::LCID lcid);
// Loads a registered library: the locale's entry, else its primary language's, else locale 0.
com::HRESULT LoadRegTypeLib(const com::GUID& libid, std::uint16_t major, std::uint16_t minor, com::LCID lcid,
                            com::ITypeLib** lib);

// The module's cache of one loaded library, shared by the instances of its controls on every
// thread. Each live control locks it; the library is released with the last lock.
class TypeLibCache {
public:
    explicit TypeLibCache(const com::GUID& libid) : libid_(libid) {}
    ~TypeLibCache();
    TypeLibCache(const TypeLibCache&) = delete;
    TypeLibCache& operator=(const TypeLibCache&) = delete;
    const com::GUID& libid() const { return libid_; }
    void Lock();
    void Unlock();
    // The cached library, loaded with `load` when missing; the result holds a new reference.
    template <class Load> com::HRESULT Get(com::LCID lcid, Load&& load, com::ITypeLib** lib) {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (!lib_) {
            const com::HRESULT hr = load(lcid, &lib_);
            if (com::FAILED(hr)) {
                lib_ = nullptr;
                return hr;
            }
        }
        lib_->AddRef();
        *lib = lib_;
        return com::S_OK;
    }

private:
    com::GUID libid_;
    std::mutex mutex_;
    long locks_ = 0;
    com::ITypeLib* lib_ = nullptr;
};

} // namespace ctl

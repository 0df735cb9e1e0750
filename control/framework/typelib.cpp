#include "control/framework/typelib.h"

#include <QFileInfo>
#include <atomic>

#include "control/framework/module.h"
#include "platform/registry/registry.h"

namespace ctl {

using namespace com;

namespace {

QString version_text(std::uint16_t major, std::uint16_t minor) {
    return QStringLiteral("%1.%2").arg(major).arg(minor);
}

QString lib_key(const GUID& libid, std::uint16_t major, std::uint16_t minor) {
    return QStringLiteral("TypeLib\\") + to_string(libid) + u'\\' + version_text(major, minor);
}

QString text(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}

// IUnknown of an object that offers one interface, I with the id Iid: it counts its references
// (atomically: a type library is shared by the controls of every thread through the cache) and
// deletes the object at the last Release.
template <class Self, class I, const IID& Iid> class OneInterface : public I {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != Iid) return E_NOINTERFACE;
        *object = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete static_cast<Self*>(this);
        return left;
    }

private:
    std::atomic<ULONG> refs_ = 1;
};

class TypeInfo final : public OneInterface<TypeInfo, ITypeInfo, IID_ITypeInfo> {
public:
    TypeInfo(const TypeDesc& d, ITypeLib* lib) : d_(d), lib_(lib) {
        lib_->AddRef();
        module().lock();
    }
    HRESULT GetTypeAttr(TYPEATTR* attr) override {
        if (!attr) return E_POINTER;
        attr->guid = d_.guid;
        attr->typekind = d_.kind;
        attr->cFuncs = static_cast<std::uint16_t>(d_.funcs.size());
        attr->cImplTypes = static_cast<std::uint16_t>(d_.impls.size());
        return S_OK;
    }
    HRESULT GetDocumentation(DISPID memid, QString* name, QString* doc) override {
        if (memid == MEMBERID_NIL) {
            if (name) *name = text(d_.name);
            if (doc) *doc = text(d_.help);
            return S_OK;
        }
        for (const FuncEntry& f : d_.funcs)
            if (f.dispid == memid) {
                if (name) *name = text(f.name);
                if (doc) doc->clear();
                return S_OK;
            }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetFuncDesc(unsigned index, FUNCDESC* desc) override {
        if (!desc) return E_POINTER;
        if (index >= d_.funcs.size()) return TYPE_E_ELEMENTNOTFOUND;
        desc->memid = d_.funcs[index].dispid;
        desc->name = text(d_.funcs[index].name);
        return S_OK;
    }
    HRESULT GetRefTypeOfImplType(unsigned index, GUID* iid, int* flags) override {
        if (index >= d_.impls.size()) return TYPE_E_ELEMENTNOTFOUND;
        if (iid) *iid = d_.impls[index].iid;
        if (flags) *flags = d_.impls[index].flags;
        return S_OK;
    }
    HRESULT GetRefTypeInfo(const GUID& iid, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        for (const ImplEntry& impl : d_.impls)
            if (impl.iid == iid) return lib_->GetTypeInfoOfGuid(iid, info);
        return TYPE_E_ELEMENTNOTFOUND;
    }

private:
    friend OneInterface;
    ~TypeInfo() {
        lib_->Release();
        module().unlock();
    }
    const TypeDesc& d_;
    ITypeLib* lib_;
};

class TypeLib final : public OneInterface<TypeLib, ITypeLib, IID_ITypeLib> {
public:
    explicit TypeLib(const TypeLibDesc& d) : d_(d) { module().lock(); }
    unsigned GetTypeInfoCount() override { return static_cast<unsigned>(d_.types.size()); }
    HRESULT GetTypeInfo(unsigned index, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index >= d_.types.size()) return TYPE_E_ELEMENTNOTFOUND;
        *info = new TypeInfo(d_.types[index], this);
        return S_OK;
    }
    HRESULT GetTypeInfoOfGuid(const GUID& guid, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        for (unsigned i = 0; i < d_.types.size(); ++i)
            if (d_.types[i].guid == guid) return GetTypeInfo(i, info);
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetLibAttr(TLIBATTR* attr) override {
        if (!attr) return E_POINTER;
        *attr = {d_.libid, d_.lcid, d_.major, d_.minor};
        return S_OK;
    }
    HRESULT GetDocumentation(int index, QString* name, QString* doc, QString* help_file) override {
        if (index == -1) {
            if (name) *name = text(d_.name);
            if (doc) *doc = text(d_.help);
            if (help_file) *help_file = text(d_.help_file);
            return S_OK;
        }
        if (index < 0 || index >= static_cast<int>(d_.types.size())) return TYPE_E_ELEMENTNOTFOUND;
        if (name) *name = text(d_.types[index].name);
        if (doc) *doc = text(d_.types[index].help);
        if (help_file) *help_file = text(d_.help_file);
        return S_OK;
    }

private:
    friend OneInterface;
    ~TypeLib() { module().unlock(); }
    const TypeLibDesc& d_;
};

bool set(const QString& key, const QString& name, const QString& value) {
    return registry::SetString(registry::HKEY_CLASSES_ROOT, key, name, value);
}

bool remove_tree(const QString& key) {
    const long rc = registry::DeleteTree(registry::HKEY_CLASSES_ROOT, key);
    return rc == registry::ERROR_SUCCESS || rc == registry::ERROR_FILE_NOT_FOUND;
}

QString read_default(const QString& key) {
    registry::HKEY k = 0;
    if (registry::OpenKey(registry::HKEY_CLASSES_ROOT, key, registry::KEY_READ, &k) !=
        registry::ERROR_SUCCESS)
        return QString();
    int type = 0;
    QByteArray data;
    const long rc = registry::QueryValue(k, QString(), &type, &data, 1 << 16);
    registry::CloseKey(k);
    if (rc != registry::ERROR_SUCCESS || type != registry::REG_SZ) return QString();
    return QString::fromUtf8(data.left(data.indexOf('\0')));
}

} // namespace

HRESULT RegisterTypeLib(const TypeLibDesc& d, const QString& module_path) {
    if (module_path.isEmpty()) return TYPE_E_REGISTRYACCESS;
    const QString key = lib_key(d.libid, d.major, d.minor);
    const QString lcid = QString::number(d.lcid, 16);
    bool ok = set(key, QString(), text(d.help)) && set(key + QStringLiteral("\\FLAGS"), QString(), "0") &&
              set(key + u'\\' + lcid + QStringLiteral("\\linux"), QString(), module_path) &&
              set(key + QStringLiteral("\\HELPDIR"), QString(), QFileInfo(module_path).absolutePath());
    for (const TypeDesc& t : d.types) {
        if (!ok) break;
        if (t.kind != TKIND_DISPATCH) continue;
        const QString ikey = QStringLiteral("Interface\\") + to_string(t.guid);
        ok = set(ikey, QString(), text(t.name)) &&
             set(ikey + QStringLiteral("\\ProxyStubClsid32"), QString(), to_string(CLSID_PSDispatch)) &&
             set(ikey + QStringLiteral("\\TypeLib"), QString(), to_string(d.libid)) &&
             set(ikey + QStringLiteral("\\TypeLib"), QStringLiteral("Version"),
                 version_text(d.major, d.minor));
    }
    return ok ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnRegisterTypeLib(const GUID& libid, std::uint16_t major, std::uint16_t minor, LCID lcid) {
    const QString key = lib_key(libid, major, minor);
    const QString lcid_key = key + u'\\' + QString::number(lcid, 16);
    if (!registry::KeyExists(registry::HKEY_CLASSES_ROOT, lcid_key)) return TYPE_E_LIBNOTREGISTERED;
    // The interfaces go with the library: those whose TypeLib entry names this library.
    registry::HKEY root = 0;
    if (registry::OpenKey(registry::HKEY_CLASSES_ROOT, QStringLiteral("Interface"), registry::KEY_READ,
                          &root) == registry::ERROR_SUCCESS) {
        const QStringList names = registry::SubKeyNames(root);
        registry::CloseKey(root);
        for (const QString& iid : names) {
            const QString ikey = QStringLiteral("Interface\\") + iid;
            if (read_default(ikey + QStringLiteral("\\TypeLib"))
                        .compare(to_string(libid), Qt::CaseInsensitive) == 0 &&
                !remove_tree(ikey))
                return TYPE_E_REGISTRYACCESS;
        }
    }
    if (!remove_tree(lcid_key)) return TYPE_E_REGISTRYACCESS;
    // The version goes when no other locale is left in it, the library when no version is.
    registry::HKEY k = 0;
    bool locales_left = false;
    if (registry::OpenKey(registry::HKEY_CLASSES_ROOT, key, registry::KEY_READ, &k) ==
        registry::ERROR_SUCCESS) {
        for (const QString& sub : registry::SubKeyNames(k)) {
            bool number = false;
            sub.toUInt(&number, 16);
            if (number) locales_left = true;
        }
        registry::CloseKey(k);
    }
    if (!locales_left && !remove_tree(key)) return TYPE_E_REGISTRYACCESS;
    const QString lib = QStringLiteral("TypeLib\\") + to_string(libid);
    if (registry::OpenKey(registry::HKEY_CLASSES_ROOT, lib, registry::KEY_READ, &k) ==
        registry::ERROR_SUCCESS) {
        const bool empty = registry::SubKeyNames(k).isEmpty();
        registry::CloseKey(k);
        if (empty && !remove_tree(lib)) return TYPE_E_REGISTRYACCESS;
    }
    return S_OK;
}

HRESULT LoadRegTypeLib(const GUID& libid, std::uint16_t major, std::uint16_t minor, LCID lcid,
                       ITypeLib** lib) {
    if (!lib) return E_POINTER;
    *lib = nullptr;
    const QString key = lib_key(libid, major, minor);
    QString path;
    for (LCID l : {lcid, lcid & 0x3FFu, 0u}) {
        path = read_default(key + u'\\' + QString::number(l, 16) + QStringLiteral("\\linux"));
        if (!path.isEmpty()) break;
    }
    if (path.isEmpty()) return TYPE_E_LIBNOTREGISTERED;
    // Only the module's own library can be loaded from its own file.
    const TypeLibDesc* own = module().type_library();
    if (!own || own->libid != libid || QFileInfo(path).canonicalFilePath() != ControlModule::file_path())
        return TYPE_E_CANTLOADLIBRARY;
    *lib = new TypeLib(*own);
    return S_OK;
}

TypeLibCache::~TypeLibCache() {
    if (lib_) lib_->Release();
}

void TypeLibCache::Lock() {
    const std::lock_guard<std::mutex> guard(mutex_);
    ++locks_;
}

void TypeLibCache::Unlock() {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (locks_ > 0 && --locks_ == 0 && lib_) {
        lib_->Release();
        lib_ = nullptr;
    }
}

} // namespace ctl

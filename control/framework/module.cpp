#include "control/framework/module.h"

#include <QApplication>
#include <QFileInfo>
#include <QThread>
#include <dlfcn.h>

#include "control/framework/typelib.h"

namespace ctl {

using namespace com;

ControlModule::ControlModule() = default;

namespace {

// Counts a count down unless it is zero already: false when it was zero, else true, with
// `reached_zero` telling whether this took it to zero.
template <class T> bool count_down(std::atomic<T>& count, bool* reached_zero = nullptr) {
    T now = count.load();
    while (now > 0)
        if (count.compare_exchange_weak(now, now - 1)) {
            if (reached_zero) *reached_zero = now == 1;
            return true;
        }
    return false;
}

} // namespace

bool can_show_widgets() {
    const auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

ControlModule::~ControlModule() {
    qDeleteAll(caches_);
}

bool ControlModule::InitInstance() {
    return true;
}

int ControlModule::ExitInstance() {
    const std::lock_guard<std::mutex> guard(caches_mutex_);
    qDeleteAll(caches_);
    caches_.clear();
    return 0;
}

void ControlModule::lock() {
    ++locks_;
}

void ControlModule::unlock() {
    count_down(locks_);
}

QString ControlModule::file_path() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ControlModule::file_path), &info) || !info.dli_fname)
        return QString();
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalFilePath();
}

QString ControlModule::load_string(int id) const {
    for (const StringEntry& s : resources_.strings)
        if (s.id == id) return QString::fromUtf8(s.text);
    return QString();
}

const DialogTemplate* ControlModule::dialog(int id) const {
    for (const DialogTemplate& d : resources_.dialogs)
        if (d.id == id) return &d;
    return nullptr;
}

QPixmap ControlModule::picture(int kind, int id) const {
    return resources_.picture ? resources_.picture(kind, id) : QPixmap();
}

TypeLibCache* ControlModule::type_lib_cache(const GUID& libid) {
    const std::lock_guard<std::mutex> guard(caches_mutex_);
    for (TypeLibCache* c : caches_)
        if (c->libid() == libid) return c;
    caches_.append(new TypeLibCache(libid));
    return caches_.last();
}

ObjectFactory* ControlModule::find_factory(REFCLSID clsid) const {
    for (ObjectFactory* f : factories_)
        if (f->clsid() == clsid) return f;
    return nullptr;
}

HRESULT ControlModule::get_class_object(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    ObjectFactory* f = find_factory(clsid);
    if (!f) return CLASS_E_CLASSNOTAVAILABLE;
    return f->QueryInterface(iid, object);
}

HRESULT ControlModule::can_unload_now() const {
    return locks_.load() == 0 ? S_OK : S_FALSE;
}

bool ControlModule::update_registry_all(bool reg) {
    // Every factory is asked, also after one has failed, so that unregistering removes all it can.
    bool ok = true;
    for (ObjectFactory* f : factories_)
        if (!f->UpdateRegistry(reg)) ok = false;
    return ok;
}

ObjectFactory::ObjectFactory(REFCLSID clsid, Creator create, bool multi_instance, const char* prog_id)
    : clsid_(clsid), create_(create), multi_instance_(multi_instance), prog_id_(prog_id) {
    module().add_factory(this);
}

ObjectFactory::~ObjectFactory() {
    module().remove_factory(this);
}

HRESULT ObjectFactory::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG ObjectFactory::AddRef() {
    const ULONG before = refs_.fetch_add(1);
    if (before == 0) module().lock();
    return before + 1;
}

ULONG ObjectFactory::Release() {
    // The factory itself is static; a stray extra release must not unlock the module twice.
    bool last = false;
    if (count_down(refs_, &last) && last) {
        module().unlock();
        return 0;
    }
    return refs_.load();
}

HRESULT ObjectFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IUnknown* made = create_();
    if (!made) return E_OUTOFMEMORY;
    const HRESULT hr = made->QueryInterface(iid, object);
    made->Release();
    return hr;
}

HRESULT ObjectFactory::LockServer(bool lock) {
    if (lock) {
        ++server_locks_;
        module().lock();
        return S_OK;
    }
    if (!count_down(server_locks_)) return E_UNEXPECTED;
    module().unlock();
    return S_OK;
}

} // namespace ctl

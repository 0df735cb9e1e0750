#pragma once
// The module: one object per control library, built when the library loads. It counts the live
// objects and the server locks (the unload test), holds the class factories in the order they
// are built, the library's resources and the type-library caches.
#include <QList>
#include <QPixmap>
#include <atomic>
#include <mutex>
#include <span>

#include "control/framework/com.h"
#include "control/framework/resources.h"

namespace ctl {

struct TypeLibDesc;
class ObjectFactory;
class TypeLibCache;

class ControlModule {
public:
    ControlModule();
    virtual ~ControlModule();
    ControlModule(const ControlModule&) = delete;
    ControlModule& operator=(const ControlModule&) = delete;

    virtual bool InitInstance();
    virtual int ExitInstance();

    // Live objects and server locks; the library may unload when both are zero.
    void lock();
    void unlock();
    long lock_count() const { return locks_.load(); }

    // The file the library was loaded from.
    static QString file_path();

    // Resources, set once by the library.
    struct Resources {
        std::span<const StringEntry> strings;
        std::span<const DialogTemplate> dialogs;
        const TypeLibDesc* type_library = nullptr; // type library 1
        QPixmap (*picture)(int kind, int id) = nullptr;
    };
    void set_resources(const Resources& r) { resources_ = r; }
    QString load_string(int id) const;
    const DialogTemplate* dialog(int id) const;
    const TypeLibDesc* type_library() const { return resources_.type_library; }
    QPixmap picture(int kind, int id) const;

    TypeLibCache* type_lib_cache(const com::GUID& libid);

    void add_factory(ObjectFactory* f) { factories_.append(f); }
    void remove_factory(ObjectFactory* f) { factories_.removeAll(f); }
    const QList<ObjectFactory*>& factories() const { return factories_; }
    ObjectFactory* find_factory(com::REFCLSID clsid) const;

    // The framework's behaviour behind the exports.
    com::HRESULT get_class_object(com::REFCLSID clsid, com::REFIID iid, void** object);
    com::HRESULT can_unload_now() const;
    // Asks every factory to (un)register; false when any failed.
    bool update_registry_all(bool reg);

private:
    // Objects of the library may live on several threads, each on its own: the counts are
    // atomic and the cache list is guarded.
    std::atomic<long> locks_ = 0;
    Resources resources_;
    QList<ObjectFactory*> factories_;
    std::mutex caches_mutex_;
    QList<TypeLibCache*> caches_;
};

// Whether widgets may be made here: a QApplication exists and this is its thread. A host without
// one gets E_UNEXPECTED from whatever would show a window.
bool can_show_widgets();

// The library's one module object.
ControlModule& module();

// A class factory: one static object per creatable class. References held by callers keep the
// library loaded, as do LockServer calls.
class ObjectFactory : public com::IClassFactory {
public:
    using Creator = com::IUnknown* (*)(); // a new object holding one reference
    ObjectFactory(com::REFCLSID clsid, Creator create, bool multi_instance, const char* prog_id);
    virtual ~ObjectFactory();
    ObjectFactory(const ObjectFactory&) = delete;
    ObjectFactory& operator=(const ObjectFactory&) = delete;

    const com::CLSID& clsid() const { return clsid_; }
    QString prog_id() const { return prog_id_ ? QString::fromLatin1(prog_id_) : QString(); }
    bool multi_instance() const { return multi_instance_; }

    virtual bool UpdateRegistry(bool reg) = 0;

    com::HRESULT QueryInterface(com::REFIID iid, void** object) override;
    com::ULONG AddRef() override;
    com::ULONG Release() override;
    com::HRESULT CreateInstance(com::IUnknown* outer, com::REFIID iid, void** object) override;
    com::HRESULT LockServer(bool lock) override;

private:
    com::CLSID clsid_;
    Creator create_;
    bool multi_instance_;
    const char* prog_id_;
    std::atomic<com::ULONG> refs_ = 0;
    std::atomic<long> server_locks_ = 0;
};

} // namespace ctl

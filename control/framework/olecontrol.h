#pragma once
// The control base class. A control declares its dispatch, event and verb maps as static
// tables and overrides the identity and drawing hooks; the base supplies reference counting,
// dispatch by id, the event connection point, persistence through property bags, the property
// page list and the standard verbs.
#include <QList>
#include <QSize>
#include <atomic>
#include <span>

#include "control/framework/com.h"

namespace ctl {

class OleControl;
class TypeLibCache;

struct DispatchEntry {
    const char* name;
    com::DISPID dispid;
    unsigned params;
    com::HRESULT (*invoke)(OleControl* control);
};

struct EventEntry {
    const char* name;
    com::DISPID dispid;
};

struct VerbEntry {
    std::int32_t verb;
    void (*handler)(OleControl* control, QWidget* parent);
};

// Reads or writes a control's persistent properties through a property bag.
class PropExchange {
public:
    PropExchange(com::IPropertyBag* bag, bool loading) : bag_(bag), loading_(loading) {}
    bool IsLoading() const { return loading_; }
    // The version of the saved data, under "_Version"; loading keeps the default when it is absent.
    bool ExchangeVersion(com::DWORD& version, com::DWORD default_version);
    bool ExchangeLong(const QString& name, std::int32_t& value, std::int32_t default_value);

private:
    com::IPropertyBag* bag_;
    bool loading_;
};

class OleControl : public com::IDispatch,
                   public com::IConnectionPointContainer,
                   public com::IPersistPropertyBag,
                   public com::ISpecifyPropertyPages,
                   public com::IOleObject,
                   public com::IViewObject,
                   public com::IProvideClassInfo {
public:
    OleControl();
    OleControl(const OleControl&) = delete;
    OleControl& operator=(const OleControl&) = delete;

    // IUnknown
    com::HRESULT QueryInterface(com::REFIID iid, void** object) override;
    com::ULONG AddRef() override;
    com::ULONG Release() override;

    // IDispatch
    com::HRESULT GetTypeInfoCount(unsigned* count) override;
    com::HRESULT GetTypeInfo(unsigned index, com::LCID lcid, com::ITypeInfo** info) override;
    com::HRESULT GetIDsOfNames(com::REFIID reserved, const QString* names, unsigned count, com::LCID lcid,
                               com::DISPID* ids) override;
    com::HRESULT Invoke(com::DISPID id, com::REFIID reserved, com::LCID lcid, std::uint16_t flags,
                        com::DISPPARAMS* params, com::VARIANT* result) override;

    // IProvideClassInfo: the control's class in its type library.
    com::HRESULT GetClassInfo(com::ITypeInfo** info) override;

    // IConnectionPointContainer
    com::HRESULT FindConnectionPoint(com::REFIID iid, com::IConnectionPoint** point) override;

    // IPersistPropertyBag
    com::HRESULT GetClassID(com::CLSID* clsid) override = 0;
    com::HRESULT InitNew() override;
    com::HRESULT Load(com::IPropertyBag* bag) override;
    com::HRESULT Save(com::IPropertyBag* bag) override;

    // ISpecifyPropertyPages
    com::HRESULT GetPages(com::CAUUID* pages) override;

    // IOleObject
    com::HRESULT DoVerb(std::int32_t verb, QWidget* parent) override;
    com::HRESULT GetUserClassID(com::CLSID* clsid) override;
    com::HRESULT GetUserType(QString* name) override;
    com::HRESULT GetMiscStatus(com::DWORD aspect, com::DWORD* status) override;

    // IViewObject
    com::HRESULT Draw(com::DWORD aspect, QPainter* painter, const QRect& bounds) override;

    // Fires an event on every connected sink.
    void FireEvent(com::DISPID dispid, com::DISPPARAMS* params);

    // The framework's verb handler that shows the control's property pages in a modal frame.
    static void OnProperties(OleControl* control, QWidget* parent);

    // Number of connected event sinks.
    int sink_count() const { return sinks_.size(); }

protected:
    virtual ~OleControl();

    // The control's dispatch interface and event interface.
    void InitializeIIDs(const com::IID* dispatch_iid, const com::IID* events_iid);

    // Hooks of the control.
    virtual int GetUserTypeNameID() = 0;
    virtual com::DWORD GetMiscStatus() = 0;
    virtual com::HRESULT GetTypeLib(com::LCID lcid, com::ITypeLib** lib) = 0;
    virtual TypeLibCache* GetTypeLibCache() = 0;
    virtual const com::CLSID* GetPropPageIDs(com::ULONG& count) = 0;
    virtual void OnDraw(QPainter* dc, const QRect& bounds, const QRect& invalid) = 0;
    virtual void DoPropExchange(PropExchange* px);
    virtual void OnResetState();
    virtual std::span<const DispatchEntry> dispatch_map() const = 0;
    virtual std::span<const EventEntry> event_map() const = 0;
    virtual std::span<const VerbEntry> verb_map() const = 0;

private:
    // The control's type library through the module's cache, locked while this control lives.
    com::HRESULT type_lib(com::LCID lcid, com::ITypeLib** lib);
    class Point;
    struct Sink {
        com::DWORD cookie;
        com::IDispatch* sink;
    };
    std::atomic<com::ULONG> refs_ = 1;
    const com::IID* dispatch_iid_ = nullptr;
    const com::IID* events_iid_ = nullptr;
    Point* point_;
    QList<Sink> sinks_;
    com::DWORD next_cookie_ = 1;
    TypeLibCache* cache_ = nullptr; // locked while this control lives
};

} // namespace ctl

#include "control/framework/olecontrol.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdlib>

#include "control/framework/module.h"
#include "control/framework/typelib.h"

namespace ctl {

using namespace com;

bool PropExchange::ExchangeLong(const QString& name, std::int32_t& value, std::int32_t default_value) {
    if (!bag_) return false;
    VARIANT v;
    if (loading_) {
        if (FAILED(bag_->Read(name, &v)) || v.vt != VT_I4) {
            value = default_value;
            return true;
        }
        value = v.lVal;
        return true;
    }
    v.vt = VT_I4;
    v.lVal = value;
    return SUCCEEDED(bag_->Write(name, v));
}

bool PropExchange::ExchangeVersion(DWORD& version, DWORD default_version) {
    std::int32_t v = static_cast<std::int32_t>(version);
    const bool ok = ExchangeLong(QStringLiteral("_Version"), v, static_cast<std::int32_t>(default_version));
    version = static_cast<DWORD>(v);
    return ok;
}

// The connection point of the control's event interface; it lives and dies with the control.
class OleControl::Point final : public IConnectionPoint {
public:
    explicit Point(OleControl* owner) : owner_(owner) {}
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return owner_->AddRef(); }
    ULONG Release() override { return owner_->Release(); }
    HRESULT GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = *owner_->events_iid_;
        return S_OK;
    }
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        *cookie = 0;
        void* p = nullptr;
        if (FAILED(sink->QueryInterface(*owner_->events_iid_, &p)) || !p) return CONNECT_E_CANNOTCONNECT;
        *cookie = owner_->next_cookie_++;
        owner_->sinks_.append({*cookie, static_cast<IDispatch*>(p)});
        return S_OK;
    }
    HRESULT Unadvise(DWORD cookie) override {
        for (int i = 0; i < owner_->sinks_.size(); ++i)
            if (owner_->sinks_[i].cookie == cookie) {
                IDispatch* sink = owner_->sinks_.takeAt(i).sink;
                sink->Release();
                return S_OK;
            }
        return CONNECT_E_NOCONNECTION;
    }

private:
    OleControl* owner_;
};

OleControl::OleControl() : point_(new Point(this)) {
    module().lock();
}

OleControl::~OleControl() {
    for (const Sink& s : sinks_)
        s.sink->Release();
    delete point_;
    if (cache_) cache_->Unlock();
    module().unlock();
}

void OleControl::InitializeIIDs(const IID* dispatch_iid, const IID* events_iid) {
    dispatch_iid_ = dispatch_iid;
    events_iid_ = events_iid;
}

HRESULT OleControl::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || (dispatch_iid_ && iid == *dispatch_iid_))
        *object = static_cast<IDispatch*>(this);
    else if (iid == IID_IConnectionPointContainer)
        *object = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IPersist || iid == IID_IPersistPropertyBag)
        *object = static_cast<IPersistPropertyBag*>(this);
    else if (iid == IID_ISpecifyPropertyPages)
        *object = static_cast<ISpecifyPropertyPages*>(this);
    else if (iid == IID_IOleObject)
        *object = static_cast<IOleObject*>(this);
    else if (iid == IID_IViewObject)
        *object = static_cast<IViewObject*>(this);
    else if (iid == IID_IProvideClassInfo)
        *object = static_cast<IProvideClassInfo*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG OleControl::AddRef() {
    return ++refs_;
}

ULONG OleControl::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT OleControl::GetTypeInfoCount(unsigned* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT OleControl::type_lib(LCID lcid, ITypeLib** lib) {
    *lib = nullptr;
    TypeLibCache* cache = GetTypeLibCache();
    if (!cache) return TYPE_E_LIBNOTREGISTERED;
    if (!cache_) {
        cache_ = cache;
        cache_->Lock();
    }
    return cache_->Get(
        lcid, [this](LCID l, ITypeLib** out) { return GetTypeLib(l, out); }, lib);
}

HRESULT OleControl::GetTypeInfo(unsigned index, LCID lcid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0 || !dispatch_iid_) return DISP_E_BADINDEX;
    ITypeLib* lib = nullptr;
    HRESULT hr = type_lib(lcid, &lib);
    if (FAILED(hr)) return hr;
    hr = lib->GetTypeInfoOfGuid(*dispatch_iid_, info);
    lib->Release();
    return hr;
}

HRESULT OleControl::GetClassInfo(ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    CLSID clsid;
    if (FAILED(GetClassID(&clsid))) return E_UNEXPECTED;
    ITypeLib* lib = nullptr;
    HRESULT hr = type_lib(0, &lib);
    if (FAILED(hr)) return hr;
    hr = lib->GetTypeInfoOfGuid(clsid, info);
    lib->Release();
    return hr;
}

HRESULT OleControl::GetIDsOfNames(REFIID, const QString* names, unsigned count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    for (unsigned i = 0; i < count; ++i)
        ids[i] = MEMBERID_NIL;
    for (const DispatchEntry& e : dispatch_map())
        if (names[0].compare(QLatin1String(e.name), Qt::CaseInsensitive) == 0) {
            ids[0] = e.dispid;
            // None of the methods has named parameters.
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    return DISP_E_UNKNOWNNAME;
}

HRESULT OleControl::Invoke(DISPID id, REFIID, LCID, std::uint16_t flags, DISPPARAMS* params,
                           VARIANT* result) {
    for (const DispatchEntry& e : dispatch_map()) {
        if (e.dispid != id) continue;
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if ((params ? params->cArgs : 0) != e.params) return DISP_E_BADPARAMCOUNT;
        if (result) *result = VARIANT{};
        // The call may release the container's last reference to this control from within.
        AddRef();
        const HRESULT hr = e.invoke(this);
        Release();
        return hr;
    }
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT OleControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (!events_iid_ || iid != *events_iid_) return CONNECT_E_NOCONNECTION;
    *point = point_;
    point_->AddRef();
    return S_OK;
}

void OleControl::FireEvent(DISPID dispid, DISPPARAMS* params) {
    // A sink may disconnect, or connect others, while it handles the event: fire on a copy,
    // each sink held for the call.
    const QList<Sink> sinks = sinks_;
    for (const Sink& s : sinks)
        s.sink->AddRef();
    AddRef();
    for (const Sink& s : sinks)
        s.sink->Invoke(dispid, IID_IUnknown, 0, DISPATCH_METHOD, params, nullptr);
    for (const Sink& s : sinks)
        s.sink->Release();
    Release();
}

HRESULT OleControl::InitNew() {
    OnResetState();
    return S_OK;
}

HRESULT OleControl::Load(IPropertyBag* bag) {
    if (!bag) return E_POINTER;
    PropExchange px(bag, true);
    DoPropExchange(&px);
    return S_OK;
}

HRESULT OleControl::Save(IPropertyBag* bag) {
    if (!bag) return E_POINTER;
    PropExchange px(bag, false);
    DoPropExchange(&px);
    return S_OK;
}

void OleControl::DoPropExchange(PropExchange*) {
    // No stock properties are kept by the framework.
}

void OleControl::OnResetState() {}

HRESULT OleControl::GetPages(CAUUID* pages) {
    if (!pages) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    ULONG count = 0;
    const CLSID* ids = GetPropPageIDs(count);
    if (count == 0 || !ids) return S_OK;
    pages->pElems = static_cast<GUID*>(std::malloc(sizeof(GUID) * count));
    if (!pages->pElems) return E_OUTOFMEMORY;
    for (ULONG i = 0; i < count; ++i)
        pages->pElems[i] = ids[i];
    pages->cElems = count;
    return S_OK;
}

HRESULT OleControl::DoVerb(std::int32_t verb, QWidget* parent) {
    for (const VerbEntry& v : verb_map())
        if (v.verb == verb) {
            // Every verb shows a window.
            if (!can_show_widgets()) return E_UNEXPECTED;
            AddRef();
            v.handler(this, parent);
            Release();
            return S_OK;
        }
    return E_NOTIMPL;
}

HRESULT OleControl::GetUserClassID(CLSID* clsid) {
    return GetClassID(clsid);
}

HRESULT OleControl::GetUserType(QString* name) {
    if (!name) return E_POINTER;
    *name = module().load_string(GetUserTypeNameID());
    return S_OK;
}

HRESULT OleControl::GetMiscStatus(DWORD aspect, DWORD* status) {
    if (!status) return E_POINTER;
    *status = aspect == DVASPECT_CONTENT ? GetMiscStatus() : 0;
    return S_OK;
}

HRESULT OleControl::Draw(DWORD aspect, QPainter* painter, const QRect& bounds) {
    if (aspect != DVASPECT_CONTENT) return E_NOTIMPL;
    OnDraw(painter, bounds, bounds);
    return S_OK;
}

void OleControl::OnProperties(OleControl* control, QWidget* parent) {
    ULONG count = 0;
    const CLSID* ids = control->GetPropPageIDs(count);
    QString type_name;
    control->GetUserType(&type_name);

    QDialog frame(parent);
    frame.setWindowTitle(QStringLiteral("%1 Properties").arg(type_name));
    auto* layout = new QVBoxLayout(&frame);
    auto* tabs = new QTabWidget(&frame);
    layout->addWidget(tabs);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, &frame);
    layout->addWidget(buttons);

    QList<IPropertyPage*> pages;
    for (ULONG i = 0; ids && i < count; ++i) {
        ObjectFactory* f = module().find_factory(ids[i]);
        void* p = nullptr;
        if (!f || FAILED(f->CreateInstance(nullptr, IID_IPropertyPage, &p))) continue;
        auto* page = static_cast<IPropertyPage*>(p);
        IUnknown* object = static_cast<IDispatch*>(control);
        page->SetObjects(1, &object);
        PROPPAGEINFO info;
        page->GetPageInfo(&info);
        auto* holder = new QWidget;
        holder->setMinimumSize(info.size);
        tabs->addTab(holder, info.title);
        page->Activate(holder, QRect(QPoint(0, 0), info.size), true);
        page->Show(true);
        pages.append(page);
    }
    auto apply = [&pages] {
        for (IPropertyPage* p : pages)
            if (p->IsPageDirty() == S_OK) p->Apply();
    };
    QObject::connect(buttons, &QDialogButtonBox::accepted, &frame, [&] {
        apply();
        frame.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &frame, &QDialog::reject);
    QObject::connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, &frame, apply);
    frame.exec();
    for (IPropertyPage* p : pages) {
        p->Deactivate();
        p->SetObjects(0, nullptr);
        p->Release();
    }
}

} // namespace ctl

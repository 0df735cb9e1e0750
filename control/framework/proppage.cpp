#include "control/framework/proppage.h"

#include "control/framework/module.h"
#include "control/framework/resources.h"

namespace ctl {

using namespace com;

OlePropertyPage::OlePropertyPage(int dialog_id, int caption_id)
    : dialog_id_(dialog_id), caption_id_(caption_id) {
    module().lock();
}

OlePropertyPage::~OlePropertyPage() {
    delete page_.data();
    for (IDispatch* o : objects_)
        o->Release();
    module().unlock();
}

HRESULT OlePropertyPage::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IPropertyPage)
        *object = static_cast<IPropertyPage*>(this);
    else if (iid == IID_IPersist)
        *object = static_cast<IPersist*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG OlePropertyPage::AddRef() {
    return ++refs_;
}

ULONG OlePropertyPage::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT OlePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
    if (!info) return E_POINTER;
    if (!can_show_widgets()) return E_UNEXPECTED;
    info->title = module().load_string(caption_id_);
    QWidget probe;
    if (const DialogTemplate* t = module().dialog(dialog_id_)) build_from_template(*t, &probe);
    info->size = probe.size();
    return S_OK;
}

HRESULT OlePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
    if (count && !objects) return E_POINTER;
    QList<IDispatch*> fresh;
    for (ULONG i = 0; i < count; ++i) {
        void* p = nullptr;
        if (!objects[i] || FAILED(objects[i]->QueryInterface(IID_IDispatch, &p))) {
            for (IDispatch* o : fresh)
                o->Release();
            return E_NOINTERFACE;
        }
        fresh.append(static_cast<IDispatch*>(p));
    }
    for (IDispatch* o : objects_)
        o->Release();
    objects_ = fresh;
    return S_OK;
}

HRESULT OlePropertyPage::Activate(QWidget* parent, const QRect& rect, bool) {
    if (!can_show_widgets()) return E_UNEXPECTED;
    const DialogTemplate* t = module().dialog(dialog_id_);
    if (!t) return E_FAIL;
    delete page_.data();
    page_ = new QWidget(parent);
    page_->setObjectName(QStringLiteral("page_%1").arg(dialog_id_));
    build_from_template(*t, page_);
    page_->move(rect.topLeft());
    DoDataExchange(false);
    dirty_ = false;
    return S_OK;
}

HRESULT OlePropertyPage::Deactivate() {
    delete page_.data();
    return S_OK;
}

HRESULT OlePropertyPage::Show(bool visible) {
    if (!page_) return E_UNEXPECTED;
    page_->setVisible(visible);
    return S_OK;
}

HRESULT OlePropertyPage::IsPageDirty() {
    return dirty_ ? S_OK : S_FALSE;
}

HRESULT OlePropertyPage::Apply() {
    if (page_) DoDataExchange(true);
    dirty_ = false;
    return S_OK;
}

void OlePropertyPage::DoDataExchange(bool save_and_validate) {
    OnPostExchange(save_and_validate);
}

void OlePropertyPage::OnPostExchange(bool) {
    // Pages that bind no control to a property have nothing to carry over.
}

} // namespace ctl

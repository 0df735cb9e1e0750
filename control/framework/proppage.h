#pragma once
// The property-page base class: a page built from a child dialog resource with a caption from
// the string table, shown by a property frame for the objects it is given.
#include <QList>
#include <QPointer>
#include <QWidget>
#include <atomic>

#include "control/framework/com.h"

namespace ctl {

// A property frame asks the page for its class through IPersist.
class OlePropertyPage : public com::IPropertyPage, public com::IPersist {
public:
    OlePropertyPage(int dialog_id, int caption_id);
    OlePropertyPage(const OlePropertyPage&) = delete;
    OlePropertyPage& operator=(const OlePropertyPage&) = delete;

    com::HRESULT QueryInterface(com::REFIID iid, void** object) override;
    com::ULONG AddRef() override;
    com::ULONG Release() override;

    com::HRESULT GetPageInfo(com::PROPPAGEINFO* info) override;
    com::HRESULT SetObjects(com::ULONG count, com::IUnknown** objects) override;
    com::HRESULT Activate(QWidget* parent, const QRect& rect, bool modal) override;
    com::HRESULT Deactivate() override;
    com::HRESULT Show(bool visible) override;
    com::HRESULT IsPageDirty() override;
    com::HRESULT Apply() override;

    com::HRESULT GetClassID(com::CLSID* clsid) override = 0;

    // The page's window while it is active.
    QWidget* page() const { return page_; }

protected:
    virtual ~OlePropertyPage();
    // Moves values between the page's controls and the objects' properties.
    virtual void DoDataExchange(bool save_and_validate);
    // The framework's part of the exchange, run after the page's own.
    void OnPostExchange(bool save_and_validate);

private:
    int dialog_id_;
    int caption_id_;
    std::atomic<com::ULONG> refs_ = 1;
    QList<com::IDispatch*> objects_;
    QPointer<QWidget> page_;
    bool dirty_ = false;
};

} // namespace ctl

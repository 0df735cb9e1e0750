// A container for the Brantix library: loads it at run time, registers it, creates the control
// through its class factory and talks to it only through the library's interfaces.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLibrary>
#include <QMap>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <cstdlib>
#include <thread>
#include <vector>

// The container headers as installed.
#include <brantix/brantix_ids.h>
#include <brantix/com.h>

#include "platform/registry/registry.h"
#include "tests/support/test_main.h"

using namespace com;
using namespace brantix;

namespace {

const QString kCtrlKey = "CLSID\\" + to_string(CLSID_Brantix);
const QString kPageKey = "CLSID\\" + to_string(CLSID_BrantixPropPage);
const QString kLibKey = "TypeLib\\" + to_string(LIBID_BrantixLib);

// The key's value as text ("<none>" when the key or value is missing).
QString reg_value(const QString& key, const QString& name = QString()) {
    registry::HKEY k = 0;
    if (registry::OpenKey(registry::HKEY_CLASSES_ROOT, key, registry::KEY_READ, &k) !=
        registry::ERROR_SUCCESS)
        return "<none>";
    int type = 0;
    QByteArray data;
    const long rc = registry::QueryValue(k, name, &type, &data);
    registry::CloseKey(k);
    if (rc != registry::ERROR_SUCCESS || type != registry::REG_SZ) return "<none>";
    return QString::fromUtf8(data.left(data.indexOf('\0')));
}

bool key_exists(const QString& key) {
    return registry::KeyExists(registry::HKEY_CLASSES_ROOT, key);
}

// An event sink that answers to the event interface and records what it is told.
class Sink final : public IDispatch {
public:
    explicit Sink(const IID& answers) : answers_(answers) {}
    HRESULT QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (iid != IID_IUnknown && iid != answers_) return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; } // lives on the test's stack
    HRESULT GetTypeInfoCount(unsigned* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(unsigned, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, const QString*, unsigned, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, std::uint16_t, DISPPARAMS* params, VARIANT*) override {
        calls.append(id);
        args.append(params ? int(params->cArgs) : -1);
        if (on_event) on_event();
        return S_OK;
    }
    IID answers_;
    ULONG refs = 0;
    QList<DISPID> calls;
    QList<int> args;
    std::function<void()> on_event;
};

class Bag final : public IPropertyBag {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IPropertyBag) return E_NOINTERFACE;
        *object = static_cast<IPropertyBag*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT Read(const QString& name, VARIANT* value) override {
        if (!values.contains(name)) return E_INVALIDARG;
        value->vt = VT_I4;
        value->lVal = values.value(name);
        return S_OK;
    }
    HRESULT Write(const QString& name, const VARIANT& value) override {
        values.insert(name, value.lVal);
        return S_OK;
    }
    QMap<QString, std::int32_t> values;
};

template <class T> T* query(IUnknown* u, const IID& iid) {
    void* p = nullptr;
    return SUCCEEDED(u->QueryInterface(iid, &p)) ? static_cast<T*>(p) : nullptr;
}

// Runs `check` on the modal window that the next call opens, then closes it with `button`.
void on_modal(const std::function<void(QWidget*)>& check, QString* title) {
    QTimer::singleShot(0, [=] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) return on_modal(check, title); // not shown yet: look again on the next pass
        *title = w->windowTitle();
        check(w);
    });
}

} // namespace

class TestBrantix : public QObject {
    Q_OBJECT

    QLibrary lib_;
    QString path_;
    DllRegisterServerFn reg_ = nullptr;
    DllUnregisterServerFn unreg_ = nullptr;
    DllGetClassObjectFn get_ = nullptr;
    DllCanUnloadNowFn can_unload_ = nullptr;

    IDispatch* create_control() {
        void* p = nullptr;
        if (FAILED(get_(CLSID_Brantix, IID_IClassFactory, &p))) return nullptr;
        auto* f = static_cast<IClassFactory*>(p);
        void* c = nullptr;
        f->CreateInstance(nullptr, IID_DBrantix, &c);
        f->Release();
        return static_cast<IDispatch*>(c);
    }

    HRESULT call(IDispatch* d, DISPID id, unsigned args = 0) {
        VARIANT arg[1];
        DISPPARAMS params{args ? arg : nullptr, args};
        VARIANT result;
        return d->Invoke(id, IID_IUnknown, 0, DISPATCH_METHOD, &params, &result);
    }

private slots:
    void initTestCase() {
        path_ = QFileInfo(QStringLiteral(WEYVANE_BIN_DIR "/libbrantix.so")).canonicalFilePath();
        lib_.setFileName(path_);
        QVERIFY2(lib_.load(), qPrintable(lib_.errorString()));
        reg_ = reinterpret_cast<DllRegisterServerFn>(lib_.resolve("DllRegisterServer"));
        unreg_ = reinterpret_cast<DllUnregisterServerFn>(lib_.resolve("DllUnregisterServer"));
        get_ = reinterpret_cast<DllGetClassObjectFn>(lib_.resolve("DllGetClassObject"));
        can_unload_ = reinterpret_cast<DllCanUnloadNowFn>(lib_.resolve("DllCanUnloadNow"));
        QVERIFY(reg_ && unreg_ && get_ && can_unload_);
        // Nothing registers itself at load.
        QVERIFY(!QFile::exists(registry::file()));
    }

    void init() { QFile::remove(registry::file()); }

    void cleanup() { QCOMPARE(can_unload_(), S_OK); }

    void registered_entries_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value"); // "<path>" stands for the library's file
        const QString progid = kCtrlProgID;
        QTest::newRow("control type name") << kCtrlKey << ""
                                           << "Brantix Control";
        QTest::newRow("control server") << kCtrlKey + "\\InprocServer32"
                                        << ""
                                        << "<path>";
        QTest::newRow("apartment") << kCtrlKey + "\\InprocServer32"
                                   << "ThreadingModel"
                                   << "Apartment";
        QTest::newRow("control progid") << kCtrlKey + "\\ProgID"
                                        << "" << progid;
        QTest::newRow("misc status") << kCtrlKey + "\\MiscStatus\\1"
                                     << "" << QString::number(0x20191);
        QTest::newRow("toolbox bitmap") << kCtrlKey + "\\ToolboxBitmap32"
                                        << ""
                                        << "<path>, 1";
        QTest::newRow("control typelib") << kCtrlKey + "\\TypeLib"
                                         << "" << to_string(LIBID_BrantixLib);
        QTest::newRow("control version") << kCtrlKey + "\\Version"
                                         << ""
                                         << "1.0";
        QTest::newRow("progid class") << progid + "\\CLSID"
                                      << "" << to_string(CLSID_Brantix);
        QTest::newRow("not insertable") << kCtrlKey + "\\Insertable"
                                        << ""
                                        << "<none>";
        QTest::newRow("page type name") << kPageKey << ""
                                        << "Brantix Property Page";
        QTest::newRow("page server") << kPageKey + "\\InprocServer32"
                                     << ""
                                     << "<path>";
        QTest::newRow("page has no progid") << kPageKey + "\\ProgID"
                                            << ""
                                            << "<none>";
        QTest::newRow("page progid not registered") << QString(kPageProgID) + "\\CLSID"
                                                    << ""
                                                    << "<none>";
        QTest::newRow("library") << kLibKey + "\\1.0"
                                 << ""
                                 << "Brantix ActiveX Control module";
        QTest::newRow("library file") << kLibKey + "\\1.0\\0\\linux"
                                      << ""
                                      << "<path>";
        QTest::newRow("dispatch interface") << "Interface\\" + to_string(IID_DBrantix) << ""
                                            << "_DBrantix";
        QTest::newRow("event interface") << "Interface\\" + to_string(IID_DBrantixEvents) << ""
                                         << "_DBrantixEvents";
    }

    void registered_entries() {
        QFETCH(QString, key);
        QFETCH(QString, name);
        QFETCH(QString, value);
        QCOMPARE(reg_(), S_OK);
        QCOMPARE(reg_value(key, name), QString(value).replace("<path>", path_));
    }

    void unregister_removes_everything() {
        QCOMPARE(reg_(), S_OK);
        QCOMPARE(unreg_(), S_OK);
        for (const QString& key :
             {kCtrlKey, kPageKey, QString(kCtrlProgID), kLibKey, "Interface\\" + to_string(IID_DBrantix),
              "Interface\\" + to_string(IID_DBrantixEvents)})
            QVERIFY2(!key_exists(key), qPrintable(key));
        // A second unregistration finds no type library and touches nothing.
        QCOMPARE(unreg_(), SELFREG_E_TYPELIB);
    }

    void type_library_failures() {
        // An unwritable registry: the type library fails first and no class is written.
        QDir().mkpath(registry::file());
        QCOMPARE(reg_(), SELFREG_E_TYPELIB);
        QDir().rmdir(registry::file());
        QVERIFY(!key_exists(kCtrlKey));

        // Unregistering with the type library gone leaves the classes alone.
        QCOMPARE(reg_(), S_OK);
        QCOMPARE(registry::DeleteTree(registry::HKEY_CLASSES_ROOT, kLibKey), long(registry::ERROR_SUCCESS));
        QCOMPARE(unreg_(), SELFREG_E_TYPELIB);
        QVERIFY(key_exists(kCtrlKey));
        QVERIFY(key_exists(kPageKey));
    }

    void class_objects() {
        void* p = reinterpret_cast<void*>(1);
        QCOMPARE(get_(guid("00000000-0000-0000-0000-000000000001"), IID_IClassFactory, &p),
                 CLASS_E_CLASSNOTAVAILABLE);
        QVERIFY(!p);
        QCOMPARE(get_(CLSID_Brantix, IID_IClassFactory, &p), S_OK);
        auto* f = static_cast<IClassFactory*>(p);
        QCOMPARE(can_unload_(), S_FALSE); // a held factory keeps the library

        void* c = nullptr;
        Sink outer(IID_IUnknown);
        QCOMPARE(f->CreateInstance(&outer, IID_IUnknown, &c), CLASS_E_NOAGGREGATION);
        QCOMPARE(f->CreateInstance(nullptr, IID_IPropertyPage, &c), E_NOINTERFACE);
        QVERIFY(!c);
        QCOMPARE(f->CreateInstance(nullptr, IID_DBrantix, &c), S_OK);
        f->Release();
        QCOMPARE(can_unload_(), S_FALSE); // a live control keeps it
        auto* ctrl = static_cast<IDispatch*>(c);
        auto* persist = query<IPersist>(ctrl, IID_IPersist);
        QVERIFY(persist);
        CLSID clsid;
        QCOMPARE(persist->GetClassID(&clsid), S_OK);
        QVERIFY(clsid == CLSID_Brantix);
        persist->Release();
        auto* ole = query<IOleObject>(ctrl, IID_IOleObject);
        DWORD misc = 0;
        QString type;
        ole->GetMiscStatus(DVASPECT_CONTENT, &misc);
        ole->GetUserType(&type);
        QCOMPARE(misc, DWORD(0x20191));
        QCOMPARE(type, QString("Brantix Control"));
        ole->Release();
        ctrl->Release();
        QCOMPARE(can_unload_(), S_OK);

        // Server locks count until released; a release without a lock does not count down.
        QCOMPARE(get_(CLSID_BrantixPropPage, IID_IClassFactory, &p), S_OK);
        f = static_cast<IClassFactory*>(p);
        QCOMPARE(f->LockServer(true), S_OK);
        f->Release();
        QCOMPARE(can_unload_(), S_FALSE);
        QCOMPARE(f->LockServer(false), S_OK);
        QCOMPARE(f->LockServer(false), E_UNEXPECTED);
        QCOMPARE(can_unload_(), S_OK);
    }

    void dispatch_by_name_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("dispid");
        QTest::addColumn<int>("hr");
        QTest::newRow("AboutBox") << "AboutBox" << int(dispidAboutBox) << int(S_OK);
        QTest::newRow("DoIt") << "DoIt" << int(dispidDoIt) << int(S_OK);
        QTest::newRow("any case") << "doit" << int(dispidDoIt) << int(S_OK);
        QTest::newRow("unknown") << "NotifyVB" << int(MEMBERID_NIL) << int(DISP_E_UNKNOWNNAME);
    }

    void dispatch_by_name() {
        QFETCH(QString, name);
        QFETCH(int, dispid);
        QFETCH(int, hr);
        IDispatch* ctrl = create_control();
        QVERIFY(ctrl);
        DISPID id = 0;
        QCOMPARE(int(ctrl->GetIDsOfNames(IID_IUnknown, &name, 1, 0, &id)), hr);
        QCOMPARE(int(id), dispid);
        ctrl->Release();
    }

    void doit_fires_notifyvb() {
        IDispatch* ctrl = create_control();
        auto* cpc = query<IConnectionPointContainer>(ctrl, IID_IConnectionPointContainer);
        IConnectionPoint* cp = nullptr;
        QCOMPARE(cpc->FindConnectionPoint(IID_DBrantix, &cp), CONNECT_E_NOCONNECTION);
        QCOMPARE(cpc->FindConnectionPoint(IID_DBrantixEvents, &cp), S_OK);
        cpc->Release();

        Sink wrong(IID_IDispatch);
        DWORD cookie = 0;
        QCOMPARE(cp->Advise(&wrong, &cookie), CONNECT_E_CANNOTCONNECT);
        Sink sink(IID_DBrantixEvents), other(IID_DBrantixEvents);
        DWORD other_cookie = 0;
        QCOMPARE(cp->Advise(&sink, &cookie), S_OK);
        QCOMPARE(cp->Advise(&other, &other_cookie), S_OK);
        // The second sink disconnects itself while it is told.
        other.on_event = [&] { cp->Unadvise(other_cookie); };

        QCOMPARE(call(ctrl, dispidDoIt), S_OK);
        QCOMPARE(sink.calls, QList<DISPID>{eventidNotifyVB});
        QCOMPARE(sink.args, QList<int>{0});
        QCOMPARE(other.calls.size(), 1);
        QCOMPARE(call(ctrl, dispidDoIt, 1), DISP_E_BADPARAMCOUNT);
        QCOMPARE(call(ctrl, 12345), DISP_E_MEMBERNOTFOUND);
        QCOMPARE(call(ctrl, dispidDoIt), S_OK);
        QCOMPARE(sink.calls.size(), 2);
        QCOMPARE(other.calls.size(), 1);

        QCOMPARE(cp->Unadvise(cookie), S_OK);
        QCOMPARE(cp->Unadvise(cookie), CONNECT_E_NOCONNECTION);
        QCOMPARE(call(ctrl, dispidDoIt), S_OK);
        QCOMPARE(sink.calls.size(), 2);
        QCOMPARE(sink.refs, ULONG(0));
        QCOMPARE(other.refs, ULONG(0));
        cp->Release();
        ctrl->Release();
    }

    void about_box() {
        IDispatch* ctrl = create_control();
        QString title;
        QStringList texts;
        on_modal(
            [&texts](QWidget* w) {
                for (QLabel* l : w->findChildren<QLabel*>())
                    texts << l->text();
                for (QPushButton* b : w->findChildren<QPushButton*>())
                    if (b->text() == "OK") b->click();
            },
            &title);
        QCOMPARE(call(ctrl, dispidAboutBox), S_OK);
        QCOMPARE(title, QString("About Brantix Control"));
        QVERIFY(texts.contains("Brantix Control, Version 1.0"));
        ctrl->Release();
    }

    void type_info() {
        IDispatch* ctrl = create_control();
        unsigned count = 0;
        ctrl->GetTypeInfoCount(&count);
        QCOMPARE(count, 1u);
        ITypeInfo* info = nullptr;
        QCOMPARE(ctrl->GetTypeInfo(0, 0x409, &info), TYPE_E_LIBNOTREGISTERED);
        QCOMPARE(reg_(), S_OK);
        QCOMPARE(ctrl->GetTypeInfo(0, 0x409, &info), S_OK);
        QString name, doc;
        info->GetDocumentation(MEMBERID_NIL, &name, &doc);
        QCOMPARE(name, QString("_DBrantix"));
        QCOMPARE(doc, QString("Dispatch interface for Brantix Control"));
        QStringList funcs;
        FUNCDESC f;
        for (unsigned i = 0; SUCCEEDED(info->GetFuncDesc(i, &f)); ++i)
            funcs << QString("%1=%2").arg(f.name).arg(f.memid);
        QCOMPARE(funcs, (QStringList{"AboutBox=-552", "DoIt=-804"}));

        // A container finds the event interface through the control's class.
        auto* pci = query<IProvideClassInfo>(ctrl, IID_IProvideClassInfo);
        QVERIFY(pci);
        ITypeInfo* cls = nullptr;
        QCOMPARE(pci->GetClassInfo(&cls), S_OK);
        pci->Release();
        TYPEATTR attr;
        cls->GetTypeAttr(&attr);
        QVERIFY(attr.guid == CLSID_Brantix);
        QCOMPARE(attr.typekind, TKIND_COCLASS);
        ITypeInfo* events = nullptr;
        for (unsigned i = 0; i < attr.cImplTypes; ++i) {
            GUID iid;
            int flags = 0;
            cls->GetRefTypeOfImplType(i, &iid, &flags);
            if (flags == (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE))
                QCOMPARE(cls->GetRefTypeInfo(iid, &events), S_OK);
        }
        cls->Release();
        QVERIFY(events);
        events->GetDocumentation(MEMBERID_NIL, &name, &doc);
        QCOMPARE(name, QString("_DBrantixEvents"));
        QCOMPARE(events->GetFuncDesc(0, &f), S_OK);
        QCOMPARE(f.name, QString("NotifyVB"));
        QCOMPARE(int(f.memid), int(eventidNotifyVB));
        events->Release();
        ctrl->Release();
        QCOMPARE(can_unload_(), S_FALSE); // the caller's type info keeps the library
        info->Release();
    }

    void property_pages() {
        IDispatch* ctrl = create_control();
        auto* spp = query<ISpecifyPropertyPages>(ctrl, IID_ISpecifyPropertyPages);
        for (int round = 0; round < 2; ++round) {
            CAUUID pages;
            QCOMPARE(spp->GetPages(&pages), S_OK);
            QCOMPARE(pages.cElems, ULONG(1));
            QVERIFY(pages.pElems[0] == CLSID_BrantixPropPage);
            std::free(pages.pElems);
        }
        spp->Release();

        // The page as a container's property frame would show it.
        void* p = nullptr;
        QCOMPARE(get_(CLSID_BrantixPropPage, IID_IClassFactory, &p), S_OK);
        auto* f = static_cast<IClassFactory*>(p);
        QCOMPARE(f->CreateInstance(nullptr, IID_IPropertyPage, &p), S_OK);
        f->Release();
        auto* page = static_cast<IPropertyPage*>(p);
        auto* page_persist = query<IPersist>(page, IID_IPersist);
        QVERIFY(page_persist);
        CLSID page_clsid;
        QCOMPARE(page_persist->GetClassID(&page_clsid), S_OK);
        QVERIFY(page_clsid == CLSID_BrantixPropPage);
        page_persist->Release();
        PROPPAGEINFO info;
        page->GetPageInfo(&info);
        QCOMPARE(info.title, QString("General"));
        IUnknown* objects[] = {ctrl};
        QCOMPARE(page->SetObjects(1, objects), S_OK);
        QWidget holder;
        QCOMPARE(page->Activate(&holder, QRect(QPoint(), info.size), true), S_OK);
        QCOMPARE(holder.findChildren<QLabel*>().size(), 1);
        QCOMPARE(page->Apply(), S_OK);
        page->Deactivate();
        page->Release();

        // The "Properties" verb opens the same page in a modal frame.
        auto* ole = query<IOleObject>(ctrl, IID_IOleObject);
        QString title;
        QStringList tabs;
        on_modal(
            [&tabs](QWidget* w) {
                if (auto* t = w->findChild<QTabWidget*>())
                    for (int i = 0; i < t->count(); ++i)
                        tabs << t->tabText(i);
                if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
            },
            &title);
        QCOMPARE(ole->DoVerb(OLEIVERB_PROPERTIES, nullptr), S_OK);
        QCOMPARE(tabs, QStringList{"General"});
        ole->Release();
        ctrl->Release();
    }

    void draw_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("square") << QSize(40, 40);
        QTest::newRow("wide") << QSize(201, 37);
        QTest::newRow("tall") << QSize(9, 300);
        QTest::newRow("one pixel wide") << QSize(1, 30);
        QTest::newRow("one pixel tall") << QSize(30, 1);
        QTest::newRow("one pixel") << QSize(1, 1);
    }

    void draw() {
        QFETCH(QSize, size);
        const bool thin = size.width() == 1 || size.height() == 1;
        IDispatch* ctrl = create_control();
        auto* view = query<IViewObject>(ctrl, IID_IViewObject);
        QCOMPARE(view->Draw(DVASPECT_CONTENT, nullptr, QRect(QPoint(), size)), S_OK);
        // Drawn with an offset into a red picture: nothing outside the rectangle changes.
        QImage image(size + QSize(20, 20), QImage::Format_RGB32);
        image.fill(Qt::red);
        const QRect bounds(QPoint(10, 10), size);
        {
            QPainter painter(&image);
            view->Draw(DVASPECT_CONTENT, &painter, bounds);
        }
        view->Release();
        ctrl->Release();
        auto at = [&](int x, int y) { return QColor(image.pixel(x, y)); };
        for (int y = bounds.top(); y <= bounds.bottom(); ++y)
            for (int x = bounds.left(); x <= bounds.right(); ++x)
                QVERIFY(at(x, y) == QColor(Qt::white) || at(x, y) == QColor(Qt::black));
        QCOMPARE(at(bounds.left() - 1, bounds.top()), QColor(Qt::red));
        QCOMPARE(at(bounds.right() + 1, bounds.bottom()), QColor(Qt::red));
        QCOMPARE(at(bounds.left(), bounds.top() - 1), QColor(Qt::red));
        QCOMPARE(at(bounds.right(), bounds.bottom() + 1), QColor(Qt::red));
        if (thin) {
            // The outline is the line along the rectangle.
            QCOMPARE(at(bounds.left(), bounds.top()), QColor(Qt::black));
            QCOMPARE(at(bounds.right(), bounds.bottom()), QColor(Qt::black));
            return;
        }
        QCOMPARE(at(bounds.left(), bounds.top()), QColor(Qt::white));
        QCOMPARE(at(bounds.right(), bounds.bottom()), QColor(Qt::white));
        QCOMPARE(at(bounds.center().x(), bounds.center().y()), QColor(Qt::white));
        QCOMPARE(at(bounds.left() - 1, bounds.top()), QColor(Qt::red));
        QCOMPARE(at(bounds.right() + 1, bounds.bottom()), QColor(Qt::red));
        // The ellipse touches each side.
        auto touches = [&](bool vertical, int line) {
            for (int i = vertical ? bounds.top() : bounds.left();
                 i <= (vertical ? bounds.bottom() : bounds.right()); ++i)
                if (at(vertical ? line : i, vertical ? i : line) == QColor(Qt::black)) return true;
            return false;
        };
        QVERIFY(touches(true, bounds.left()));
        QVERIFY(touches(true, bounds.right()));
        QVERIFY(touches(false, bounds.top()));
        QVERIFY(touches(false, bounds.bottom()));
    }

    // A damaged registry file is set aside, never overwritten; registration then goes on in a
    // new file.
    void damaged_registry_survives_registration() {
        const QByteArray garbage = "{\"keys\": [ {\"path\": \"HKEY_CLASSES_ROOT\\\\x\"";
        {
            QFile f(registry::file());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(garbage);
        }
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not be read and was set aside"));
        QCOMPARE(reg_(), S_OK);
        const QString aside = registry::file() + ".damaged";
        QFile kept(aside);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), garbage);
        QCOMPARE(reg_value(kCtrlKey), QString("Brantix Control"));
        QCOMPARE(unreg_(), S_OK);
        QFile::remove(aside);
    }

    // Controls made and released on four threads at once, each on its own thread.
    void controls_on_four_threads() {
        QCOMPARE(reg_(), S_OK);
        std::atomic<int> failures = 0;
        auto work = [&] {
            for (int i = 0; i < 300; ++i) {
                IDispatch* ctrl = create_control();
                if (!ctrl) {
                    ++failures;
                    continue;
                }
                ITypeInfo* info = nullptr;
                if (SUCCEEDED(ctrl->GetTypeInfo(0, 0, &info)))
                    info->Release();
                else
                    ++failures;
                auto* spp = query<ISpecifyPropertyPages>(ctrl, IID_ISpecifyPropertyPages);
                CAUUID pages;
                if (spp->GetPages(&pages) != S_OK || pages.cElems != 1) ++failures;
                std::free(pages.pElems);
                spp->Release();
                ctrl->Release();
            }
        };
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back(work);
        for (std::thread& t : threads)
            t.join();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(can_unload_(), S_OK);
    }

    // A host without a QApplication gets an error instead of being aborted.
    void host_without_application() {
        QProcess host;
        host.start(QCoreApplication::applicationFilePath(), {"--bare-host", path_});
        QVERIFY(host.waitForFinished(60000));
        QCOMPARE(QString::fromLatin1(host.readAllStandardOutput()).trimmed(),
                 QString("AboutBox %1 Properties %1 GetPageInfo %1 Activate %1 unload %2")
                     .arg(E_UNEXPECTED)
                     .arg(S_OK));
        QCOMPARE(host.exitCode(), 0);
    }

    void saved_data_carry_the_version_only() {
        IDispatch* ctrl = create_control();
        auto* persist = query<IPersistPropertyBag>(ctrl, IID_IPersistPropertyBag);
        Bag bag;
        QCOMPARE(persist->Save(&bag), S_OK);
        QCOMPARE(bag.values, (QMap<QString, std::int32_t>{{"_Version", 0x00010000}}));
        QCOMPARE(persist->Load(&bag), S_OK);
        Bag again;
        persist->Save(&again);
        QCOMPARE(again.values, bag.values);
        persist->Release();
        ctrl->Release();
    }
};

// A container process with no QApplication: loads the library, asks for everything that would
// show a window and prints the results.
int bare_host(const QString& path) {
    QLibrary lib(path);
    if (!lib.load()) return 2;
    auto get = reinterpret_cast<DllGetClassObjectFn>(lib.resolve("DllGetClassObject"));
    auto can_unload = reinterpret_cast<DllCanUnloadNowFn>(lib.resolve("DllCanUnloadNow"));
    if (!get || !can_unload) return 3;
    auto make = [&](const CLSID& clsid, const IID& iid) -> void* {
        void* p = nullptr;
        if (FAILED(get(clsid, IID_IClassFactory, &p))) return nullptr;
        auto* f = static_cast<IClassFactory*>(p);
        void* o = nullptr;
        f->CreateInstance(nullptr, iid, &o);
        f->Release();
        return o;
    };
    auto* ctrl = static_cast<IDispatch*>(make(CLSID_Brantix, IID_DBrantix));
    auto* page = static_cast<IPropertyPage*>(make(CLSID_BrantixPropPage, IID_IPropertyPage));
    if (!ctrl || !page) return 4;
    DISPPARAMS none;
    const HRESULT about = ctrl->Invoke(dispidAboutBox, IID_IUnknown, 0, DISPATCH_METHOD, &none, nullptr);
    auto* ole = query<IOleObject>(ctrl, IID_IOleObject);
    const HRESULT props = ole->DoVerb(OLEIVERB_PROPERTIES, nullptr);
    ole->Release();
    PROPPAGEINFO info;
    const HRESULT page_info = page->GetPageInfo(&info);
    const HRESULT activate = page->Activate(nullptr, QRect(0, 0, 10, 10), true);
    page->Release();
    ctrl->Release();
    std::printf("AboutBox %ld Properties %ld GetPageInfo %ld Activate %ld unload %ld\n", long(about),
                long(props), long(page_info), long(activate), long(can_unload()));
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--bare-host") return bare_host(QString::fromLocal8Bit(argv[2]));
    TestBrantix tc;
    return testsupport::run_tests(argc, argv, &tc);
}
#include "test_brantix.moc"

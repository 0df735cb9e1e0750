#pragma once
// The binary contract between a control library and its containers: identifiers, result codes
// and the interfaces, each a table of virtual functions with reference counting. Containers
// include this header alone; everything else of the framework stays inside the library.
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>

class QPainter;
class QWidget;

namespace com {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using DISPID = std::int32_t;
using LCID = std::uint32_t;

constexpr HRESULT make_hr(std::uint32_t v) {
    return static_cast<HRESULT>(v);
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = make_hr(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = make_hr(0x80004002);
inline constexpr HRESULT E_POINTER = make_hr(0x80004003);
inline constexpr HRESULT E_FAIL = make_hr(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = make_hr(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = make_hr(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = make_hr(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = make_hr(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = make_hr(0x80040111);
inline constexpr HRESULT SELFREG_E_TYPELIB = make_hr(0x80040200);
inline constexpr HRESULT SELFREG_E_CLASS = make_hr(0x80040201);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = make_hr(0x80040200);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = make_hr(0x80040202);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = make_hr(0x80020003);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = make_hr(0x80020006);
inline constexpr HRESULT DISP_E_BADINDEX = make_hr(0x8002000B);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = make_hr(0x8002000E);
inline constexpr HRESULT TYPE_E_REGISTRYACCESS = make_hr(0x8002801C);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = make_hr(0x8002801D);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = make_hr(0x8002802B);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = make_hr(0x80029C4A);

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i]) return false;
        return true;
    }
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;

namespace detail {
constexpr std::uint32_t hex(const char* s, int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        const char c = s[i];
        v = v * 16 + static_cast<std::uint32_t>(c >= 'a' ? c - 'a' + 10 : c >= 'A' ? c - 'A' + 10 : c - '0');
    }
    return v;
}
} // namespace detail

// A GUID from its text "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (no braces).
constexpr GUID guid(const char (&s)[37]) {
    GUID g;
    g.Data1 = detail::hex(s, 8);
    g.Data2 = static_cast<std::uint16_t>(detail::hex(s + 9, 4));
    g.Data3 = static_cast<std::uint16_t>(detail::hex(s + 14, 4));
    g.Data4[0] = static_cast<std::uint8_t>(detail::hex(s + 19, 2));
    g.Data4[1] = static_cast<std::uint8_t>(detail::hex(s + 21, 2));
    for (int i = 0; i < 6; ++i)
        g.Data4[2 + i] = static_cast<std::uint8_t>(detail::hex(s + 24 + 2 * i, 2));
    return g;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, as registry keys spell it.
inline QString to_string(const GUID& g) {
    auto h = [](std::uint32_t v, int width) { return QString::number(v, 16).rightJustified(width, u'0'); };
    QString s = u'{' + h(g.Data1, 8) + u'-' + h(g.Data2, 4) + u'-' + h(g.Data3, 4) + u'-' + h(g.Data4[0], 2) +
                h(g.Data4[1], 2) + u'-';
    for (int i = 2; i < 8; ++i)
        s += h(g.Data4[i], 2);
    return (s + u'}').toUpper();
}

inline constexpr IID IID_IUnknown = guid("00000000-0000-0000-C000-000000000046");
inline constexpr IID IID_IClassFactory = guid("00000001-0000-0000-C000-000000000046");
inline constexpr IID IID_IDispatch = guid("00020400-0000-0000-C000-000000000046");
inline constexpr IID IID_ITypeInfo = guid("00020401-0000-0000-C000-000000000046");
inline constexpr IID IID_ITypeLib = guid("00020402-0000-0000-C000-000000000046");
inline constexpr IID IID_IPersist = guid("0000010C-0000-0000-C000-000000000046");
inline constexpr IID IID_IProvideClassInfo = guid("B196B283-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_IViewObject = guid("0000010D-0000-0000-C000-000000000046");
inline constexpr IID IID_IOleObject = guid("00000112-0000-0000-C000-000000000046");
inline constexpr IID IID_IConnectionPointContainer = guid("B196B284-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_IConnectionPoint = guid("B196B286-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_ISpecifyPropertyPages = guid("B196B28B-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_IPropertyPage = guid("B196B28D-BAB4-101A-B69C-00AA00341D07");
inline constexpr IID IID_IPersistPropertyBag = guid("37D84F60-42CB-11CE-8135-00AA004BB851");
inline constexpr IID IID_IPropertyBag = guid("55272A00-42CB-11CE-8135-00AA004BB851");
// The standard marshaller of dispatch interfaces, named in the registration of interfaces.
inline constexpr CLSID CLSID_PSDispatch = guid("00020420-0000-0000-C000-000000000046");

// Values passed to and from dispatch calls and property bags.
enum VARTYPE : std::uint16_t { VT_EMPTY = 0, VT_I4 = 3, VT_BSTR = 8 };
struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    std::int32_t lVal = 0;
    QString bstrVal;
};
struct DISPPARAMS {
    VARIANT* rgvarg = nullptr;
    unsigned cArgs = 0;
};
inline constexpr std::uint16_t DISPATCH_METHOD = 1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUT = 4;
inline constexpr DISPID MEMBERID_NIL = -1;
inline constexpr DISPID DISPID_ABOUTBOX = -552;

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
    virtual HRESULT LockServer(bool lock) = 0;

protected:
    ~IClassFactory() = default;
};

enum TYPEKIND { TKIND_DISPATCH = 4, TKIND_COCLASS = 5 };
inline constexpr int IMPLTYPEFLAG_FDEFAULT = 1;
inline constexpr int IMPLTYPEFLAG_FSOURCE = 2;

struct TYPEATTR {
    GUID guid;
    TYPEKIND typekind = TKIND_DISPATCH;
    std::uint16_t cFuncs = 0;
    std::uint16_t cImplTypes = 0;
};
struct FUNCDESC {
    DISPID memid = MEMBERID_NIL;
    QString name;
};
struct TLIBATTR {
    GUID guid;
    LCID lcid = 0;
    std::uint16_t wMajorVerNum = 0;
    std::uint16_t wMinorVerNum = 0;
};

struct ITypeInfo : IUnknown {
    virtual HRESULT GetTypeAttr(TYPEATTR* attr) = 0;
    // MEMBERID_NIL names the type itself.
    virtual HRESULT GetDocumentation(DISPID memid, QString* name, QString* doc) = 0;
    virtual HRESULT GetFuncDesc(unsigned index, FUNCDESC* desc) = 0;
    virtual HRESULT GetRefTypeOfImplType(unsigned index, GUID* iid, int* impl_flags) = 0;
    // The type information of a type this one refers to (an interface a class implements), in
    // the same library.
    virtual HRESULT GetRefTypeInfo(const GUID& iid, ITypeInfo** info) = 0;

protected:
    ~ITypeInfo() = default;
};

struct ITypeLib : IUnknown {
    virtual unsigned GetTypeInfoCount() = 0;
    virtual HRESULT GetTypeInfo(unsigned index, ITypeInfo** info) = 0;
    virtual HRESULT GetTypeInfoOfGuid(const GUID& guid, ITypeInfo** info) = 0;
    virtual HRESULT GetLibAttr(TLIBATTR* attr) = 0;
    // index -1 documents the library itself.
    virtual HRESULT GetDocumentation(int index, QString* name, QString* doc, QString* help_file) = 0;

protected:
    ~ITypeLib() = default;
};

struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(unsigned* count) = 0;
    virtual HRESULT GetTypeInfo(unsigned index, LCID lcid, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID reserved, const QString* names, unsigned count, LCID lcid,
                                  DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID id, REFIID reserved, LCID lcid, std::uint16_t flags, DISPPARAMS* params,
                           VARIANT* result) = 0;

protected:
    ~IDispatch() = default;
};

struct IConnectionPoint : IUnknown {
    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    // The sink is asked for the connection interface; the cookie names the connection.
    virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
    virtual HRESULT Unadvise(DWORD cookie) = 0;

protected:
    ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
    virtual HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

struct IPersist : IUnknown {
    virtual HRESULT GetClassID(CLSID* clsid) = 0;

protected:
    ~IPersist() = default;
};

// The type information of an object's class (its coclass), through which a container finds the
// interfaces the object implements and the one it raises its events through.
struct IProvideClassInfo : IUnknown {
    virtual HRESULT GetClassInfo(ITypeInfo** info) = 0;

protected:
    ~IProvideClassInfo() = default;
};

struct IPropertyBag : IUnknown {
    // A missing name is E_INVALIDARG.
    virtual HRESULT Read(const QString& name, VARIANT* value) = 0;
    virtual HRESULT Write(const QString& name, const VARIANT& value) = 0;

protected:
    ~IPropertyBag() = default;
};

struct IPersistPropertyBag : IPersist {
    virtual HRESULT InitNew() = 0;
    virtual HRESULT Load(IPropertyBag* bag) = 0;
    virtual HRESULT Save(IPropertyBag* bag) = 0;

protected:
    ~IPersistPropertyBag() = default;
};

// A counted array of GUIDs; the callee allocates pElems with std::malloc, the caller frees it
// with std::free.
struct CAUUID {
    ULONG cElems = 0;
    GUID* pElems = nullptr;
};

struct ISpecifyPropertyPages : IUnknown {
    virtual HRESULT GetPages(CAUUID* pages) = 0;

protected:
    ~ISpecifyPropertyPages() = default;
};

inline constexpr std::int32_t OLEIVERB_PROPERTIES = -7;
inline constexpr DWORD DVASPECT_CONTENT = 1;
inline constexpr DWORD OLEMISC_RECOMPOSEONRESIZE = 0x1;
inline constexpr DWORD OLEMISC_CANTLINKINSIDE = 0x10;
inline constexpr DWORD OLEMISC_INSIDEOUT = 0x80;
inline constexpr DWORD OLEMISC_ACTIVATEWHENVISIBLE = 0x100;
inline constexpr DWORD OLEMISC_SETCLIENTSITEFIRST = 0x20000;

struct IOleObject : IUnknown {
    // `parent` is the container's window for whatever the verb shows (may be null).
    virtual HRESULT DoVerb(std::int32_t verb, QWidget* parent) = 0;
    virtual HRESULT GetUserClassID(CLSID* clsid) = 0;
    virtual HRESULT GetUserType(QString* name) = 0;
    virtual HRESULT GetMiscStatus(DWORD aspect, DWORD* status) = 0;

protected:
    ~IOleObject() = default;
};

struct IViewObject : IUnknown {
    // Draws the object into `bounds` of the painter's device; a null painter draws nothing.
    virtual HRESULT Draw(DWORD aspect, QPainter* painter, const QRect& bounds) = 0;

protected:
    ~IViewObject() = default;
};

struct PROPPAGEINFO {
    QString title;
    QSize size;
};

struct IPropertyPage : IUnknown {
    virtual HRESULT GetPageInfo(PROPPAGEINFO* info) = 0;
    virtual HRESULT SetObjects(ULONG count, IUnknown** objects) = 0;
    // Builds the page as a child of `parent` at `rect`.
    virtual HRESULT Activate(QWidget* parent, const QRect& rect, bool modal) = 0;
    virtual HRESULT Deactivate() = 0;
    virtual HRESULT Show(bool visible) = 0;
    virtual HRESULT IsPageDirty() = 0;
    virtual HRESULT Apply() = 0;

protected:
    ~IPropertyPage() = default;
};

// The four entry points of a control library.
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
using DllCanUnloadNowFn = HRESULT (*)();

} // namespace com

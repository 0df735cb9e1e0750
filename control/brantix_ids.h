#pragma once
// Identifiers of the Brantix library: what containers and registration tools see.
#include "control/framework/com.h"

namespace brantix {

inline constexpr com::GUID LIBID_BrantixLib = com::guid("585AFA0A-B0AF-419E-A6A2-C28840448901");
inline constexpr std::uint16_t kLibVerMajor = 1;
inline constexpr std::uint16_t kLibVerMinor = 0;

inline constexpr com::CLSID CLSID_Brantix = com::guid("5BDA0005-1D58-46C0-8D2E-762B2FB35A00");
inline constexpr const char* kCtrlProgID = "BRANTIX.BrantixCtrl.1";

inline constexpr com::CLSID CLSID_BrantixPropPage = com::guid("83DA0D71-320B-40C9-9681-E5FA75358FE8");
inline constexpr const char* kPageProgID = "BRANTIX.BrantixPropPage.1";

inline constexpr com::IID IID_DBrantix = com::guid("DF6005A0-FCE7-4878-846A-F663A09CC1D1");
inline constexpr com::IID IID_DBrantixEvents = com::guid("4C35AA26-2B92-47D8-A769-A26B059E24E9");

// Dispatch ids of `_DBrantix` and `_DBrantixEvents`.
inline constexpr com::DISPID dispidAboutBox = -552;
inline constexpr com::DISPID dispidDoIt = -804;
inline constexpr com::DISPID eventidNotifyVB = 1;

// Activate when visible, set client site first, inside-out, can't link inside, recompose on resize.
inline constexpr com::DWORD kMiscStatus = com::OLEMISC_ACTIVATEWHENVISIBLE | com::OLEMISC_SETCLIENTSITEFIRST |
                                          com::OLEMISC_INSIDEOUT | com::OLEMISC_CANTLINKINSIDE |
                                          com::OLEMISC_RECOMPOSEONRESIZE;
static_assert(kMiscStatus == 0x20191);

} // namespace brantix

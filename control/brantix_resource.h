#pragma once
// Resource numbers of the Brantix library.
#include "control/framework/module.h"

namespace brantix {

inline constexpr int IDS_BRANTIX = 1;     // type name of the control
inline constexpr int IDS_BRANTIX_PPG = 2; // type name of the page
inline constexpr int IDS_BRANTIX_PPG_CAPTION = 200;
inline constexpr int IDD_ABOUTBOX_BRANTIX = 1;
inline constexpr int IDD_PROPPAGE_BRANTIX = 200;
inline constexpr int IDB_BRANTIX = 1; // toolbox bitmap
inline constexpr int IDI_ABOUTDLL = 1;
inline constexpr int kResourceLanguage = 0x0408;

// The library's resource tables.
const ctl::ControlModule::Resources& resources();

} // namespace brantix

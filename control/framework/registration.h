#pragma once
// Class registration under HKEY_CLASSES_ROOT.
//
//   CLSID\{clsid}                   default: type name
//       InprocServer32              default: the library's path; ThreadingModel when apartment
//       ProgID                      default: the ProgID (controls)
//       Control                     (controls)
//       Insertable                  (only when asked for)
//       ToolboxBitmap32             default: "<path>, <bitmap number>" (controls)
//       MiscStatus                  default: "0"; sub-key 1, default: the misc status in decimal
//       TypeLib                     default: {libid} (controls)
//       Version                     default: "major.minor" (controls)
//   <ProgID>                        default: type name; CLSID, default: {clsid}
#include "control/framework/com.h"

namespace ctl {

inline constexpr unsigned reg_insertable = 0x1;
inline constexpr unsigned reg_apartment_threading = 0x2;

struct ControlClassInfo {
    com::CLSID clsid;
    QString prog_id;
    QString type_name;
    int toolbox_bitmap;
    unsigned reg_flags;
    com::DWORD misc_status;
    com::GUID libid;
    std::uint16_t major, minor;
};

bool RegisterControlClass(const QString& module_path, const ControlClassInfo& info);
bool RegisterPropertyPageClass(const QString& module_path, const com::CLSID& clsid, const QString& type_name);
// Removes the class's keys and, when given, its ProgID's; keys already gone are no failure.
bool UnregisterClass(const com::CLSID& clsid, const QString& prog_id);

} // namespace ctl

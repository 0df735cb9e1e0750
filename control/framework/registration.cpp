#include "control/framework/registration.h"

#include "platform/registry/registry.h"

namespace ctl {

using namespace com;

namespace {

bool set(const QString& key, const QString& value, const QString& name = QString()) {
    return registry::SetString(registry::HKEY_CLASSES_ROOT, key, name, value);
}

bool add_key(const QString& key) {
    registry::HKEY k = 0;
    if (registry::CreateKey(registry::HKEY_CLASSES_ROOT, key, &k) != registry::ERROR_SUCCESS) return false;
    registry::CloseKey(k);
    return true;
}

bool remove_tree(const QString& key) {
    const long rc = registry::DeleteTree(registry::HKEY_CLASSES_ROOT, key);
    return rc == registry::ERROR_SUCCESS || rc == registry::ERROR_FILE_NOT_FOUND;
}

QString class_key(const CLSID& clsid) {
    return QStringLiteral("CLSID\\") + to_string(clsid);
}

bool register_server(const QString& key, const QString& module_path, const QString& type_name,
                     bool apartment) {
    if (module_path.isEmpty()) return false;
    const QString server = key + QStringLiteral("\\InprocServer32");
    return set(key, type_name) && set(server, module_path) &&
           (!apartment || set(server, QStringLiteral("Apartment"), QStringLiteral("ThreadingModel")));
}

} // namespace

bool RegisterControlClass(const QString& module_path, const ControlClassInfo& info) {
    const QString key = class_key(info.clsid);
    const QString clsid = to_string(info.clsid);
    bool ok = register_server(key, module_path, info.type_name, info.reg_flags & reg_apartment_threading) &&
              add_key(key + QStringLiteral("\\Control")) &&
              set(key + QStringLiteral("\\ToolboxBitmap32"),
                  QStringLiteral("%1, %2").arg(module_path).arg(info.toolbox_bitmap)) &&
              set(key + QStringLiteral("\\MiscStatus"), QStringLiteral("0")) &&
              set(key + QStringLiteral("\\MiscStatus\\1"), QString::number(info.misc_status)) &&
              set(key + QStringLiteral("\\TypeLib"), to_string(info.libid)) &&
              set(key + QStringLiteral("\\Version"), QStringLiteral("%1.%2").arg(info.major).arg(info.minor));
    if (ok && (info.reg_flags & reg_insertable)) ok = add_key(key + QStringLiteral("\\Insertable"));
    if (ok && !info.prog_id.isEmpty())
        ok = set(key + QStringLiteral("\\ProgID"), info.prog_id) && set(info.prog_id, info.type_name) &&
             set(info.prog_id + QStringLiteral("\\CLSID"), clsid);
    return ok;
}

bool RegisterPropertyPageClass(const QString& module_path, const CLSID& clsid, const QString& type_name) {
    return register_server(class_key(clsid), module_path, type_name, false);
}

bool UnregisterClass(const CLSID& clsid, const QString& prog_id) {
    bool ok = remove_tree(class_key(clsid));
    if (!prog_id.isEmpty() && !remove_tree(prog_id)) ok = false;
    return ok;
}

} // namespace ctl

#include "platform/settings/settings.h"

#include <QSettings>

namespace settings {

QString GetSetting(const QString& section, const QString& key, const QString& default_value) {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "Weyvane", "Weyvane");
    return s.value(section + "/" + key, default_value).toString();
}

void SaveSetting(const QString& section, const QString& key, const QString& value) {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "Weyvane", "Weyvane");
    s.setValue(section + "/" + key, value);
    s.sync();
}

} // namespace settings

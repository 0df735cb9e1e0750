#pragma once
// The per-user settings store: values by section and key, kept in an INI file under the XDG
// configuration folder (organisation and application "Weyvane").
#include <QString>

namespace settings {
QString GetSetting(const QString& section, const QString& key, const QString& default_value = QString());
void SaveSetting(const QString& section, const QString& key, const QString& value);
} // namespace settings

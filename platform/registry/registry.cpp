#include "platform/registry/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtEndian>
#include <mutex>
#include <optional>
#include <utility>

namespace registry {

namespace {

struct Value {
    QString name;
    int type = REG_NONE;
    QByteArray data; // as QueryValue hands it out, without the closing zero of a string
};

struct Key {
    QString path;                // full path with the root's name, in the case it was created with
    QMap<QString, Value> values; // by lower-case name
};

// The whole store, by lower-case full path.
using Store = QMap<QString, Key>;

QString file_override;
QMap<HKEY, QString> open_keys; // handle -> lower-case full path
HKEY next_handle = 1;

QString root_name(HKEY root) {
    switch (root) {
    case HKEY_CLASSES_ROOT:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case HKEY_CURRENT_USER:
        return QStringLiteral("HKEY_CURRENT_USER");
    case HKEY_LOCAL_MACHINE:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case HKEY_USERS:
        return QStringLiteral("HKEY_USERS");
    default:
        return QString();
    }
}

bool is_root(const QString& lower_path) {
    return !lower_path.contains(QLatin1Char('\\'));
}

// Full path of `sub_key` below an open key or a root; empty when the handle is unknown.
QString full_path(HKEY key, const QString& sub_key) {
    QString base = root_name(key);
    if (base.isEmpty()) {
        auto it = open_keys.constFind(key);
        if (it == open_keys.constEnd()) return QString();
        base = it.value();
    }
    QStringList parts;
    for (const QString& p : sub_key.split(QLatin1Char('\\'), Qt::SkipEmptyParts))
        parts.append(p);
    return parts.isEmpty() ? base : base + QLatin1Char('\\') + parts.join(QLatin1Char('\\'));
}

// Every call works on the file under this lock, so keys may be used from several threads.
std::recursive_mutex store_lock;

QString damage_notice;

void tell_damaged(const QString& file, const QString& aside) {
    const QString text =
        aside.isEmpty()
            ? QStringLiteral(
                  "The registry file %1 could not be read and cannot be set aside; it is left as it "
                  "is and no key is written.")
                  .arg(file)
            : QStringLiteral("The registry file %1 could not be read and was set aside as %2.")
                  .arg(file, aside);
    qWarning("%s", qPrintable(text));
    damage_notice = text;
}

// Moves a file that cannot be parsed out of the way under a new name, so that no write ever
// replaces it; empty when that failed.
QString set_aside(const QString& path) {
    QString aside = path + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QStringLiteral(".damaged-%1").arg(n);
    return QFile::rename(path, aside) ? aside : QString();
}

bool parse(const QByteArray& bytes, Store& store) {
    if (bytes.trimmed().isEmpty()) return true;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return false;
    const QJsonValue keys_value = doc.object().value("keys");
    if (!keys_value.isArray() && !keys_value.isUndefined()) return false;
    for (const QJsonValue& kv : keys_value.toArray()) {
        if (!kv.isObject()) return false;
        const QJsonObject ko = kv.toObject();
        Key k;
        k.path = ko.value("path").toString();
        if (k.path.isEmpty()) continue;
        for (const QJsonValue& vv : ko.value("values").toArray()) {
            const QJsonObject vo = vv.toObject();
            Value v;
            v.name = vo.value("name").toString();
            v.type = vo.value("type").toInt();
            if (v.type == REG_SZ) {
                v.data = vo.value("string").toString().toUtf8();
            } else if (v.type == REG_DWORD) {
                v.data.resize(4);
                qToLittleEndian<quint32>(static_cast<quint32>(vo.value("number").toDouble()), v.data.data());
            } else {
                v.data = QByteArray::fromHex(vo.value("hex").toString().toLatin1());
            }
            k.values.insert(v.name.toLower(), v);
        }
        store.insert(k.path.toLower(), k);
    }
    return true;
}

// The store as the file holds it; a missing file is an empty store. Nothing when the file exists
// but cannot be read, or could not be parsed and not be set aside: then nothing may be written.
std::optional<Store> load() {
    Store store;
    const QString path = file();
    if (!QFileInfo::exists(path)) return store;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = f.readAll();
    const bool read_ok = f.error() == QFileDevice::NoError;
    f.close();
    if (!read_ok) return std::nullopt;
    if (parse(bytes, store)) return store;
    const QString aside = set_aside(path);
    tell_damaged(path, aside);
    if (aside.isEmpty()) return std::nullopt;
    return Store();
}

bool save(const Store& store) {
    QJsonArray keys;
    for (const Key& k : store) {
        QJsonArray values;
        for (const Value& v : k.values) {
            QJsonObject vo{{"name", v.name}, {"type", v.type}};
            if (v.type == REG_SZ)
                vo.insert("string", QString::fromUtf8(v.data));
            else if (v.type == REG_DWORD && v.data.size() == 4)
                vo.insert("number", static_cast<double>(qFromLittleEndian<quint32>(v.data.constData())));
            else
                vo.insert("hex", QString::fromLatin1(v.data.toHex()));
            values.append(vo);
        }
        keys.append(QJsonObject{{"path", k.path}, {"values", values}});
    }
    QDir().mkpath(QFileInfo(file()).absolutePath());
    QSaveFile f(file());
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(QJsonDocument(QJsonObject{{"keys", keys}}).toJson());
    return f.commit();
}

bool exists(const Store& store, const QString& lower_path) {
    return is_root(lower_path) || store.contains(lower_path);
}

HKEY new_handle(const QString& lower_path) {
    const HKEY h = next_handle++;
    open_keys.insert(h, lower_path);
    return h;
}

} // namespace

QString take_damage_notice() {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    return std::exchange(damage_notice, QString());
}

void set_file(const QString& path) {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    file_override = path;
}

QString file() {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    if (!file_override.isEmpty()) return file_override;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Weyvane/registry.json");
}

long OpenKey(HKEY root, const QString& sub_key, unsigned access, HKEY* result) {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    (void)access;
    if (result) *result = 0;
    const QString path = full_path(root, sub_key);
    if (path.isEmpty()) return ERROR_INVALID_HANDLE;
    const std::optional<Store> store = load();
    if (!store) return ERROR_ACCESS_DENIED;
    if (!exists(*store, path.toLower())) return ERROR_FILE_NOT_FOUND;
    if (result) *result = new_handle(path.toLower());
    return ERROR_SUCCESS;
}

long CreateKey(HKEY root, const QString& sub_key, HKEY* result) {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    if (result) *result = 0;
    const QString path = full_path(root, sub_key);
    if (path.isEmpty()) return ERROR_INVALID_HANDLE;
    std::optional<Store> loaded = load();
    if (!loaded) return ERROR_ACCESS_DENIED;
    Store& store = *loaded;
    // Every missing key on the way down is created, keeping the case it is first given in.
    const QStringList parts = path.split(QLatin1Char('\\'));
    bool changed = false;
    QString walk = parts.first();
    for (int i = 1; i < parts.size(); ++i) {
        walk += QLatin1Char('\\') + parts[i];
        if (!store.contains(walk.toLower())) {
            store.insert(walk.toLower(), Key{walk, {}});
            changed = true;
        }
    }
    if (changed && !save(store)) return ERROR_ACCESS_DENIED;
    if (result) *result = new_handle(path.toLower());
    return ERROR_SUCCESS;
}

long CloseKey(HKEY key) {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    if (!root_name(key).isEmpty()) return ERROR_SUCCESS;
    return open_keys.remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

long QueryValue(HKEY key, const QString& name, int* type, QByteArray* data, int buffer_size) {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    const QString path = full_path(key, QString()).toLower();
    if (path.isEmpty()) return ERROR_INVALID_HANDLE;
    const std::optional<Store> loaded = load();
    if (!loaded) return ERROR_ACCESS_DENIED;
    const Store& store = *loaded;
    auto k = store.constFind(path);
    if (k == store.constEnd()) return ERROR_FILE_NOT_FOUND;
    auto v = k->values.constFind(name.toLower());
    if (v == k->values.constEnd()) return ERROR_FILE_NOT_FOUND;
    QByteArray bytes = v->data;
    if (v->type == REG_SZ) bytes.append('\0');
    if (type) *type = v->type;
    if (bytes.size() > buffer_size) return ERROR_MORE_DATA;
    if (data) *data = bytes;
    return ERROR_SUCCESS;
}

long SetValue(HKEY key, const QString& name, int type, const QByteArray& data) {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    const QString path = full_path(key, QString()).toLower();
    if (path.isEmpty()) return ERROR_INVALID_HANDLE;
    if (is_root(path)) return ERROR_INVALID_PARAMETER;
    if (type == REG_DWORD && data.size() != 4) return ERROR_INVALID_PARAMETER;
    std::optional<Store> loaded = load();
    if (!loaded) return ERROR_ACCESS_DENIED;
    Store& store = *loaded;
    auto k = store.find(path);
    if (k == store.end()) return ERROR_FILE_NOT_FOUND;
    Value v{name, type, data};
    if (type == REG_SZ) {
        const int zero = v.data.indexOf('\0');
        if (zero >= 0) v.data.truncate(zero);
    }
    k->values.insert(name.toLower(), v);
    return save(store) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

long DeleteValue(HKEY key, const QString& name) {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    const QString path = full_path(key, QString()).toLower();
    if (path.isEmpty()) return ERROR_INVALID_HANDLE;
    std::optional<Store> loaded = load();
    if (!loaded) return ERROR_ACCESS_DENIED;
    Store& store = *loaded;
    auto k = store.find(path);
    if (k == store.end() || !k->values.remove(name.toLower())) return ERROR_FILE_NOT_FOUND;
    return save(store) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

namespace {
long delete_key(HKEY root, const QString& sub_key, bool tree) {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    const QString path = full_path(root, sub_key).toLower();
    if (path.isEmpty()) return ERROR_INVALID_HANDLE;
    if (is_root(path)) return ERROR_ACCESS_DENIED;
    std::optional<Store> loaded = load();
    if (!loaded) return ERROR_ACCESS_DENIED;
    Store& store = *loaded;
    if (!store.contains(path)) return ERROR_FILE_NOT_FOUND;
    const QString prefix = path + QLatin1Char('\\');
    QStringList below;
    for (auto it = store.cbegin(); it != store.cend(); ++it)
        if (it.key().startsWith(prefix)) below.append(it.key());
    if (!below.isEmpty() && !tree) return ERROR_KEY_HAS_CHILDREN;
    for (const QString& b : below)
        store.remove(b);
    store.remove(path);
    return save(store) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}
} // namespace

long DeleteKey(HKEY root, const QString& sub_key) {
    return delete_key(root, sub_key, false);
}
long DeleteTree(HKEY root, const QString& sub_key) {
    return delete_key(root, sub_key, true);
}

QStringList SubKeyNames(HKEY key) {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    QStringList names;
    const QString path = full_path(key, QString()).toLower();
    if (path.isEmpty()) return names;
    const QString prefix = path + QLatin1Char('\\');
    const std::optional<Store> store = load();
    if (!store) return names;
    for (const Key& k : *store) {
        const QString lower = k.path.toLower();
        if (lower.startsWith(prefix) && !lower.mid(prefix.size()).contains(QLatin1Char('\\')))
            names.append(k.path.mid(prefix.size()));
    }
    return names;
}

bool SetString(HKEY root, const QString& sub_key, const QString& name, const QString& value) {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    HKEY k = 0;
    if (CreateKey(root, sub_key, &k) != ERROR_SUCCESS) return false;
    const bool ok = SetValue(k, name, REG_SZ, value.toUtf8()) == ERROR_SUCCESS;
    CloseKey(k);
    return ok;
}

bool SetDword(HKEY root, const QString& sub_key, const QString& name, uint32_t value) {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    HKEY k = 0;
    if (CreateKey(root, sub_key, &k) != ERROR_SUCCESS) return false;
    QByteArray bytes(4, '\0');
    qToLittleEndian<quint32>(value, bytes.data());
    const bool ok = SetValue(k, name, REG_DWORD, bytes) == ERROR_SUCCESS;
    CloseKey(k);
    return ok;
}

bool KeyExists(HKEY root, const QString& sub_key) {
    const std::lock_guard<std::recursive_mutex> guard(store_lock);
    const QString path = full_path(root, sub_key).toLower();
    if (path.isEmpty()) return false;
    const std::optional<Store> store = load();
    return store && exists(*store, path);
}

} // namespace registry

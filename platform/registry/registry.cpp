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

Store load() {
    Store store;
    QFile f(file());
    if (!f.open(QIODevice::ReadOnly)) return store;
    const QJsonArray keys = QJsonDocument::fromJson(f.readAll()).object().value("keys").toArray();
    for (const QJsonValue& kv : keys) {
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
    return store;
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

void set_file(const QString& path) {
    file_override = path;
}

QString file() {
    if (!file_override.isEmpty()) return file_override;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Weyvane/registry.json");
}

long OpenKey(HKEY root, const QString& sub_key, unsigned access, HKEY* result) {
    (void)access;
    if (result) *result = 0;
    const QString path = full_path(root, sub_key);
    if (path.isEmpty()) return ERROR_INVALID_HANDLE;
    if (!exists(load(), path.toLower())) return ERROR_FILE_NOT_FOUND;
    if (result) *result = new_handle(path.toLower());
    return ERROR_SUCCESS;
}

long CreateKey(HKEY root, const QString& sub_key, HKEY* result) {
    if (result) *result = 0;
    const QString path = full_path(root, sub_key);
    if (path.isEmpty()) return ERROR_INVALID_HANDLE;
    Store store = load();
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
    if (!root_name(key).isEmpty()) return ERROR_SUCCESS;
    return open_keys.remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

long QueryValue(HKEY key, const QString& name, int* type, QByteArray* data, int buffer_size) {
    const QString path = full_path(key, QString()).toLower();
    if (path.isEmpty()) return ERROR_INVALID_HANDLE;
    const Store store = load();
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
    const QString path = full_path(key, QString()).toLower();
    if (path.isEmpty()) return ERROR_INVALID_HANDLE;
    if (is_root(path)) return ERROR_INVALID_PARAMETER;
    if (type == REG_DWORD && data.size() != 4) return ERROR_INVALID_PARAMETER;
    Store store = load();
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
    const QString path = full_path(key, QString()).toLower();
    if (path.isEmpty()) return ERROR_INVALID_HANDLE;
    Store store = load();
    auto k = store.find(path);
    if (k == store.end() || !k->values.remove(name.toLower())) return ERROR_FILE_NOT_FOUND;
    return save(store) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

namespace {
long delete_key(HKEY root, const QString& sub_key, bool tree) {
    const QString path = full_path(root, sub_key).toLower();
    if (path.isEmpty()) return ERROR_INVALID_HANDLE;
    if (is_root(path)) return ERROR_ACCESS_DENIED;
    Store store = load();
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
    QStringList names;
    const QString path = full_path(key, QString()).toLower();
    if (path.isEmpty()) return names;
    const QString prefix = path + QLatin1Char('\\');
    for (const Key& k : load()) {
        const QString lower = k.path.toLower();
        if (lower.startsWith(prefix) && !lower.mid(prefix.size()).contains(QLatin1Char('\\')))
            names.append(k.path.mid(prefix.size()));
    }
    return names;
}

bool SetString(HKEY root, const QString& sub_key, const QString& name, const QString& value) {
    HKEY k = 0;
    if (CreateKey(root, sub_key, &k) != ERROR_SUCCESS) return false;
    const bool ok = SetValue(k, name, REG_SZ, value.toUtf8()) == ERROR_SUCCESS;
    CloseKey(k);
    return ok;
}

bool SetDword(HKEY root, const QString& sub_key, const QString& name, uint32_t value) {
    HKEY k = 0;
    if (CreateKey(root, sub_key, &k) != ERROR_SUCCESS) return false;
    QByteArray bytes(4, '\0');
    qToLittleEndian<quint32>(value, bytes.data());
    const bool ok = SetValue(k, name, REG_DWORD, bytes) == ERROR_SUCCESS;
    CloseKey(k);
    return ok;
}

bool KeyExists(HKEY root, const QString& sub_key) {
    const QString path = full_path(root, sub_key).toLower();
    return !path.isEmpty() && exists(load(), path);
}

} // namespace registry

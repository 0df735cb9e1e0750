#pragma once
// Registry keys with typed values, kept in one file. Keys are paths below a root, separated by
// "\", matched without regard to case, as are value names; the empty name is the key's default
// value. Values are strings or 32-bit numbers (binary data is kept as it is given).
//
// The file is JSON, written through a temporary copy and a rename, so a crash never leaves it
// half written. A file that cannot be parsed is never overwritten: it is renamed to
// "<file>.damaged" (or "<file>.damaged-N") and the registry starts empty; a file that cannot be
// read, or not be set aside, makes every call fail with ERROR_ACCESS_DENIED. By default it lives in the
// user's configuration folder
// ($XDG_CONFIG_HOME/Weyvane/registry.json); tests point it elsewhere with set_file().
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace registry {

using HKEY = std::uintptr_t;
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;

enum ValueType { REG_NONE = 0, REG_SZ = 1, REG_BINARY = 3, REG_DWORD = 4 };

// Result codes.
enum Status : long {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_MORE_DATA = 234,
    ERROR_KEY_HAS_CHILDREN = 1020,
};

// Access rights; accepted for the callers' sake, every open key may be read and written.
inline constexpr unsigned KEY_READ = 0x20019;
inline constexpr unsigned KEY_WRITE = 0x20006;
inline constexpr unsigned KEY_ALL_ACCESS = 0xF003F;

void set_file(const QString& path);
// What the user should be told about a damaged file found since the last call (empty when none
// was): a form that reads the registry shows it; a host without one gets the warning alone.
QString take_damage_notice();
QString file();

// Opens an existing key (`sub_key` empty opens the root itself).
long OpenKey(HKEY root, const QString& sub_key, unsigned access, HKEY* result);
// Opens a key, creating it and any missing parent keys.
long CreateKey(HKEY root, const QString& sub_key, HKEY* result);
long CloseKey(HKEY key);

// Reads a value: its type and its bytes as stored (a string with its closing zero byte, a
// number as 4 bytes, low byte first). ERROR_MORE_DATA when it is longer than `buffer_size`.
long QueryValue(HKEY key, const QString& name, int* type, QByteArray* data, int buffer_size = 1024);
long SetValue(HKEY key, const QString& name, int type, const QByteArray& data);
long DeleteValue(HKEY key, const QString& name);
// Deletes a key that has no sub-keys.
long DeleteKey(HKEY root, const QString& sub_key);
// Deletes a key with everything below it.
long DeleteTree(HKEY root, const QString& sub_key);
// Names of the direct sub-keys of an open key.
QStringList SubKeyNames(HKEY key);

// Shorthands that open or create the key themselves.
bool SetString(HKEY root, const QString& sub_key, const QString& name, const QString& value);
bool SetDword(HKEY root, const QString& sub_key, const QString& name, uint32_t value);
bool KeyExists(HKEY root, const QString& sub_key);

} // namespace registry

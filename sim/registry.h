// The simulated PC's registry: keys and values under HKEY_LOCAL_MACHINE and
// HKEY_DYN_DATA, read the way the Win32 registry functions read them.
//
// Keys are written as one path whose first part names the root: "HKLM" or
// "HKEY_LOCAL_MACHINE", "HKDD" or "HKEY_DYN_DATA", e.g.
//     registry.addKey("HKLM\\SOFTWARE\\INTEL\\Intel Application Accelerator");
//     registry.setString("HKDD\\Config Manager\\Enum\\C1A2B3C4", "HardWareKey", "SCSI\\...");
// Names of keys and values compare without regard to case, as on Windows;
// the subkeys of a key are enumerated in the order they were created.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "transport/platform/win_types.h"

namespace kambio::sim {

class Registry {
public:
    struct Value {
        DWORD type = REG_SZ;
        std::vector<std::uint8_t> data;  // REG_SZ: the text and its terminating zero
    };

    Registry();

    // --- Contents -----------------------------------------------------------
    // Creates the key and the keys above it that are missing. Throws
    // std::invalid_argument for a path whose root is not one of ours.
    void addKey(std::string_view path);
    // Creates the key when missing and sets the value (name "" is the
    // key's default value).
    void setValue(std::string_view keyPath, std::string_view name, Value value);
    void setString(std::string_view keyPath, std::string_view name, std::string_view text);
    void setDword(std::string_view keyPath, std::string_view name, DWORD value);
    void setBinary(std::string_view keyPath, std::string_view name, std::vector<std::uint8_t> bytes);

    // --- The calls, with the results of their Win32 namesakes ----------------
    LONG open(HKEY parent, const char* subKey, HKEY* result);
    LONG subKeyCount(HKEY key, DWORD* count) const;
    LONG enumKey(HKEY key, DWORD index, char* name, DWORD* nameSize) const;
    LONG queryValue(HKEY key, const char* valueName, DWORD* type, BYTE* data, DWORD* dataSize) const;
    LONG close(HKEY key);

    // The path of an open or predefined key, for the trace ("HKLM\\...");
    // `subKey` appended when given.
    std::string describe(HKEY key, const char* subKey = nullptr) const;
    // Keys opened and not yet closed.
    std::size_t openKeys() const { return open_.size(); }
    // A new process: every key it had open is gone.
    void closeAll() { open_.clear(); }

private:
    struct Key {
        std::string name;
        std::vector<std::unique_ptr<Key>> subKeys;
        std::vector<std::pair<std::string, Value>> values;
        Key* find(std::string_view subKeyName) const;
        Key& child(std::string_view subKeyName);
        const Value* value(std::string_view valueName) const;
    };
    struct Root {
        HKEY handle;
        const char* shortName;
        const char* longName;
        Key key;
    };
    struct OpenKey {
        Key* key;
        std::string path;
    };

    Key& create(std::string_view path);
    Root* rootNamed(std::string_view name);
    const Root* rootOf(HKEY handle) const;
    // The key a handle stands for and its path; null when the handle is
    // neither predefined nor open.
    const Key* keyOf(HKEY handle, std::string* path = nullptr) const;

    std::vector<std::unique_ptr<Root>> roots_;
    std::map<HKEY, OpenKey> open_;
    std::uintptr_t nextHandle_ = 0x1000;
};

}  // namespace kambio::sim

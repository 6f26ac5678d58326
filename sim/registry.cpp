#include "registry.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kambio::sim {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// The parts of a path between backslashes; empty parts (a doubled or a
// trailing backslash) are passed over.
std::vector<std::string_view> Parts(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        std::size_t end = path.find('\\');
        std::string_view part = path.substr(0, end);
        if (!part.empty()) parts.push_back(part);
        if (end == std::string_view::npos) break;
        path.remove_prefix(end + 1);
    }
    return parts;
}

}  // namespace

Registry::Key* Registry::Key::find(std::string_view subKeyName) const {
    for (const auto& subKey : subKeys) {
        if (SameName(subKey->name, subKeyName)) return subKey.get();
    }
    return nullptr;
}

Registry::Key& Registry::Key::child(std::string_view subKeyName) {
    if (Key* existing = find(subKeyName)) return *existing;
    subKeys.push_back(std::make_unique<Key>());
    subKeys.back()->name = std::string(subKeyName);
    return *subKeys.back();
}

const Registry::Value* Registry::Key::value(std::string_view valueName) const {
    for (const auto& [name, value] : values) {
        if (SameName(name, valueName)) return &value;
    }
    return nullptr;
}

Registry::Registry() {
    roots_.push_back(std::make_unique<Root>(Root{HKEY_LOCAL_MACHINE, "HKLM", "HKEY_LOCAL_MACHINE", {}}));
    roots_.push_back(std::make_unique<Root>(Root{HKEY_DYN_DATA, "HKDD", "HKEY_DYN_DATA", {}}));
}

Registry::Root* Registry::rootNamed(std::string_view name) {
    for (auto& root : roots_) {
        if (SameName(name, root->shortName) || SameName(name, root->longName)) return root.get();
    }
    return nullptr;
}

const Registry::Root* Registry::rootOf(HKEY handle) const {
    for (const auto& root : roots_) {
        if (root->handle == handle) return root.get();
    }
    return nullptr;
}

Registry::Key& Registry::create(std::string_view path) {
    std::vector<std::string_view> parts = Parts(path);
    Root* root = parts.empty() ? nullptr : rootNamed(parts[0]);
    if (root == nullptr) {
        throw std::invalid_argument("registry key \"" + std::string(path) +
                                    "\" does not start with HKLM or HKDD");
    }
    Key* key = &root->key;
    for (std::size_t i = 1; i < parts.size(); ++i) key = &key->child(parts[i]);
    return *key;
}

void Registry::addKey(std::string_view path) { create(path); }

void Registry::setValue(std::string_view keyPath, std::string_view name, Value value) {
    Key& key = create(keyPath);
    for (auto& [existing, stored] : key.values) {
        if (SameName(existing, name)) {
            stored = std::move(value);
            return;
        }
    }
    key.values.emplace_back(std::string(name), std::move(value));
}

void Registry::setString(std::string_view keyPath, std::string_view name, std::string_view text) {
    Value value{REG_SZ, std::vector<std::uint8_t>(text.begin(), text.end())};
    value.data.push_back(0);
    setValue(keyPath, name, std::move(value));
}

void Registry::setDword(std::string_view keyPath, std::string_view name, DWORD dword) {
    Value value{REG_DWORD, std::vector<std::uint8_t>(4)};
    std::memcpy(value.data.data(), &dword, 4);  // little-endian, as on the PC
    setValue(keyPath, name, std::move(value));
}

void Registry::setBinary(std::string_view keyPath, std::string_view name,
                         std::vector<std::uint8_t> bytes) {
    setValue(keyPath, name, Value{REG_BINARY, std::move(bytes)});
}

const Registry::Key* Registry::keyOf(HKEY handle, std::string* path) const {
    if (const Root* root = rootOf(handle)) {
        if (path != nullptr) *path = root->shortName;
        return &root->key;
    }
    auto it = open_.find(handle);
    if (it == open_.end()) return nullptr;
    if (path != nullptr) *path = it->second.path;
    return it->second.key;
}

std::string Registry::describe(HKEY key, const char* subKey) const {
    std::string path;
    if (keyOf(key, &path) == nullptr) path = "?";
    if (subKey != nullptr && *subKey != '\0') path += std::string("\\") + subKey;
    return path;
}

LONG Registry::open(HKEY parent, const char* subKey, HKEY* result) {
    std::string path;
    const Key* key = keyOf(parent, &path);
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    for (std::string_view part : Parts(subKey != nullptr ? subKey : "")) {
        key = key->find(part);
        if (key == nullptr) return ERROR_FILE_NOT_FOUND;
        path += '\\';
        path += part;
    }
    HKEY handle = reinterpret_cast<HKEY>(nextHandle_);
    nextHandle_ += 4;
    open_[handle] = OpenKey{const_cast<Key*>(key), path};
    *result = handle;
    return ERROR_SUCCESS;
}

LONG Registry::subKeyCount(HKEY handle, DWORD* count) const {
    const Key* key = keyOf(handle);
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (count != nullptr) *count = static_cast<DWORD>(key->subKeys.size());
    return ERROR_SUCCESS;
}

LONG Registry::enumKey(HKEY handle, DWORD index, char* name, DWORD* nameSize) const {
    const Key* key = keyOf(handle);
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (name == nullptr || nameSize == nullptr) return ERROR_INVALID_PARAMETER;
    if (index >= key->subKeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::string& found = key->subKeys[index]->name;
    // The size counts the terminating zero going in and leaves it out
    // coming back; a short buffer gets nothing.
    if (found.size() + 1 > *nameSize) return ERROR_MORE_DATA;
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameSize = static_cast<DWORD>(found.size());
    return ERROR_SUCCESS;
}

LONG Registry::queryValue(HKEY handle, const char* valueName, DWORD* type, BYTE* data,
                          DWORD* dataSize) const {
    const Key* key = keyOf(handle);
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    const Value* value = key->value(valueName != nullptr ? valueName : "");
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    if (type != nullptr) *type = value->type;
    DWORD needed = static_cast<DWORD>(value->data.size());
    if (data == nullptr) {
        if (dataSize != nullptr) *dataSize = needed;
        return ERROR_SUCCESS;
    }
    DWORD room = *dataSize;
    *dataSize = needed;
    if (room < needed) return ERROR_MORE_DATA;
    if (needed != 0) std::memcpy(data, value->data.data(), needed);
    return ERROR_SUCCESS;
}

LONG Registry::close(HKEY key) {
    if (rootOf(key) != nullptr) return ERROR_SUCCESS;
    return open_.erase(key) != 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace kambio::sim

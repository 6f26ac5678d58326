#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim_pc.h"

namespace kambio::sim {
namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        pc.registry.addKey("HKLM\\SOFTWARE\\INTEL\\Intel Application Accelerator");
        pc.registry.addKey("HKDD\\Config Manager\\Enum\\C29A3F10");
        pc.registry.addKey("HKEY_DYN_DATA\\Config Manager\\Enum\\C29A4A70");
        pc.registry.addKey("HKDD\\Config Manager\\Enum\\C1000000");
        pc.registry.setString("HKDD\\Config Manager\\Enum\\C29A3F10", "HardWareKey", "SCSI\\KORV");
        pc.registry.setDword("HKLM\\SOFTWARE\\X", "Count", 0x01020304);
        pc.registry.setBinary("HKLM\\SOFTWARE\\X", "AutoInsertNotification", {0x01});
    }

    HKEY Open(HKEY root, const char* path) {
        HKEY key = nullptr;
        EXPECT_EQ(pc.RegOpenKeyExA(root, path, 0, KEY_READ, &key), ERROR_SUCCESS) << path;
        return key;
    }

    SimPc pc;
};

TEST_F(RegistryTest, OpenFindsKeysWhateverTheirCase) {
    struct Case {
        HKEY root;
        const char* path;
        LONG result;
    };
    for (const Case& c : {Case{HKEY_LOCAL_MACHINE, "SOFTWARE\\INTEL\\Intel Application Accelerator", 0},
                          Case{HKEY_LOCAL_MACHINE, "software\\intel\\INTEL APPLICATION ACCELERATOR", 0},
                          Case{HKEY_LOCAL_MACHINE, "SOFTWARE\\INTEL\\Intel Ultra ATA Storage Driver", 2},
                          Case{HKEY_LOCAL_MACHINE, "SOFTWARE\\INTEL\\Intel Application", 2},
                          Case{HKEY_DYN_DATA, "Config Manager\\Enum", 0},
                          Case{HKEY_DYN_DATA, "SOFTWARE", 2},
                          Case{HKEY_LOCAL_MACHINE, "", 0},
                          Case{reinterpret_cast<HKEY>(std::uintptr_t{0x4444}), "SOFTWARE", 6}}) {
        HKEY key = nullptr;
        EXPECT_EQ(pc.RegOpenKeyExA(c.root, c.path, 0, KEY_READ, &key), c.result) << c.path;
        if (c.result == 0) {
            EXPECT_EQ(pc.RegCloseKey(key), 0);
        }
    }
    EXPECT_EQ(pc.registry.openKeys(), 0u);
    EXPECT_EQ(pc.trace.of("regopen")[2], "regopen HKLM\\SOFTWARE\\INTEL\\Intel Ultra ATA Storage Driver -> 2");
}

TEST_F(RegistryTest, SubkeysAreCountedAndEnumeratedInOrderThenRunOut) {
    HKEY enumKey = Open(HKEY_DYN_DATA, "Config Manager\\Enum");
    HKEY nested = Open(enumKey, "c29a3f10");  // relative to an open key
    EXPECT_EQ(pc.RegCloseKey(nested), 0);
    DWORD count = 0;
    EXPECT_EQ(pc.RegQueryInfoKeyA(enumKey, &count), 0);
    EXPECT_EQ(count, 3u);
    std::vector<std::string> names;
    char name[64];
    DWORD size = sizeof name;
    for (DWORD i = 0; pc.RegEnumKeyExA(enumKey, i, name, &size) == ERROR_SUCCESS; ++i, size = sizeof name) {
        EXPECT_EQ(size, std::strlen(name));
        names.emplace_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"C29A3F10", "C29A4A70", "C1000000"}));
    size = sizeof name;
    EXPECT_EQ(pc.RegEnumKeyExA(enumKey, 3, name, &size), ERROR_NO_MORE_ITEMS);

    // The size counts the terminating zero going in.
    size = 8;
    EXPECT_EQ(pc.RegEnumKeyExA(enumKey, 0, name, &size), ERROR_MORE_DATA);
    size = 9;
    EXPECT_EQ(pc.RegEnumKeyExA(enumKey, 0, name, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(pc.RegCloseKey(enumKey), 0);
}

TEST_F(RegistryTest, ValuesComeBackWithTheirTypeAndSize) {
    HKEY device = Open(HKEY_DYN_DATA, "Config Manager\\Enum\\C29A3F10");
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(pc.RegQueryValueExA(device, "hardwarekey", &type, nullptr, &size), 0);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 10u);  // with the terminating zero
    char text[16] = {};
    size = 9;
    EXPECT_EQ(pc.RegQueryValueExA(device, "HardWareKey", &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 10u);
    size = sizeof text;
    EXPECT_EQ(pc.RegQueryValueExA(device, "HardWareKey", &type, reinterpret_cast<BYTE*>(text), &size), 0);
    EXPECT_STREQ(text, "SCSI\\KORV");
    EXPECT_EQ(pc.RegQueryValueExA(device, "Missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    pc.RegCloseKey(device);

    HKEY x = Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\X");
    DWORD dword = 0;
    size = sizeof dword;
    EXPECT_EQ(pc.RegQueryValueExA(x, "Count", &type, reinterpret_cast<BYTE*>(&dword), &size), 0);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(dword, 0x01020304u);
    BYTE flag = 0;
    size = 1;
    EXPECT_EQ(pc.RegQueryValueExA(x, "AutoInsertNotification", &type, &flag, &size), 0);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(flag, 1);
    pc.RegCloseKey(x);
}

TEST_F(RegistryTest, ClosedKeysAreGoneAndANewProcessHoldsNone) {
    HKEY key = Open(HKEY_LOCAL_MACHINE, "SOFTWARE");
    EXPECT_EQ(pc.RegCloseKey(key), 0);
    EXPECT_EQ(pc.RegCloseKey(key), ERROR_INVALID_HANDLE);
    DWORD count = 0;
    EXPECT_EQ(pc.RegQueryInfoKeyA(key, &count), ERROR_INVALID_HANDLE);
    EXPECT_EQ(pc.RegCloseKey(HKEY_LOCAL_MACHINE), 0);

    Open(HKEY_LOCAL_MACHINE, "SOFTWARE");
    EXPECT_EQ(pc.registry.openKeys(), 1u);
    pc.beginRun();
    EXPECT_EQ(pc.registry.openKeys(), 0u);
}

TEST_F(RegistryTest, KeyOutsideOurRootsIsRefused) {
    EXPECT_THROW(pc.registry.addKey("HKCU\\Software"), std::invalid_argument);
}

}  // namespace
}  // namespace kambio::sim

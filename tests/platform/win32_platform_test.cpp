// The Win32 backend against the real system calls: built into the Windows
// test suite only, and run there under Wine. Everything goes through
// Win32Platform, as the program's calls do; the few calls a test needs
// beyond that interface are declared here rather than through <windows.h>,
// whose macros would clash with the program's own Win32 names.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <io.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "transport/platform/win32_platform.h"

using FarProc = void (*)();
extern "C" {
__declspec(dllimport) int __stdcall SetEvent(void* event);
__declspec(dllimport) FarProc __stdcall GetProcAddress(void* module, const char* name);
}

namespace kambio {
namespace {

constexpr DWORD kErrorModNotFound = 126;
// Exports asked for by number: the number stands where the name would.
const char* const kOrdinal1 = reinterpret_cast<const char*>(std::uintptr_t{1});
const char* const kOrdinal2 = reinterpret_cast<const char*>(std::uintptr_t{2});

std::string ReadBinary(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file of the test's own in the temporary folder, removed afterwards.
class TempFile {
public:
    explicit TempFile(const char* name)
        : path_(std::filesystem::temp_directory_path() / name) {
        std::filesystem::remove(path_);
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// --- Memory ----------------------------------------------------------------------

TEST(Win32PlatformMemory, ZeroInitBlockIsZeroedEvenWhereDirtyMemoryWas) {
    Win32Platform platform;
    constexpr SIZE_T kSize = 64 * 1024;

    // Leave a freed block full of non-zero bytes behind, so that a request
    // that lost GMEM_ZEROINIT on its way is likely to get them back.
    HGLOBAL dirty = platform.GlobalAlloc(0, kSize);
    ASSERT_NE(dirty, nullptr);
    void* dirtyBytes = platform.GlobalLock(dirty);
    ASSERT_NE(dirtyBytes, nullptr);
    std::memset(dirtyBytes, 0xA5, kSize);
    platform.GlobalUnlock(dirty);
    ASSERT_EQ(platform.GlobalFree(dirty), nullptr);

    HGLOBAL block = platform.GlobalAlloc(GMEM_ZEROINIT, kSize);
    ASSERT_NE(block, nullptr);
    auto* bytes = static_cast<const BYTE*>(platform.GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(std::all_of(bytes, bytes + kSize, [](BYTE b) { return b == 0; }));
    platform.GlobalUnlock(block);
    // GlobalFree answers NULL when it freed the block, the block otherwise.
    EXPECT_EQ(platform.GlobalFree(block), nullptr);
}

// --- The ASPI layer ----------------------------------------------------------------

// Each kind of request block the program sends, with SRB_Status left pending.
struct SrbCase {
    const char* name;
    std::vector<BYTE> block;
};

std::vector<BYTE> PendingBlock(std::size_t size, BYTE command) {
    std::vector<BYTE> block(size, 0);
    block[0] = command;
    block[offsetof(SRB_ExecSCSICmd, SRB_Status)] = SS_PENDING;
    return block;
}

void PrintTo(const SrbCase& c, std::ostream* os) { *os << c.name; }

class Win32PlatformAspiWithoutLayer : public ::testing::TestWithParam<SrbCase> {};

TEST_P(Win32PlatformAspiWithoutLayer, SendAnswersNoAdaptersAndMarksTheBlockDone) {
    Win32Platform platform;
    std::vector<BYTE> block = GetParam().block;
    const std::vector<BYTE> before = block;

    EXPECT_EQ(platform.SendASPI32Command(block.data()), DWORD{SS_NO_ADAPTERS});

    // Only the status byte changes: a caller polling it must not wait for
    // a request that was never sent.
    std::vector<BYTE> expected = before;
    expected[offsetof(SRB_ExecSCSICmd, SRB_Status)] = SS_NO_ADAPTERS;
    EXPECT_EQ(block, expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryBlockKind, Win32PlatformAspiWithoutLayer,
    ::testing::Values(SrbCase{"HaInquiry", PendingBlock(sizeof(SRB_HAInquiry), SC_HA_INQUIRY)},
                      SrbCase{"ExecScsiCmd", PendingBlock(sizeof(SRB_ExecSCSICmd), SC_EXEC_SCSI_CMD)},
                      SrbCase{"Abort", PendingBlock(sizeof(SRB_Abort), SC_ABORT_SRB)}),
    [](const ::testing::TestParamInfo<SrbCase>& info) { return std::string(info.param.name); });

TEST(Win32PlatformAspi, WithoutLayerSupportInfoSaysNoAdapterAndNullBlockIsSafe) {
    Win32Platform platform;
    EXPECT_EQ(platform.GetASPI32SupportInfo(), DWORD{SS_NO_ADAPTERS} << 8);
    EXPECT_EQ(platform.SendASPI32Command(nullptr), DWORD{SS_NO_ADAPTERS});
}

TEST(Win32PlatformAspi, OtherLibrariesDoNotBindTheEntryPoints) {
    Win32Platform platform;
    // Both export functions at ordinals 1 and 2, which must not be taken
    // for the ASPI entry points.
    ASSERT_NE(platform.LoadLibraryA("KERNEL32.DLL"), nullptr);
    ASSERT_NE(platform.LoadLibraryA("USER32.DLL"), nullptr);
    EXPECT_EQ(platform.GetASPI32SupportInfo(), DWORD{SS_NO_ADAPTERS} << 8);
    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    EXPECT_EQ(platform.SendASPI32Command(&inquiry), DWORD{SS_NO_ADAPTERS});
    EXPECT_EQ(inquiry.SRB_Status, SS_NO_ADAPTERS);
}

TEST(Win32PlatformAspi, LoadedLayerAnswersThroughItsOrdinals) {
    Win32Platform platform;
    // Lower case on purpose: Windows matches DLL names without case.
    HMODULE layer = platform.LoadLibraryA("wnaspi32.dll");
    if (layer == nullptr) GTEST_SKIP() << "no WNASPI32.DLL on this system";

    // The layer's own answers, asked directly, are what the platform must
    // pass on. Wine's layer finds no adapter, so its support information
    // looks like the fallback's; its answer to a request does not.
    using SupportInfoEntry = DWORD(__cdecl*)();
    using SendCommandEntry = DWORD(__cdecl*)(void*);
    auto* supportInfo = reinterpret_cast<SupportInfoEntry>(GetProcAddress(layer, kOrdinal1));
    auto* sendCommand = reinterpret_cast<SendCommandEntry>(GetProcAddress(layer, kOrdinal2));
    ASSERT_NE(supportInfo, nullptr);
    ASSERT_NE(sendCommand, nullptr);

    EXPECT_EQ(platform.GetASPI32SupportInfo(), supportInfo());

    SRB_HAInquiry throughPlatform{};
    throughPlatform.SRB_Cmd = SC_HA_INQUIRY;
    SRB_HAInquiry direct = throughPlatform;
    EXPECT_EQ(platform.SendASPI32Command(&throughPlatform), sendCommand(&direct));
    EXPECT_EQ(std::memcmp(&throughPlatform, &direct, sizeof direct), 0);
}

// --- Libraries --------------------------------------------------------------------

TEST(Win32PlatformLibraries, MissingLibraryIsNotLoaded) {
    Win32Platform platform;
    EXPECT_EQ(platform.LoadLibraryA("KAMBIO-NO-SUCH-LIBRARY.DLL"), nullptr);
    EXPECT_EQ(platform.GetLastError(), kErrorModNotFound);
    EXPECT_EQ(platform.GetASPI32SupportInfo(), DWORD{SS_NO_ADAPTERS} << 8);
}

// --- Registry ---------------------------------------------------------------------

TEST(Win32PlatformRegistry, MissingKeyIsNotFoundAndLeavesNoKey) {
    Win32Platform platform;
    HKEY key = reinterpret_cast<HKEY>(std::uintptr_t{0x1234});
    EXPECT_EQ(platform.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\kambio-no-such-key", 0,
                                     KEY_READ, &key),
              LONG{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(key, nullptr);
}

TEST(Win32PlatformRegistry, ExistingKeyOpensEnumeratesAndCloses) {
    Win32Platform platform;
    HKEY key = nullptr;
    ASSERT_EQ(platform.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key),
              LONG{ERROR_SUCCESS});
    ASSERT_NE(key, nullptr);

    DWORD subKeys = 0;
    ASSERT_EQ(platform.RegQueryInfoKeyA(key, &subKeys), LONG{ERROR_SUCCESS});
    ASSERT_GT(subKeys, 0u);

    std::vector<std::string> names;
    for (DWORD index = 0; index < subKeys; ++index) {
        char name[256] = {};
        DWORD size = sizeof name;
        ASSERT_EQ(platform.RegEnumKeyExA(key, index, name, &size), LONG{ERROR_SUCCESS}) << index;
        // The size comes back as the length of the name, without its NUL.
        EXPECT_EQ(size, std::strlen(name)) << index;
        names.emplace_back(name);
    }
    char past[256];
    DWORD pastSize = sizeof past;
    EXPECT_EQ(platform.RegEnumKeyExA(key, subKeys, past, &pastSize), LONG{ERROR_NO_MORE_ITEMS});
    EXPECT_NE(std::find(names.begin(), names.end(), "Microsoft"), names.end());

    // A name longer than the buffer is refused, not cut short.
    const auto longest = std::max_element(names.begin(), names.end(),
                                          [](const auto& a, const auto& b) { return a.size() < b.size(); });
    const DWORD longestIndex = static_cast<DWORD>(longest - names.begin());
    char small[2];
    DWORD smallSize = sizeof small;
    if (longest->size() + 1 > sizeof small) {
        EXPECT_EQ(platform.RegEnumKeyExA(key, longestIndex, small, &smallSize), LONG{ERROR_MORE_DATA});
    }

    EXPECT_EQ(platform.RegCloseKey(key), LONG{ERROR_SUCCESS});
}

TEST(Win32PlatformRegistry, ValueReportsItsTypeAndSizeAndReadsWhole) {
    Win32Platform platform;
    HKEY key = nullptr;
    ASSERT_EQ(platform.RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ,
                                     &key),
              LONG{ERROR_SUCCESS});

    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(platform.RegQueryValueExA(key, "ProgramFilesDir", &type, nullptr, &size),
              LONG{ERROR_SUCCESS});
    EXPECT_EQ(type, REG_SZ);
    ASSERT_GT(size, 1u);

    std::vector<BYTE> tooSmall(size - 1);
    DWORD tooSmallSize = static_cast<DWORD>(tooSmall.size());
    EXPECT_EQ(platform.RegQueryValueExA(key, "ProgramFilesDir", nullptr, tooSmall.data(), &tooSmallSize),
              LONG{ERROR_MORE_DATA});
    EXPECT_EQ(tooSmallSize, size);

    std::vector<BYTE> data(size, 0xFF);
    DWORD dataSize = size;
    type = 0;
    ASSERT_EQ(platform.RegQueryValueExA(key, "ProgramFilesDir", &type, data.data(), &dataSize),
              LONG{ERROR_SUCCESS});
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(dataSize, size);
    EXPECT_EQ(data.back(), 0);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(data.data())) + 1, size);

    EXPECT_EQ(platform.RegQueryValueExA(key, "kambio-no-such-value", &type, nullptr, &size),
              LONG{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(platform.RegCloseKey(key), LONG{ERROR_SUCCESS});
}

// --- Events -----------------------------------------------------------------------

struct EventCase {
    const char* name;
    BOOL manualReset;
    BOOL initialState;
    DWORD firstWait;   // before anyone signals
    DWORD afterSignal; // the first wait after SetEvent
    DWORD secondWait;  // the wait after that one
};

void PrintTo(const EventCase& c, std::ostream* os) { *os << c.name; }

class Win32PlatformEvents : public ::testing::TestWithParam<EventCase> {};

TEST_P(Win32PlatformEvents, WaitsFollowTheResetKindAndInitialState) {
    const EventCase& c = GetParam();
    Win32Platform platform;
    HANDLE event = platform.CreateEventA(nullptr, c.manualReset, c.initialState, nullptr);
    ASSERT_NE(event, nullptr);

    EXPECT_EQ(platform.WaitForSingleObject(event, 0), c.firstWait);
    ASSERT_NE(SetEvent(event), 0);
    EXPECT_EQ(platform.WaitForSingleObject(event, 0), c.afterSignal);
    EXPECT_EQ(platform.WaitForSingleObject(event, 0), c.secondWait);

    EXPECT_NE(platform.CloseHandle(event), 0);
}

INSTANTIATE_TEST_SUITE_P(
    ResetKinds, Win32PlatformEvents,
    ::testing::Values(
        // The kind the program creates: one wait consumes the signal.
        EventCase{"AutoResetUnsignalled", 0, 0, WAIT_TIMEOUT, WAIT_OBJECT_0, WAIT_TIMEOUT},
        EventCase{"AutoResetSignalled", 0, 1, WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_TIMEOUT},
        EventCase{"ManualResetUnsignalled", 1, 0, WAIT_TIMEOUT, WAIT_OBJECT_0, WAIT_OBJECT_0}),
    [](const ::testing::TestParamInfo<EventCase>& info) { return std::string(info.param.name); });

TEST(Win32PlatformEventsWait, TimeoutWaitsAboutThatLong) {
    Win32Platform platform;
    HANDLE event = platform.CreateEventA(nullptr, 0, 0, nullptr);
    ASSERT_NE(event, nullptr);
    ASSERT_EQ(platform.timeBeginPeriod(1), TIMERR_NOERROR);
    const DWORD start = platform.timeGetTime();
    EXPECT_EQ(platform.WaitForSingleObject(event, 100), WAIT_TIMEOUT);
    const DWORD waited = platform.timeGetTime() - start;
    EXPECT_EQ(platform.timeEndPeriod(1), TIMERR_NOERROR);
    EXPECT_GE(waited, 90u);
    EXPECT_LT(waited, 5000u);
    EXPECT_NE(platform.CloseHandle(event), 0);
}

// --- Timer ------------------------------------------------------------------------

TEST(Win32PlatformTimer, TimeAdvancesWithSleep) {
    Win32Platform platform;
    ASSERT_EQ(platform.timeBeginPeriod(1), TIMERR_NOERROR);
    const DWORD start = platform.timeGetTime();
    platform.Sleep(50);
    const DWORD slept = platform.timeGetTime() - start;
    EXPECT_EQ(platform.timeEndPeriod(1), TIMERR_NOERROR);
    EXPECT_GE(slept, 45u);
    EXPECT_LT(slept, 5000u);
}

// --- Devices and files ------------------------------------------------------------

TEST(Win32PlatformFiles, MissingDeviceDoesNotOpen) {
    Win32Platform platform;
    HANDLE device = platform.CreateFileA("\\\\.\\KAMBIO-NO-SUCH-DEVICE", GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    EXPECT_EQ(device, INVALID_HANDLE_VALUE);
    EXPECT_NE(platform.GetLastError(), ERROR_SUCCESS);
}

TEST(Win32PlatformFiles, FileOpensReportsItsSizeAndReadsToTheEnd) {
    TempFile file("kambio-win32-platform-test.bin");
    std::string content(3000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    { std::ofstream(file.path(), std::ios::binary) << content; }

    Win32Platform platform;
    const std::string path = file.path().string();
    HANDLE handle = platform.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << path;
    EXPECT_EQ(platform.GetFileSize(handle), content.size());

    std::string read(content.size() + 16, '\0');
    DWORD count = 0xFFFFFFFF;
    ASSERT_NE(platform.ReadFile(handle, read.data(), static_cast<DWORD>(read.size()), &count), 0);
    ASSERT_EQ(count, content.size());
    read.resize(count);
    EXPECT_EQ(read, content);

    // At the end, a read succeeds and says it read nothing.
    count = 0xFFFFFFFF;
    char more[8];
    EXPECT_NE(platform.ReadFile(handle, more, sizeof more, &count), 0);
    EXPECT_EQ(count, 0u);

    EXPECT_NE(platform.CloseHandle(handle), 0);
}

// --- Standard output --------------------------------------------------------------

TEST(Win32PlatformStdout, WritesInTextModeAndFlushesEachCall) {
    TempFile file("kambio-win32-platform-stdout.txt");
    Win32Platform platform;

    // Point descriptor 1 at a text-mode file for the duration of the call;
    // what reaches the file is what a console would receive.
    std::fflush(stdout);
    const int saved = _dup(_fileno(stdout));
    ASSERT_GE(saved, 0);
    std::FILE* sink = std::fopen(file.path().string().c_str(), "w");
    ASSERT_NE(sink, nullptr);
    ASSERT_EQ(_dup2(_fileno(sink), _fileno(stdout)), 0);

    platform.WriteStdout("one\ntwo");
    // Read back before anything else flushes stdout: the call must have.
    const std::string written = ReadBinary(file.path());

    std::fflush(stdout);
    _dup2(saved, _fileno(stdout));
    _close(saved);
    std::fclose(sink);

    EXPECT_EQ(written, "one\r\ntwo");
}

}  // namespace
}  // namespace kambio

#endif  // _WIN32

#include <cstdint>
#include <iterator>

#include "ui/message_texts.h"

namespace kambio {

namespace {

struct Text {
    std::int32_t id;
    const char* text;
};

// The texts are the program's own, typing slips included: users and
// support notes quote them as they stand.
constexpr Text kEnglishTexts[] = {
        {0, "\nFailed to get a drive information."},
        {1, "\nHardware Revision is not matched."},
        {3, "\nModel name of normal part is not matched."},
        {4, "\nFW is already latest version."},
        {5, "\nDisc is inserted into DVD-RW.\nPlease eject a disc."},
        {6, "\nError : Drive is now becoming ready.\nPlease eject the disc"},
        {7, "\nError : Unknown Error is occurred."},
        {9, "\nFailed to execute Inquiry Command."},
        {10, "\nNeed not to update the Kernel."},
        {11, "\r\nFailed to load binary file.\r\n(File Name : %.12s)"},
        {12, "\nSuccess to update the firmware."},
        {14, "\nFailed to move to the kernel mode."},
        {15, "\nFailed to move to the normal mode."},
        {16, "\r\nStart Charactor is not fouund."},
        {17, "\r\nF/W file load success."},
        {19, "\r\nG6 Patch load success."},
        {20, "\r\nFailed to load HEX file."},
        {21, "\r\nFailed to load Patch file."},
        {22, "\r\nFailed to move to the update mode."},
        {23, "\r\nFailed to transfer the FW code."},
        {24, "\r\nFailed to update FW."},
        {25, "\r\nVerify error occured."},
        {28, "\r\nAvailable target is not found."},
        {31, "\r\n%d target device(s) is found.\r\nDo you want to update all drives ?"},
        {33, "\r\nThe update operation is canceled by user."},
        {34, "\r\nStart updating the device No.%d."},
        {35, "\r\nUpdate operation is completed."},
        {36, "\r\nUpdate program is terminated by occuring an error.\r\n"},
        {37, "\r\nModel name of kernel part is not macthed."},
        {39, "\r\nSelected file is illegal kernel file."},
        {40, "\r\nSelected file is illegal fw file."},
        {41, "\r\nFailed to update the kernel part."},
        {42, "\r\nFailed to update the normal part."},
        {44, "\r\nNow internal rebooting with new firmware...."},
        {46, "\nAfter you change the firmware to ver%.4s, \r\nyou can not change the firmware to old version.\r\nDo you proceed to update ?"},
        {47, "\nFailed to move to the normal mode.\r\nDo you retry to update ?"},
        {48, "\r\nDetect the Intel's IDE driver."},
        {49, "\r\nCurrent Firmware is not supported by this program."},
        {52, "\r\nDetect the IEEE1394 interface."},
        {53, "\r\n\"Auto insert notification\" is enabled at the target DVD-RW drive.\r\nPlease disable \"Auto insert notification\" by the Device Manager of System properties and reboot your PC.\r\nAfter that, re-exxecute this program."},
        {54, "\r\nFW is already latest."},
        {55, "\r\nFW is already latest.\r\nIf you want to update the current firmware, \r\nthen you need to update this utility software."},
        {56, "\r\nIf you want to update the current firmware, \r\nthen you need to update the kernel part of firmware."},
        {58, "\r\n%ddrive(s) have been updated successfully."},
        {61, "\r\nNow updating the firmware.\r\nPlease do not turn off the power and do not reset the pc."},
        {64, "\nModel code is not matched."},
        {65, "\nCPU type is not matched."},
        {69, "\r\nSelected file is too old fw file."},
        {70, "\r\nIf you have updated from an earlier version than 0.23,\r\nthen please turn off the power once."},
        {72, "\r\nFailed to load kernel binary file."},
        {73, "\r\nThis drive has written an older revision F/W than the mass production.\r\nThis program does not support to update not mass production drive."},
};

}  // namespace

const char* EnglishMessageText(std::int32_t id) {
    for (const Text& entry : kEnglishTexts) {
        if (entry.id == id) return entry.text;
    }
    return nullptr;
}

}  // namespace kambio

#include "app/confirm.h"

#include <string>

#include "app/catalogue.h"
#include "app/run_state.h"
#include "image/binary_image.h"
#include "transport/discovery.h"
#include "transport/platform_setup.h"
#include "transport/target_table.h"
#include "ui/console.h"
#include "ui/cp932.h"

namespace kambio {

namespace {

struct Texts {
    const char* passThroughQuestion;
    const char* aspiQuestion;
    const char* primaryMaster;
    const char* primarySlave;
    const char* secondaryMaster;
    const char* secondarySlave;
    const char* onlyMaster;
    const char* onlySlave;
    const char* otherPlace;  // target and adapter, in the order of the language
};

constexpr Texts kEnglish = {
    "\r\nDo you want to update %c: drive to Ver%.4s?\r\nCurrent FW : %.24s %.4s",
    "\r\nDo you want to update %s to Ver%.4s ?\r\nCurrent FW : %.24s %.4s",
    "Master drive on Primary IDE",
    "Slave drive on Primary IDE",
    "Master drive on Secondary IDE",
    "Slave drive on Secondary IDE",
    "Master drive",
    "Slave drive",
    "Drive %d of Interface %d",
};

// UTF-8 here, code page 932 on the screen.
constexpr Texts kJapaneseUtf8 = {
    "\r\n%c:のﾄﾞﾗｲﾌﾞをVer%.4sにｱｯﾌﾟﾃﾞｰﾄしますか？\r\n現在 : %.24s %.4s",
    "\r\n%sのﾄﾞﾗｲﾌﾞをVer%.4sにｱｯﾌﾟﾃﾞｰﾄしますか？\r\n現在 : %.24s %.4s",
    "ﾌﾟﾗｲﾏﾘIDEのﾏｽﾀｰ",
    "ﾌﾟﾗｲﾏﾘIDEのｽﾚｰﾌﾞ",
    "ｾｶﾝﾀﾞﾘIDEのﾏｽﾀｰ",
    "ｾｶﾝﾀﾞﾘIDEのｽﾚｰﾌﾞ",
    "ﾏｽﾀｰ",
    "ｽﾚｰﾌﾞ",
    "ｲﾝﾀｰﾌｪｰｽ%dのﾄﾞﾗｲﾌﾞ%d",
};

std::string Text(const char* Texts::*field) {
    return UseJapanese() ? Cp932FromUtf8(kJapaneseUtf8.*field) : std::string(kEnglish.*field);
}

std::string OtherPlace(std::int32_t adapter, std::int32_t target) {
    std::string format = Text(&Texts::otherPlace);
    // Both read as the same place: English names the drive first, Japanese
    // the interface first.
    if (UseJapanese()) return FormatText(format.c_str(), adapter, target);
    return FormatText(format.c_str(), target, adapter);
}

// Where the user knows the drive on Windows 9x: its place on the IDE
// channels, or failing that its interface and drive number.
std::string PlaceOfDrive(const TargetDrive& drive) {
    const std::int32_t adapter = drive.adapter;
    const std::int32_t target = drive.target;
    if (run.ideAdapterCount > 1) {
        if (adapter == discovery.IdeAdapters[0] && target == 0) return Text(&Texts::primaryMaster);
        if (adapter == discovery.IdeAdapters[0] && target == 1) return Text(&Texts::primarySlave);
        if (adapter == discovery.IdeAdapters[1] && target == 0) return Text(&Texts::secondaryMaster);
        if (adapter == discovery.IdeAdapters[1] && target == 1) return Text(&Texts::secondarySlave);
    } else if (run.ideAdapterCount == 1) {
        if (adapter == discovery.IdeAdapters[0] && target == 0) return Text(&Texts::onlyMaster);
        if (adapter == discovery.IdeAdapters[0] && target == 1) return Text(&Texts::onlySlave);
    }
    return OtherPlace(adapter, target);
}

}  // namespace

std::int32_t ConfirmUpdate() {
    const TargetDrive& drive = targetTable.entries[run.currentIndex];
    const char* identity = currentTarget.inquiryData.driveName();
    const char* revision = currentTarget.inquiryData.revision();
    std::string question;
    if (transport.TransportKind == kPassThrough) {
        std::string format = Text(&Texts::passThroughQuestion);
        question = FormatText(format.c_str(), drive.driveLetter, image.imageVersionText, identity,
                              revision);
    } else {
        std::string format = Text(&Texts::aspiQuestion);
        std::string place = PlaceOfDrive(drive);
        question = FormatText(format.c_str(), place.c_str(), currentTarget.versionText, identity,
                              revision);
    }
    return ShowBox(question, kStyleYesNo);
}

}  // namespace kambio

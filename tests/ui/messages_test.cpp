#include <gtest/gtest.h>

#include <cstring>

#include "app/catalogue.h"
#include "app/run_state.h"
#include "image/binary_image.h"
#include "sim_fixture.h"
#include "ui/cp932.h"
#include "ui/messages.h"

namespace kambio {
namespace {

using testing::SimTest;

class MessagesTest : public SimTest {};

TEST_F(MessagesTest, IdsWithoutTextGiveTheUnknownTextInBothLanguages) {
    for (int codePage : {437, 932}) {
        for (MessageId id : {62, 79, -1, 2, 1000}) {
            run.oemCodePage = codePage;
            pc.console.clear();
            EXPECT_EQ(ShowMessage(id, kStyleConsole), 0);
            EXPECT_EQ(pc.console, "\r\nUnknow Message Code\r\n") << "id " << id << " cp " << codePage;
        }
    }
}

TEST_F(MessagesTest, UnknownIdInInformationStyleIsPrintedThenBoxed) {
    pc.boxAnswers = {IDOK};
    EXPECT_EQ(ShowMessage(79, kStyleInformation), IDOK);
    EXPECT_EQ(pc.console, kUnknownMessageText);
    ASSERT_EQ(pc.boxes.size(), 1u);
    EXPECT_EQ(pc.boxes[0].text, kUnknownMessageText);
    EXPECT_EQ(pc.boxes[0].flags, MB_ICONINFORMATION);
}

struct StyleCase {
    MessageStyle style;
    bool console;
    bool box;
    UINT flags;
};

TEST_F(MessagesTest, StyleRoutesTextToConsoleBoxOrBoth) {
    const StyleCase cases[] = {
        {0, true, false, 0},
        {1, false, true, MB_OKCANCEL | MB_ICONQUESTION},
        {2, false, true, MB_YESNO | MB_ICONQUESTION},
        {3, true, false, 0},
        {16, true, true, MB_ICONERROR},
        {17, true, true, MB_ICONINFORMATION},
        {18, true, true, MB_ICONWARNING},
        {19, true, false, 0},
        {-5, true, false, 0},
    };
    for (const StyleCase& c : cases) {
        pc.console.clear();
        pc.boxes.clear();
        pc.trace.clear();
        pc.boxAnswers = {c.style == 2 ? IDNO : IDOK};
        std::int32_t result = ShowMessage(33, c.style);
        const std::string text = "\r\nThe update operation is canceled by user.";
        EXPECT_EQ(pc.console, c.console ? text : "") << "style " << c.style;
        ASSERT_EQ(pc.boxes.size(), c.box ? 1u : 0u) << "style " << c.style;
        if (c.box) {
            EXPECT_EQ(pc.boxes[0].flags, c.flags);
            EXPECT_EQ(pc.boxes[0].caption, "KAMBIO");
            EXPECT_EQ(pc.boxes[0].text, text);
            EXPECT_EQ(result, c.style == 2 ? IDNO : IDOK);
        } else {
            EXPECT_EQ(result, 0);
        }
    }
}

TEST_F(MessagesTest, ConsoleComesBeforeTheBox) {
    std::string consoleWhenBoxShown;
    pc.onBox = [&](const sim::BoxRecord&) { consoleWhenBoxShown = pc.console; };
    ShowMessage(28, kStyleInformation);
    EXPECT_EQ(consoleWhenBoxShown, "\r\nAvailable target is not found.");
}

TEST_F(MessagesTest, BoxThatCannotBeShownReturnsZero) {
    EXPECT_EQ(ShowMessage(31, kStyleYesNo), 0);
    EXPECT_EQ(pc.console, "");
}

TEST_F(MessagesTest, PlaceholdersComeFromTheRunStateWhenShown) {
    std::strcpy(currentTarget.fileName, "ABCDEFGHIJKLMNOP.BIN");
    run.targetCount = 3;
    run.currentIndex = 0;
    run.successCount = 2;
    std::memcpy(image.imageVersionText, "1.21Z", 5);

    EXPECT_EQ(MessageText(11), "\r\nFailed to load binary file.\r\n(File Name : ABCDEFGHIJKL)");
    EXPECT_EQ(MessageText(31), "\r\n3 target device(s) is found.\r\nDo you want to update all drives ?");
    EXPECT_EQ(MessageText(34), "\r\nStart updating the device No.0.");
    EXPECT_EQ(MessageText(46),
              "\nAfter you change the firmware to ver1.21, \r\nyou can not change the firmware to old "
              "version.\r\nDo you proceed to update ?");
    EXPECT_EQ(MessageText(58), "\r\n2drive(s) have been updated successfully.");

    run.currentIndex = 1;
    EXPECT_EQ(MessageText(34), "\r\nStart updating the device No.1.");
}

TEST_F(MessagesTest, JapanesePlaceholdersAreFilledToo) {
    run.oemCodePage = 932;
    run.targetCount = 2;
    EXPECT_EQ(MessageText(31),
              Cp932FromUtf8("\r\nこのﾌﾟﾛｸﾞﾗﾑで利用可能なﾄﾞﾗｲﾌﾞが2台見つかりました。\r\n"
                            "すべてのﾄﾞﾗｲﾌﾞを自動的にｱｯﾌﾟﾃﾞｰﾄしますか？"));
}

TEST_F(MessagesTest, LanguageFollowsTheCodePageAtEachCall) {
    const std::string english = "\nFailed to execute Inquiry Command.";
    const std::string japanese = Cp932FromUtf8("\nInquiryｺﾏﾝﾄﾞが失敗しました。");
    for (auto [codePage, expected] : {std::pair{437, english}, {932, japanese}, {1252, english}}) {
        run.oemCodePage = codePage;
        EXPECT_EQ(MessageText(9), expected) << codePage;
    }
}

TEST_F(MessagesTest, PrintTextLeavesPercentSignsAlone) {
    PrintText("100%d %s %% done\n");
    EXPECT_EQ(pc.console, "100%d %s %% done\n");
}

TEST_F(MessagesTest, FormattedTextsAreNeverCutShort) {
    std::string longName(3000, 'x');
    FormatShared("[%s]", longName.c_str());
    EXPECT_EQ(SharedMessageText.size(), 3002u);
    EXPECT_EQ(SharedMessageText.back(), ']');
}

}  // namespace
}  // namespace kambio

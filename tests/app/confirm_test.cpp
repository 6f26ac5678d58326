#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/catalogue.h"
#include "app/confirm.h"
#include "app/run_state.h"
#include "image/binary_image.h"
#include "sim_fixture.h"
#include "transport/discovery.h"
#include "transport/platform_setup.h"
#include "transport/target_table.h"
#include "ui/cp932.h"

namespace kambio {
namespace {

using testing::SimTest;

class ConfirmTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        std::memcpy(currentTarget.inquiryData.bytes + 8, "KORV    LMX-5560P/D     1.05", 28);
        pc.boxAnswers = {IDYES};
    }

    void OnPassThrough(char letter) {
        transport.TransportKind = kPassThrough;
        targetTable.entries[run.currentIndex].driveLetter = letter;
    }
    void OnAspi(int ideAdapters, int slot0, int slot1, int adapter, int target) {
        transport.TransportKind = kAspi;
        run.ideAdapterCount = ideAdapters;
        discovery.IdeAdapters[0] = slot0;
        discovery.IdeAdapters[1] = slot1;
        targetTable.entries[run.currentIndex] = TargetDrive{adapter, target, 0};
    }
    std::string Asked() {
        EXPECT_EQ(pc.boxes.size(), 1u);
        return pc.boxes.empty() ? "" : pc.boxes.back().text;
    }
};

TEST_F(ConfirmTest, PassThroughNamesTheLetterWithNoBlankBeforeTheQuestionMark) {
    OnPassThrough('E');
    EXPECT_EQ(ConfirmUpdate(), IDYES);
    EXPECT_EQ(Asked(), "\r\nDo you want to update E: drive to Ver?\r\nCurrent FW : KORV    LMX-5560P/D      1.05");
    EXPECT_EQ(pc.boxes[0].caption, "KAMBIO");
    EXPECT_EQ(pc.boxes[0].flags, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(pc.console, "");
}

TEST_F(ConfirmTest, PassThroughShowsTheVersionOfTheImageLoadedLast) {
    run.currentIndex = 1;
    OnPassThrough('G');
    std::memcpy(image.imageVersionText, "1.21 ", 5);
    ConfirmUpdate();
    EXPECT_EQ(Asked(), "\r\nDo you want to update G: drive to Ver1.21?\r\nCurrent FW : KORV    LMX-5560P/D      1.05");
}

TEST_F(ConfirmTest, AnswerIsReturnedAsGiven) {
    OnPassThrough('E');
    pc.boxAnswers = {IDNO};
    EXPECT_EQ(ConfirmUpdate(), IDNO);
    pc.boxAnswers.clear();
    EXPECT_EQ(ConfirmUpdate(), 0);  // no box could be shown
}

struct PlaceCase {
    int ideAdapters;
    int slot0;
    int slot1;
    int adapter;
    int target;
    const char* english;
    const char* japanese;
};

TEST_F(ConfirmTest, AspiNamesThePlaceOnTheIdeChannels) {
    const PlaceCase cases[] = {
        {2, 0, 1, 0, 0, "Master drive on Primary IDE", "ﾌﾟﾗｲﾏﾘIDEのﾏｽﾀｰ"},
        {2, 0, 1, 0, 1, "Slave drive on Primary IDE", "ﾌﾟﾗｲﾏﾘIDEのｽﾚｰﾌﾞ"},
        {2, 0, 1, 1, 0, "Master drive on Secondary IDE", "ｾｶﾝﾀﾞﾘIDEのﾏｽﾀｰ"},
        {2, 0, 1, 1, 1, "Slave drive on Secondary IDE", "ｾｶﾝﾀﾞﾘIDEのｽﾚｰﾌﾞ"},
        {2, 0, 1, 1, 2, "Drive 2 of Interface 1", "ｲﾝﾀｰﾌｪｰｽ1のﾄﾞﾗｲﾌﾞ2"},
        {2, 1, 3, 2, 3, "Drive 3 of Interface 2", "ｲﾝﾀｰﾌｪｰｽ2のﾄﾞﾗｲﾌﾞ3"},
        {1, 1, -1, 1, 0, "Master drive", "ﾏｽﾀｰ"},
        {1, 1, -1, 1, 1, "Slave drive", "ｽﾚｰﾌﾞ"},
        {1, 1, -1, 2, 3, "Drive 3 of Interface 2", "ｲﾝﾀｰﾌｪｰｽ2のﾄﾞﾗｲﾌﾞ3"},
        {1, 1, -1, 1, 2, "Drive 2 of Interface 1", "ｲﾝﾀｰﾌｪｰｽ1のﾄﾞﾗｲﾌﾞ2"},
        {0, -1, -1, 0, 0, "Drive 0 of Interface 0", "ｲﾝﾀｰﾌｪｰｽ0のﾄﾞﾗｲﾌﾞ0"},
        {0, -1, -1, 4, 6, "Drive 6 of Interface 4", "ｲﾝﾀｰﾌｪｰｽ4のﾄﾞﾗｲﾌﾞ6"},
    };
    for (const PlaceCase& c : cases) {
        for (int codePage : {437, 932}) {
            run.oemCodePage = codePage;
            pc.boxes.clear();
            pc.boxAnswers = {IDYES};
            OnAspi(c.ideAdapters, c.slot0, c.slot1, c.adapter, c.target);
            ConfirmUpdate();
            std::string expected =
                codePage == 932
                    ? Cp932FromUtf8(std::string("\r\n") + c.japanese +
                                    "のﾄﾞﾗｲﾌﾞをVerにｱｯﾌﾟﾃﾞｰﾄしますか？\r\n現在 : KORV    LMX-5560P/D      1.05")
                    : std::string("\r\nDo you want to update ") + c.english +
                          " to Ver ?\r\nCurrent FW : KORV    LMX-5560P/D      1.05";
            EXPECT_EQ(Asked(), expected) << c.english << " cp " << codePage;
        }
    }
}

TEST_F(ConfirmTest, AspiShowsTheCatalogueVersionText) {
    OnAspi(0, -1, -1, 2, 3);
    std::memcpy(currentTarget.versionText, "1.30", 4);
    ConfirmUpdate();
    EXPECT_EQ(Asked(), "\r\nDo you want to update Drive 3 of Interface 2 to Ver1.30 ?\r\nCurrent FW : KORV    "
                       "LMX-5560P/D      1.05");
}

TEST_F(ConfirmTest, JapanesePassThroughQuestion) {
    run.oemCodePage = 932;
    OnPassThrough('F');
    ConfirmUpdate();
    EXPECT_EQ(Asked(), Cp932FromUtf8("\r\nF:のﾄﾞﾗｲﾌﾞをVerにｱｯﾌﾟﾃﾞｰﾄしますか？\r\n現在 : KORV    LMX-5560P/D      1.05"));
}

}  // namespace
}  // namespace kambio

#include <gtest/gtest.h>

#include "display.h"

namespace kambio::sim {
namespace {

TEST(DisplayTest, Cp932IsShownAsUtf8OnAUtf8Terminal) {
    const std::string cp932 = "\r\n\xC4\xDE\xD7\xB2\xCC\xDE\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
    EXPECT_EQ(ForTerminal(cp932, true), "\r\nﾄﾞﾗｲﾌﾞがありません");
    EXPECT_EQ(ForTerminal(cp932, false), cp932);  // a pipe or file keeps the bytes
}

TEST(DisplayTest, BytesThatAreNoCp932TextPassThrough) {
    EXPECT_EQ(ForTerminal("ok \x82", true), "ok \x82");
}

TEST(DisplayTest, BoxShowsCaptionIconButtonsTextAndAnswer) {
    BoxRecord box{MB_YESNO | MB_ICONQUESTION, "KAMBIO", "\r\n2 target device(s) is found.\r\nDo you want?", IDNO};
    EXPECT_EQ(DescribeBox(box, false),
              "+-- box \"KAMBIO\" [question, Yes/No]\n"
              "| \n"
              "| 2 target device(s) is found.\n"
              "| Do you want?\n"
              "+-- answer: No\n");
    box.flags = MB_ICONINFORMATION;
    box.answer = 0;
    EXPECT_NE(DescribeBox(box, false).find("[information, OK]"), std::string::npos);
    EXPECT_NE(DescribeBox(box, false).find("answer: no answer"), std::string::npos);
}

}  // namespace
}  // namespace kambio::sim

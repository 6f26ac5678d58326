#include <gtest/gtest.h>

#include <string>

#include "ui/cp932.h"
#include "ui/message_texts.h"

#if __has_include(<iconv.h>)
#include <iconv.h>
#define KAMBIO_HAVE_ICONV 1
#endif

namespace kambio {
namespace {

TEST(Cp932Test, HalfWidthKatakanaStaySingleBytes) {
    EXPECT_EQ(Cp932FromUtf8("ﾄﾞﾗｲﾌﾞ"), "\xC4\xDE\xD7\xB2\xCC\xDE");
    EXPECT_EQ(Cp932FromUtf8("｡ﾟ"), "\xA1\xDF");
}

TEST(Cp932Test, FullWidthCharactersBecomeTheirDoubleBytes) {
    EXPECT_EQ(Cp932FromUtf8("ファイル名"), "\x83\x74\x83\x40\x83\x43\x83\x8B\x96\xBC");
    // A trail byte of 5Ch is not a backslash and must survive as it is.
    EXPECT_EQ(Cp932FromUtf8("可能"), "\x89\xC2\x94\x5C");
}

TEST(Cp932Test, AsciiAndControlCharactersPassUnchanged) {
    EXPECT_EQ(Cp932FromUtf8("\r\nVer%.4s 100%%"), "\r\nVer%.4s 100%%");
}

TEST(Cp932Test, CharacterOutsideTheTableIsMarkedIncomplete) {
    bool complete = true;
    EXPECT_EQ(Cp932FromUtf8("a\xE2\x98\x83z", &complete), "a?z");  // a snowman
    EXPECT_FALSE(complete);
    Cp932FromUtf8("ﾃﾞｨｽｸ", &complete);
    EXPECT_TRUE(complete);
}

TEST(JapaneseMessagesTest, EveryTextConvertsCompletely) {
    int texts = 0;
    for (int id = 0; id <= 78; ++id) {
        const char* utf8 = JapaneseMessageTextUtf8(id);
        if (utf8 == nullptr) {
            EXPECT_EQ(JapaneseMessageText(id), nullptr) << id;
            continue;
        }
        ++texts;
        bool complete = false;
        std::string bytes = Cp932FromUtf8(utf8, &complete);
        EXPECT_TRUE(complete) << "message " << id << " has a character missing from cp932_table.inc";
        EXPECT_EQ(JapaneseMessageText(id), bytes) << id;
    }
    EXPECT_EQ(texts, 51);  // every message of the catalogue has its Japanese text
}

TEST(JapaneseMessagesTest, EnglishAndJapaneseCoverTheSameIds) {
    for (int id = -1; id <= 80; ++id) {
        EXPECT_EQ(EnglishMessageText(id) == nullptr, JapaneseMessageTextUtf8(id) == nullptr) << id;
    }
}

#ifdef KAMBIO_HAVE_ICONV
// An independent decoder (the C library's) reads the bytes the program
// prints back into exactly the readable source text.
std::string DecodeCp932(const std::string& bytes) {
    iconv_t converter = iconv_open("UTF-8", "CP932");
    EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1));
    std::string input = bytes;
    std::string output(input.size() * 4 + 4, '\0');
    char* in = input.data();
    char* out = output.data();
    std::size_t inLeft = input.size();
    std::size_t outLeft = output.size();
    std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    EXPECT_NE(result, static_cast<std::size_t>(-1)) << "not valid code page 932";
    output.resize(output.size() - outLeft);
    return output;
}

TEST(JapaneseMessagesTest, PrintedBytesDecodeBackToTheSourceText) {
    for (int id = 0; id <= 78; ++id) {
        const char* utf8 = JapaneseMessageTextUtf8(id);
        if (utf8 == nullptr) continue;
        EXPECT_EQ(DecodeCp932(JapaneseMessageText(id)), utf8) << "message " << id;
    }
}
#endif

}  // namespace
}  // namespace kambio

// JSON text as the command line and mkcard write it: members in the order
// added, numbers in their short forms at the digits asked for, text that is
// not UTF-8 replaced so that the line stays valid JSON.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "util/json_text.h"

using kutil::Json;
using kutil::JsonLine;
using kutil::JsonNumber;

TEST(JsonText, MembersKeepTheirOrderOnOneLine) {
    Json j;
    j["ok"] = true;
    j["error"] = "why";
    j["b"] = Json::array({1, nullptr, "x"});
    j["a"] = Json{{"z", 1}, {"y", 2}};
    EXPECT_EQ(JsonLine(j), R"({"ok":true,"error":"why","b":[1,null,"x"],"a":{"z":1,"y":2}})");
}

TEST(JsonText, NumbersAtTheirDigits) {
    EXPECT_EQ(JsonLine(JsonNumber(33.0)), "33");
    EXPECT_EQ(JsonLine(JsonNumber(-12.0, 6)), "-12");
    EXPECT_EQ(JsonLine(JsonNumber(270.0, 6)), "270");
    EXPECT_EQ(JsonLine(JsonNumber(33.3333333333333, 9)), "33.3333333");
    EXPECT_EQ(JsonLine(JsonNumber(35.681234567891, 10)), "35.68123457");
    EXPECT_EQ(JsonLine(JsonNumber(0.1 + 0.2, 6)), "0.3");
    EXPECT_EQ(JsonLine(JsonNumber(0.0001234, 3)), "0.000123");
    EXPECT_EQ(JsonLine(JsonNumber(-0.000012345, 3)), "-1.23e-05");
    EXPECT_EQ(JsonLine(JsonNumber(1e300, 9)), "1e+300");
    // Beyond 2^53 a whole number stays a floating-point value.
    EXPECT_EQ(JsonLine(JsonNumber(1e17, 9)), "1e+17");
    EXPECT_EQ(JsonLine(JsonNumber(std::nan(""))), "null");
    EXPECT_EQ(JsonLine(JsonNumber(std::numeric_limits<double>::infinity())), "null");
    EXPECT_EQ(JsonLine(JsonNumber(-std::numeric_limits<double>::infinity())), "null");
}

TEST(JsonText, TextIsAlwaysValidJson) {
    EXPECT_EQ(JsonLine(Json("a\"b\\c\n\t\x01")), R"("a\"b\\c\n\t\u0001")");
    EXPECT_EQ(JsonLine(Json("日本")), "\"日本\"");
    // A broken UTF-8 sequence and a lone continuation byte become U+FFFD.
    EXPECT_EQ(JsonLine(Json(std::string("x\xE6\x97y\x80", 5))), "\"x\xEF\xBF\xBDy\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonLine(Json(std::string("\0z", 2))), R"("\u0000z")");
    EXPECT_EQ(kutil::JsonQuote("say \"hi\""), R"("say \"hi\"")");
    // What is written parses back to the same value.
    const std::string odd("a\xFF\xFE b", 5);
    EXPECT_EQ(Json::parse(JsonLine(Json(odd))).get<std::string>(), "a\xEF\xBF\xBD\xEF\xBF\xBD b");
}

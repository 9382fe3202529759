// JSON writer and reader: round trips, escapes, and malformed or hostile text.

#include <gtest/gtest.h>

#include <cmath>

#include "util/json_reader.h"
#include "util/json_writer.h"

using namespace kutil;

TEST(Json, WriterOutputReadsBack) {
    JsonWriter w;
    w.BeginObject();
    w.Key("name").String("012_153012A_M.MP4 \"quoted\"\n\t録画");
    w.Key("n").Int(-42).Key("big").UInt(1ull << 40).Key("x").Double(0.125);
    w.Key("nan").Double(std::nan(""));
    w.Key("list").BeginArray().Bool(true).Null().BeginObject().EndObject().EndArray();
    w.EndObject();
    JsonValue v;
    ASSERT_TRUE(ParseJson(w.str(), &v)) << w.str();
    EXPECT_EQ(v["name"].AsString(), "012_153012A_M.MP4 \"quoted\"\n\t録画");
    EXPECT_EQ(v["n"].AsInt(), -42);
    EXPECT_EQ(v["big"].AsInt(), int64_t(1) << 40);
    EXPECT_EQ(v["x"].AsNumber(), 0.125);
    EXPECT_TRUE(v["nan"].IsNull());
    ASSERT_EQ(v["list"].Items().size(), 3u);
    EXPECT_TRUE(v["list"].Items()[0].AsBool());
    EXPECT_TRUE(v["missing"].IsNull());
    EXPECT_TRUE(v["name"]["nested"].IsNull());
}

TEST(Json, BrokenUtf8IsReplacedOnWriting) {
    std::string q = JsonQuote("a\xff"
                              "b\xe3\x81");
    JsonValue v;
    ASSERT_TRUE(ParseJson(q, &v));
    EXPECT_EQ(v.AsString(), "a\xEF\xBF\xBD"
                            "b\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Json, EscapesAndSurrogates) {
    JsonValue v;
    ASSERT_TRUE(ParseJson(R"(["\u3042\ud83d\ude00\/\b"])", &v));
    EXPECT_EQ(v.Items()[0].AsString(), "\xE3\x81\x82\xF0\x9F\x98\x80/\b");
    EXPECT_FALSE(ParseJson(R"(["\ud83d"])", &v)); // a lone high surrogate
    EXPECT_FALSE(ParseJson(R"(["\udc00"])", &v));
}

TEST(Json, MalformedTextFails) {
    JsonValue v;
    for (const char* bad : {"", "{", "[1,]", "{\"a\" 1}", "{\"a\":}", "01x", "1.", "-", "tru",
                            "\"unterminated", "\"ctl\x01\"", "[1] 2", "{\"a\":1,}", "\"\\x\""}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseJson(bad, &v));
        EXPECT_TRUE(v.IsNull());
    }
    EXPECT_TRUE(ParseJson("  {\"a\": [1, 2.5e3, -0.5]}  ", &v));
    EXPECT_EQ(v["a"].Items()[1].AsNumber(), 2500);
}

TEST(Json, DeepNestingIsRefused) {
    JsonValue v;
    std::string deep(100000, '[');
    EXPECT_FALSE(ParseJson(deep, &v));
    std::string ok = std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']');
    EXPECT_TRUE(ParseJson(ok, &v));
}

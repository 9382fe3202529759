// The update check against a local HTTP server: which version files are
// fetched, what each comparison offers, the notice text byte for byte, the
// limits of a fetched text, and a server that never answers.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "kinetta/services/settings_rules.h"
#include "kinetta/services/update_check.h"
#include "kinetta/services/update_fetch.h"
#include "support/local_http_server.h"
#include "support/temp_dir.h"

namespace {

using namespace kinetta;
using ktest::LocalHttpServer;

const std::string kHead =
    "新しいバージョンのソフトを利用できます。\r\nダウンロードする場合は下記URL"
    "をクリックしてください。";

// One block as the notice writes it.
std::string Block(const std::string& title, const std::string& current, const std::string& offered,
                  const std::string& page) {
    return title + ":\r\n現在のバージョン：" + current + "   →   更新バージョン：" + offered +
           "\r\n\r\nURL : <a href=\"" + page + "\">" + page + "</a>";
}

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(server.Port(), 0);
        ep.firmwareVersionTx40 = server.Url("/fw40.txt");
        ep.firmwarePageTx40 = "https://example.invalid/fw40";
        ep.firmwareVersionTx50 = server.Url("/fw50.txt");
        ep.firmwarePageTx50 = "https://example.invalid/fw50";
        ep.viewerVersion = server.Url("/viewer.txt");
        ep.viewerPage = "https://example.invalid/viewer";
        ep.gpsDataVersion = server.Url("/gps.txt");
        ep.gpsDataPage = "https://example.invalid/gps";
    }

    std::string Check(const std::string& firmware, const std::string& gps, const std::string& key) {
        return RunUpdateCheck({firmware, gps, key}, ep,
                              [](const std::string& a, std::string_view m, std::string* t) {
                                  return FetchText(a, m, t);
                              });
    }

    LocalHttpServer server;
    UpdateEndpoints ep;
};

TEST_F(UpdateCheckTest, ViewerVersionComparedExactly) {
    server.Set("/viewer.txt", "VER:2.0.1");
    EXPECT_EQ(Check("", "", ""), "");
    EXPECT_EQ(server.RequestCount("/viewer.txt"), 1);

    server.Set("/viewer.txt", "VER:2.0.2");
    EXPECT_EQ(Check("", "", ""),
              kHead + "\r\n\r\n" +
                  Block("ビューワーソフト", "2.0.1", "2.0.2", "https://example.invalid/viewer"));
    server.Set("/viewer.txt", "header text VER:2.0.0");
    EXPECT_NE(Check("", "", "").find("更新バージョン：2.0.0\r\n"), std::string::npos);

    // A line break after the version is no part of it (only printable text is kept).
    server.Set("/viewer.txt", "VER:2.0.1\r\n");
    EXPECT_EQ(Check("", "", ""), "");
    // No marker: the item drops out silently.
    server.Set("/viewer.txt", "2.0.9");
    EXPECT_EQ(Check("", "", ""), "");
}

TEST_F(UpdateCheckTest, WhatIsRequestedDependsOnTheInputs) {
    server.Set("/viewer.txt", "VER:2.0.1");
    server.Set("/fw40.txt", "VER:1.2.3");
    server.Set("/gps.txt", "230525");
    // No model key, no GPS data version: only the viewer's file.
    EXPECT_EQ(Check("1.2.3", "", ""), "");
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"/viewer.txt"});
    // The TX40 key asks for the TX40 file, never the TX50 one.
    EXPECT_EQ(Check("1.2.3", "230525", std::string(kModelKeyTx40)), "");
    EXPECT_EQ(server.RequestCount("/fw40.txt"), 1);
    EXPECT_EQ(server.RequestCount("/fw50.txt"), 0);
    EXPECT_EQ(server.RequestCount("/gps.txt"), 1);
    // An empty version address is not checked at all.
    ep.viewerVersion.clear();
    EXPECT_EQ(Check("1.2.3", "", "other key"), "");
    EXPECT_EQ(server.RequestCount("/viewer.txt"), 2);
}

TEST_F(UpdateCheckTest, FirmwareNormalisedAndGpsDataSlashed) {
    server.Set("/viewer.txt", "VER:2.0.1");
    server.Set("/fw50.txt", "VER:Ver1.02.03.4");
    server.Set("/gps.txt", "230525");
    const std::string key(kModelKeyTx50);
    EXPECT_EQ(Check("1.02.03", "230525", key), "");
    EXPECT_EQ(
        Check("1.2.3", "230401", key),
        kHead + "\r\n\r\n" +
            Block("ドライブレコーダー本体", "1.2.3", "1.02.03", "https://example.invalid/fw50") +
            "\r\n\r\n\r\n" +
            Block("GPSデータ情報", "23/04/01", "23/05/25", "https://example.invalid/gps") + "\r\n");
    // A failed GPS data fetch gives no notice at all, whatever else differs.
    server.Set("/gps.txt", LocalHttpServer::Answer{404, "230601"});
    server.Set("/viewer.txt", "VER:2.0.2");
    EXPECT_EQ(Check("1.2.3", "230401", key), "");
}

TEST_F(UpdateCheckTest, ThreeBlocksInOrder) {
    server.Set("/viewer.txt", "VER:2.1.0");
    server.Set("/fw40.txt", "VER:1.3.0");
    server.Set("/gps.txt", "240101");
    EXPECT_EQ(
        Check("1.2.3", "230525", std::string(kModelKeyTx40)),
        kHead + "\r\n\r\n" +
            Block("ドライブレコーダー本体", "1.2.3", "1.3.0", "https://example.invalid/fw40") +
            "\r\n\r\n\r\n" +
            Block("ビューワーソフト", "2.0.1", "2.1.0", "https://example.invalid/viewer") +
            "\r\n\r\n\r\n" +
            Block("GPSデータ情報", "23/05/25", "24/01/01", "https://example.invalid/gps") + "\r\n");
}

TEST_F(UpdateCheckTest, FetchedMarkupStaysText) {
    server.Set("/viewer.txt", "VER:<a href=\"javascript:x\">2.0.9</a>&");
    const std::string m = Check("", "", "");
    EXPECT_NE(m.find("更新バージョン：&lt;a href=&quot;javascript:x&quot;&gt;2.0.9&lt;/a&gt;&amp;"),
              std::string::npos)
        << m;
    EXPECT_EQ(m.find("javascript:x\""), std::string::npos);
}

// A server's version texts reach the notice as printable text only: line
// breaks (a server's own "URL :" line), NUL, BEL, ESC, the C1 controls, the
// line separator and the bidirectional controls are dropped, bytes that are no
// UTF-8 show as U+FFFD, and the only "URL :" lines are the notice's own.
TEST_F(UpdateCheckTest, HostileVersionTextsShowAsPrintableText) {
    server.Set("/fw40.txt", "VER:1.3\r\nURL : x");
    server.Set("/viewer.txt", std::string("VER:2.0.9\r\n\r\nURL : http://evil.invalid/\0\x1b[31m\a"
                                          "\xe2\x80\xae\xc2\x85\xe2\x80\xa8\xe2\x81\xa6\x7f\xff",
                                          59));
    server.Set("/gps.txt", "24\r\n0101\x1b\xe2\x80\xad");
    const std::string m = Check("1.2.3", "230525", std::string(kModelKeyTx40));
    EXPECT_EQ(
        m, kHead + "\r\n\r\n" +
               Block("ドライブレコーダー本体", "1.2.3", "1.3 : ", "https://example.invalid/fw40") +
               "\r\n\r\n\r\n" +
               Block("ビューワーソフト", "2.0.1", "2.0.9URL : http://evil.invalid/[31m\uFFFD",
                     "https://example.invalid/viewer") +
               "\r\n\r\n\r\n" +
               Block("GPSデータ情報", "23/05/25", "24/01/01", "https://example.invalid/gps") +
               "\r\n");
    size_t urlLines = 0;
    for (size_t at = 0; at < m.size();) {
        const size_t end = std::min(m.find("\r\n", at), m.size());
        const std::string line = m.substr(at, end - at);
        if (line.rfind("URL", 0) == 0) {
            ++urlLines;
            EXPECT_NE(line.find("URL : <a href=\"https://example.invalid/"), std::string::npos)
                << line;
        }
        for (unsigned char c : line)
            EXPECT_TRUE(c >= 0x20 && c != 0x7F) << "control " << int(c) << " in " << line;
        at = end + 2;
    }
    EXPECT_EQ(urlLines, 3u);
}

TEST_F(UpdateCheckTest, FetchLimits) {
    std::string text;
    // 259 characters after the marker pass, 260 fail; characters, not bytes.
    server.Set("/a", "VER:" + std::string(259, '9'));
    EXPECT_TRUE(FetchText(server.Url("/a"), kVersionMarker, &text));
    EXPECT_EQ(text.size(), 259u);
    server.Set("/a", "VER:" + std::string(260, '9'));
    EXPECT_FALSE(FetchText(server.Url("/a"), kVersionMarker, &text));
    std::string kana;
    for (int i = 0; i < 259; ++i)
        kana += "あ";
    server.Set("/a", "VER:" + kana);
    EXPECT_TRUE(FetchText(server.Url("/a"), kVersionMarker, &text));
    // The marker is looked for in the first 1024 bytes only.
    server.Set("/a", std::string(1021, ' ') + "VER:1.0");
    EXPECT_FALSE(FetchText(server.Url("/a"), kVersionMarker, &text));
    server.Set("/a", std::string(1017, ' ') + "VER:1.0" + std::string(5000, 'x'));
    ASSERT_TRUE(FetchText(server.Url("/a"), kVersionMarker, &text));
    EXPECT_EQ(text, "1.0");
    // The text ends with the piece.
    server.Set("/a", std::string(1018, ' ') + "VER:1.0");
    ASSERT_TRUE(FetchText(server.Url("/a"), kVersionMarker, &text));
    EXPECT_EQ(text, "1.");
    // Without a marker the text is the last 1024-byte piece.
    server.Set("/a", std::string(2048, 'x') + "230601");
    ASSERT_TRUE(FetchText(server.Url("/a"), {}, &text));
    EXPECT_EQ(text, "230601");
    // Bytes that are no UTF-8 become U+FFFD.
    server.Set("/a", "VER:2.\xff");
    ASSERT_TRUE(FetchText(server.Url("/a"), kVersionMarker, &text));
    EXPECT_EQ(text, "2.\xEF\xBF\xBD");
    // An error status, an unknown path and a scheme other than http(s) fail.
    server.Set("/a", LocalHttpServer::Answer{500, "VER:2.0.1"});
    EXPECT_FALSE(FetchText(server.Url("/a"), kVersionMarker, &text));
    EXPECT_FALSE(FetchText(server.Url("/none"), {}, &text));
    ktest::TempDir d;
    d.Write("v.txt", "VER:2.0.1");
    EXPECT_FALSE(FetchText("file://" + d.path() + "/v.txt", kVersionMarker, &text));
}

TEST_F(UpdateCheckTest, ASilentServerNeitherHangsNorDelaysTheAbort) {
    server.Set("/silent", LocalHttpServer::Answer{200, "", true});
    std::string text;
    // The transfer time-out ends it on its own.
    EXPECT_FALSE(FetchText(server.Url("/silent"), kVersionMarker, &text, nullptr, {1000, 300}));

    // An abort from another thread ends it at once.
    FetchAbort abort;
    const auto start = std::chrono::steady_clock::now();
    std::thread worker([&] { EXPECT_FALSE(FetchText(server.Url("/silent"), {}, &text, &abort)); });
    while (server.RequestCount("/silent") < 2)
        std::this_thread::yield();
    abort.Abort();
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // Nothing more is fetched after an abort.
    server.Set("/a", "VER:1");
    EXPECT_FALSE(FetchText(server.Url("/a"), kVersionMarker, &text, &abort));
    EXPECT_EQ(server.RequestCount("/a"), 0);
}

TEST(UpdateRules, ComparisonForms) {
    EXPECT_EQ(NormaliseFirmwareVersion("1.2.3"), "1.2.3");
    EXPECT_EQ(NormaliseFirmwareVersion("Ver1.02.03.4"), "1.02.03");
    EXPECT_EQ(NormaliseFirmwareVersion(" v1.2\r\n"), " 1.2\r\n");
    EXPECT_EQ(NormaliseFirmwareVersion("..."), "..");
    EXPECT_EQ(GpsDataSlashForm("230525"), "23/05/25");
    EXPECT_EQ(GpsDataSlashForm("2305250108"), "23/05/2501/08/");
    EXPECT_EQ(GpsDataSlashForm("1"), "1");
    EXPECT_EQ(GpsDataSlashForm("あい"), "あい/");
}

TEST(UpdateRules, MessageCutAt1299Units) {
    // Very long versions: the text stops at 1299 UTF-16 units, never inside a character.
    std::string longText;
    for (int i = 0; i < 400; ++i)
        longText += "𝟘"; // two UTF-16 units each
    const std::string m = FormatUpdateMessage({{"t", longText, longText, "p"}});
    EXPECT_LE(Utf16Length(m), kMaxMessageUnits);
    EXPECT_GE(Utf16Length(m), kMaxMessageUnits - 1);
    EXPECT_EQ(SanitizeUtf8(m), m);
    EXPECT_EQ(FormatUpdateMessage({}), "");
}

TEST(UpdateRules, EndpointsFile) {
    ktest::TempDir d;
    UpdateEndpoints ep;
    EXPECT_FALSE(ReadUpdateEndpoints(d.path() + "/endpoints.ini", &ep));
    d.Write("endpoints.ini",
            "[ENDPOINTS]\r\nVIEWER_VERSION=http://h/v.txt\r\nviewer_page = "
            "http://h/p\r\nGPSDATA_VERSION=\r\n[OTHER]\r\nFIRMWARE_PAGE_TX40=x\r\n");
    ASSERT_TRUE(ReadUpdateEndpoints(d.path() + "/endpoints.ini", &ep));
    EXPECT_EQ(ep.viewerVersion, "http://h/v.txt");
    EXPECT_EQ(ep.viewerPage, "http://h/p");
    EXPECT_EQ(ep.gpsDataVersion, "");
    EXPECT_EQ(ep.firmwarePageTx40, "");
    // Nothing configured: the check asks for nothing and offers nothing.
    int fetches = 0;
    EXPECT_EQ(RunUpdateCheck({"1.2.3", "230525", std::string(kModelKeyTx40)}, UpdateEndpoints{},
                             [&](const std::string&, std::string_view, std::string*) {
                                 ++fetches;
                                 return true;
                             }),
              "");
    EXPECT_EQ(fetches, 0);
}

} // namespace

namespace {

TEST(SettingsRules, SwitchesByFamilyAndVersionLine) {
    using namespace kinetta;
    for (int i = 0; i < kSettingsSwitchCount; ++i) {
        EXPECT_EQ(SettingsSwitchShown(RecorderFamily::TX40, i), i == 2) << i;
        EXPECT_EQ(SettingsSwitchShown(RecorderFamily::TX50, i), i != 5) << i;
    }
    EXPECT_FALSE(SettingsSwitchShown(RecorderFamily::TX50, 6));
    EXPECT_EQ(SettingsSwitchText(3), "速度超過");
    EXPECT_EQ(SettingsSwitchText(5), "レーダー波警報");
    EXPECT_EQ(BuildYear("May 25 2023"), "2023");
    EXPECT_EQ(BuildYear("2023 "), "2023");
    EXPECT_EQ(BuildYear(""), "");
    EXPECT_EQ(SettingsVersionLine(), "Version 2.0.1\nCopyright (C) 2023 NORVAK");
}

} // namespace

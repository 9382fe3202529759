// kinetta-cli update-check against a local HTTP server: the notice's text as
// the notice receives it, and the usage and endpoints failures.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/command_run.h"
#include "support/local_http_server.h"
#include "support/temp_dir.h"

namespace {

const std::string kCli = ktest::BuiltTool("tools/kinetta-cli/kinetta-cli");

TEST(UpdateCheckCommand, PrintsTheNoticeText) {
    ktest::LocalHttpServer server;
    server.Set("/viewer.txt", "VER:2.0.1");
    server.Set("/fw.txt", "VER:Ver1.03.00");
    server.Set("/gps.txt", "230525");
    ktest::TempDir d;
    const std::string ini =
        d.Write("endpoints.ini", "[ENDPOINTS]\nFIRMWARE_VERSION_TX50=" + server.Url("/fw.txt") +
                                     "\nFIRMWARE_PAGE_TX50=https://example.invalid/fw?a=1&b=2\n"
                                     "VIEWER_VERSION=" +
                                     server.Url("/viewer.txt") +
                                     "\nGPSDATA_VERSION=" + server.Url("/gps.txt") + "\n");
    ktest::CommandRun r =
        ktest::RunCommand(kCli + " update-check --endpoints '" + ini +
                          "' --model TX50_download --firmware 1.2.3 --gps 230525");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(
        j.at("message").get<std::string>(),
        "新しいバージョンのソフトを利用できます。\r\nダウンロードする場合は下記URLをクリックして"
        "ください。\r\n\r\nドライブレコーダー本体:\r\n現在のバージョン：1.2.3   →   "
        "更新バージョン："
        "1.03.00\r\n\r\nURL : <a href=\"https://example.invalid/fw?a=1&amp;b=2\">"
        "https://example.invalid/fw?a=1&amp;b=2</a>");

    // Nothing offered: an empty message.
    r = ktest::RunCommand(kCli + " update-check --endpoints '" + ini + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out).at("message"), "");

    r = ktest::RunCommand(kCli + " update-check --endpoints '" + d.path() + "/missing.ini'");
    EXPECT_EQ(r.status, 1);
    r = ktest::RunCommand(kCli + " update-check --model TX50_download");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: kinetta-cli update-check"), std::string::npos) << r.err;
}

} // namespace

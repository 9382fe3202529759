// kinetta-cli update-check against a local HTTP server: the notice's text as
// the notice receives it, the usage and endpoints failures, and the check's
// one deadline against servers that never answer.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

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

// Every endpoint accepts and never answers: the check ends on its one
// deadline with an empty message, not after one transfer time-out per
// version file. `timeout` only guards the test run (three times the 15 s the
// check must end within); the time taken is printed, not asserted.
TEST(UpdateCheckCommand, SilentServersEndOnTheCheckDeadline) {
    ktest::LocalHttpServer server;
    for (const char* path : {"/fw.txt", "/viewer.txt", "/gps.txt"})
        server.Set(path, ktest::LocalHttpServer::Answer{200, "", true});
    ktest::TempDir d;
    const std::string ini =
        d.Write("endpoints.ini", "[ENDPOINTS]\nFIRMWARE_VERSION_TX40=" + server.Url("/fw.txt") +
                                     "\nVIEWER_VERSION=" + server.Url("/viewer.txt") +
                                     "\nGPSDATA_VERSION=" + server.Url("/gps.txt") + "\n");
    const auto start = std::chrono::steady_clock::now();
    const ktest::CommandRun r =
        ktest::RunCommand("timeout 45 " + kCli + " update-check --endpoints '" + ini +
                          "' --model TX40_40L_Viewer_download --firmware 1.2.3 --gps 230525");
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("update-check against silent servers ended after %.2f s\n", took.count());
    ASSERT_EQ(r.status, 0) << "124: still running when the guard ended it\n" << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out).at("message"), "");
    EXPECT_EQ(server.RequestCount("/fw.txt"), 1);
}

} // namespace

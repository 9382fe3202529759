// The installation: `cmake --install` into a scratch prefix lays out the
// programs, the desktop entry, metainfo, icon and licences; the entry and the
// metainfo validate; the installed programs run from there; the installed
// viewer starts, shows its window and closes (as the window manager's close
// button closes it) with no path, a folder, a file and a missing path.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "support/command_run.h"
#include "support/temp_dir.h"

namespace {

using ktest::RunCommand;
namespace fs = std::filesystem;

bool Has(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

// The top-level windows of a process on the X display, and their closing.
class XDisplay {
public:
    XDisplay() : c_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(c_)) return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        pid_ = Atom("_NET_WM_PID");
        netName_ = Atom("_NET_WM_NAME");
        utf8_ = Atom("UTF8_STRING");
        protocols_ = Atom("WM_PROTOCOLS");
        delete_ = Atom("WM_DELETE_WINDOW");
    }
    ~XDisplay() { xcb_disconnect(c_); }
    bool ok() const { return root_ != 0; }

    // Viewable top-level windows of pid with their titles.
    std::map<xcb_window_t, std::string> Windows(pid_t pid) {
        std::map<xcb_window_t, std::string> out;
        auto* tree = xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr);
        if (!tree) return out;
        const xcb_window_t* kids = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            const xcb_window_t w = kids[i];
            auto* attr =
                xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr);
            const bool viewable = attr && attr->map_state == XCB_MAP_STATE_VIEWABLE;
            free(attr);
            if (!viewable) continue;
            const std::string p = Property(w, pid_, XCB_ATOM_CARDINAL);
            if (p.size() != 4 || *reinterpret_cast<const uint32_t*>(p.data()) != uint32_t(pid))
                continue;
            out[w] = Property(w, netName_, utf8_);
        }
        free(tree);
        return out;
    }

    // The window manager's close: WM_DELETE_WINDOW.
    void Close(xcb_window_t w) {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = w;
        e.type = protocols_;
        e.data.data32[0] = delete_;
        e.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c_, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&e));
        xcb_flush(c_);
    }

private:
    xcb_atom_t Atom(const char* name) {
        auto* r = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, strlen(name), name), nullptr);
        const xcb_atom_t a = r ? r->atom : 0;
        free(r);
        return a;
    }
    std::string Property(xcb_window_t w, xcb_atom_t prop, xcb_atom_t type) {
        auto* r =
            xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, prop, type, 0, 1024), nullptr);
        std::string v;
        if (r)
            v.assign(static_cast<const char*>(xcb_get_property_value(r)),
                     xcb_get_property_value_length(r));
        free(r);
        return v;
    }

    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
    xcb_atom_t pid_ = 0, netName_ = 0, utf8_ = 0, protocols_ = 0, delete_ = 0;
};

struct ViewerRun {
    int status = -1;              // exit status; -1 when killed or not started
    std::set<std::string> titles; // titles of the windows it showed
    std::string err;
};

// Starts exe with args in cwd with extra environment, closes every window it
// shows once seen, and waits (up to 90 s) for the process to end.
ViewerRun RunViewer(const std::string& exe, const std::vector<std::string>& args,
                    const std::string& cwd, const std::map<std::string, std::string>& env,
                    const std::string& errFile) {
    ViewerRun run;
    XDisplay x;
    EXPECT_TRUE(x.ok()) << "no X display";
    if (!x.ok()) return run;
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(126);
        for (const auto& [k, v] : env)
            setenv(k.c_str(), v.c_str(), 1);
        const int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) dup2(fd, 2);
        std::vector<char*> argv{const_cast<char*>(exe.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    std::set<xcb_window_t> closed;
    int st = 0;
    while (waitpid(pid, &st, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << exe << " did not end";
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
            return run;
        }
        for (const auto& [w, title] : x.Windows(pid)) {
            run.titles.insert(title);
            // Seen once: close it the next time round, so it has been shown.
            if (closed.insert(w).second) continue;
            x.Close(w);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    run.err = ktest::ReadFile(errFile);
    return run;
}

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = new ktest::TempDir;
        const auto r = RunCommand("cmake --install '" KINETTA_TEST_BINARY_DIR "' --prefix '" +
                                  prefix_->path() + "'");
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }
    static void TearDownTestSuite() {
        delete prefix_;
        prefix_ = nullptr;
    }
    static std::string P(const std::string& rel) { return *prefix_ / rel; }
    static ktest::TempDir* prefix_;
};
ktest::TempDir* Installed::prefix_ = nullptr;

const char* kFiles[] = {
    "bin/kinetta",
    "bin/kinetta-cli",
    "bin/kinetta-cli-draw",
    "bin/mkcard",
    "share/kinetta/endpoints.ini",
    "share/applications/org.kinetta.Kinetta.desktop",
    "share/metainfo/org.kinetta.Kinetta.metainfo.xml",
    "share/icons/hicolor/scalable/apps/org.kinetta.Kinetta.svg",
    "share/doc/kinetta/copyright",
    "share/doc/kinetta/leaflet/LICENSE",
};

TEST_F(Installed, LayoutValidatesAndRunsFromThePrefix) {
    for (const char* f : kFiles)
        EXPECT_TRUE(fs::exists(P(f))) << f;
    const auto desktop = RunCommand("desktop-file-validate '" + P(kFiles[5]) + "'");
    EXPECT_EQ(desktop.status, 0) << desktop.out << desktop.err;
    const auto meta = RunCommand("appstreamcli validate --no-net '" + P(kFiles[6]) + "'");
    EXPECT_EQ(meta.status, 0) << meta.out << meta.err;
    const std::string entry = ktest::ReadFile(P(kFiles[5]));
    EXPECT_TRUE(Has(entry, "\nCategories=AudioVideo;Video;Player;\n")) << entry;
    EXPECT_TRUE(Has(entry, "\nMimeType=video/mp4;inode/directory;\n")) << entry;
    EXPECT_TRUE(Has(entry, "\nExec=kinetta --desktop %f\n")) << entry;
    // The installed programs, with the build tree out of the search path:
    // mkcard writes a recording, the command line reads it.
    ktest::TempDir work;
    const std::string rec = work / "001_013000A_M.MP4";
    const std::string env = "env -i PATH=/usr/bin:/bin HOME='" + work.path() + "' ";
    const auto mk =
        RunCommand(env + "'" + P("bin/mkcard") + "' recording --family tx50 --out '" + rec + "'");
    ASSERT_EQ(mk.status, 0) << mk.err;
    const auto info =
        RunCommand(env + "'" + P("bin/kinetta-cli") + "' info --family tx50 '" + rec + "'");
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Has(info.out, R"("ok":true)")) << info.out.substr(0, 300);
    // A drawing command is handed to the installed drawing executable.
    const auto draw = RunCommand(env + "'" + P("bin/kinetta-cli") + "' grab --family tx50");
    EXPECT_EQ(draw.status, 2);
    EXPECT_TRUE(Has(draw.err, "usage: kinetta-cli grab")) << draw.err;
}

TEST_F(Installed, ViewerStartsShowsAndClosesWithEachKindOfPath) {
    ktest::TempDir home;
    // Settings that skip the product prompt (3: the TX50 family).
    const std::string ini = "[DISPLAY]\r\nMODELSELECT=3\r\n";
    home.Write("shell/Default_Folder.ini", ini);
    home.Write("config/kinetta/Default_Folder.ini", ini);
    const std::string folder = home.Mkdir("footage");
    const std::string file = folder + "/001_013000A_M.MP4";
    ASSERT_EQ(
        RunCommand("'" + P("bin/mkcard") + "' recording --family tx50 --out '" + file + "'").status,
        0);
    const std::string viewer = P("bin/kinetta");
    const std::map<std::string, std::string> desktopEnv{{"XDG_CONFIG_HOME", home / "config"},
                                                        {"HOME", home.path()}};

    // From a shell, no path: the window shows and closes; settings stay in
    // the current directory.
    ViewerRun plain = RunViewer(viewer, {}, home / "shell", desktopEnv, home / "err0");
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_TRUE(plain.titles.count("VistrelS")) << plain.err;

    // From the desktop entry with a folder, then a file: the settings in
    // $XDG_CONFIG_HOME/kinetta remember the source as the source dialog does.
    const std::string kept = home / "config/kinetta/Default_Folder.ini";
    ViewerRun withFolder =
        RunViewer(viewer, {"--desktop", folder}, home.path(), desktopEnv, home / "err1");
    EXPECT_EQ(withFolder.status, 0) << withFolder.err;
    EXPECT_TRUE(withFolder.titles.count("VistrelS"));
    EXPECT_TRUE(Has(ktest::ReadFile(kept), "SELECT=FOLDER")) << ktest::ReadFile(kept);
    EXPECT_TRUE(Has(ktest::ReadFile(kept), "FOLDER=" + folder)) << ktest::ReadFile(kept);
    ViewerRun withFile =
        RunViewer(viewer, {"--desktop", file}, home.path(), desktopEnv, home / "err2");
    EXPECT_EQ(withFile.status, 0) << withFile.err;
    EXPECT_TRUE(Has(ktest::ReadFile(kept), "SELECT=FILE")) << ktest::ReadFile(kept);
    EXPECT_TRUE(Has(ktest::ReadFile(kept), "FILE=" + file)) << ktest::ReadFile(kept);
    EXPECT_FALSE(fs::exists(home / "Default_Folder.ini")); // not in the home folder

    // A path that does not exist: a message box and a line on stderr, then the
    // viewer as usual; no crash.
    ViewerRun missing =
        RunViewer(viewer, {home / "no-such-card"}, home / "shell", desktopEnv, home / "err3");
    EXPECT_EQ(missing.status, 0) << missing.err;
    EXPECT_TRUE(missing.titles.count("ERROR")) << missing.err;
    EXPECT_TRUE(missing.titles.count("VistrelS"));
    EXPECT_TRUE(Has(missing.err, "指定されたファイルまたはフォルダーが見つかりません。"))
        << missing.err;
    // Bad usage is refused before any window.
    EXPECT_EQ(RunCommand("'" + viewer + "' --frobnicate").status, 2);
}

} // namespace

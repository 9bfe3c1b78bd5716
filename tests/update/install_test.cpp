// The update over a real HTTPS server on loopback (the tests' own certificate authority, the
// product hosts mapped to it): the transfer's limits, the check's sources, and the whole install
// run by a program built from the updater's code inside test bundles.
#include "tests/support/wait.h"
#include "tests/update/update_server.h"
#include "tests/update/update_test.h"
#include "update/bundle_digest.h"
#include "update/https_get.h"
#include "update/update_check.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <regex>

namespace {

using namespace UpdateTest;
namespace fs = std::filesystem;

const std::string kDevKey = std::string(QLN_DEV_KEYS_DIR) + "/DEVELOPMENT-ONLY-release-private.pem";

// A fetch into memory, or into a file with every progress report and when it came.
struct Fetched {
    bool ok = false;
    std::string body;
    std::vector<std::pair<uint64_t, uint64_t>> reports;
    std::vector<std::chrono::steady_clock::time_point> at;
};
Fetched Fetch(const std::string& url, uint64_t limit, bool toFile = false, bool stop = false) {
    Fetched fetched;
    const UpdateProgress progress = [&](uint64_t received, uint64_t total) {
        fetched.reports.emplace_back(received, total);
        fetched.at.push_back(std::chrono::steady_clock::now());
        return !stop;
    };
    FILE* file = toFile ? std::tmpfile() : nullptr;
    fetched.ok = HttpsGet(url, limit, file, toFile ? &progress : nullptr, fetched.body);
    if (file) std::fclose(file);
    return fetched;
}

TEST(HttpsGet, TakesWholeBodiesAndRefusesEveryMisbehaviour) {
    WriteFile(Server().files + "/small", std::string(16384, 'm'));
    // The good ones first; the two stalls are refused after ten seconds, so all run at once.
    const std::vector<std::string> urls = Split(
        "/files/small|https://api.quillon.app/files/small|/redirect//files/small|"
        "/redirect/https://api.quillon.app/files/small|/undeclared/16384|/declared/16385/16|"
        "/undeclared/16385|/endless|/declared/1000/500|/redirect/http://quillon.app/files/small|"
        "/loop|/files/missing|http://quillon.app/files/small|ftp://quillon.app/files/small|/drip|"
        "/stall");
    std::vector<std::future<Fetched>> results;
    for (const std::string& url : urls) {
        results.push_back(std::async(
            std::launch::async, [&url] { return Fetch(url[0] == '/' ? Url(url) : url, 16384); }));
    }
    for (size_t i = 0; i < results.size(); ++i) {
        const Fetched fetched = results[i].get();
        EXPECT_EQ(fetched.ok, i < 5) << urls[i];
        EXPECT_EQ(fetched.body.size(), fetched.ok ? 16384u : 0u) << urls[i];
    }
    // A declared length above the limit never reaches the file.
    EXPECT_TRUE(Fetch(Url("/declared/16385/16"), 16384, true).reports.empty());
    // A certificate that no trusted authority signed is refused.
    const std::string other = Server().dir.File("other.pem");
    Shell("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout " +
          Server().dir.File("other.key") + " -out " + other + " -days 2 -subj /CN=quillon.app");
    setenv("QLN_TEST_CA_FILE", other.c_str(), 1);
    EXPECT_FALSE(Fetch(Url("/files/small"), 16384).ok);
    setenv("QLN_TEST_CA_FILE", Server().dir.File("ca.pem").c_str(), 1);
}

// At most ten reports a second, always the last one; a progress callable that says stop ends
// the transfer as a failure.
TEST(HttpsGet, ReportsProgressAtMostTenTimesASecond) {
    constexpr size_t kSize = 3 << 20;  // about a second
    const Fetched fetched = Fetch(Url("/paced/" + std::to_string(kSize)), kSize, true);
    EXPECT_TRUE(fetched.ok);
    ASSERT_GE(fetched.reports.size(), 3u);
    EXPECT_EQ(fetched.reports.back(), std::make_pair(uint64_t(kSize), uint64_t(kSize)));
    for (size_t i = 1; i + 1 < fetched.at.size(); ++i) {
        EXPECT_GE(fetched.at[i] - fetched.at[i - 1], std::chrono::milliseconds(100)) << i;
    }
    EXPECT_FALSE(Fetch(Url("/paced/" + std::to_string(kSize)), kSize, true, true).ok);
}

const std::string kSign = QLN_SIGN_TOOL_PATH;
const std::string kManifest = kSign + " manifest " + kDevKey + " linux-free 1.0.2 ";

// This build's own manifest on the product site, one at a URL, and files of at most 16 KiB.
TEST(CheckForUpdate, FollowsItsSources) {
    const TempDir dir;
    const std::string manifest =
        Shell(kManifest + Url("/files/q.zip") + " " + std::string(64, 'a'));
    const std::string padded = manifest + std::string(16384 - manifest.size(), ' ');
    WriteFile(Server().files + "/linux-free.json", manifest);
    WriteFile(Server().files + "/over", padded + " ");
    WriteFile(dir.File("exact"), padded);
    WriteFile(dir.File("over"), padded + " ");
    int good = 3;  // the first three sources give the update, the others nothing
    for (const std::string& source :
         {std::string(), Url("/files/linux-free.json"), dir.File("exact"), dir.File("over"),
          dir.File("missing"), Url("/files/over"),
          std::string("http://quillon.app/files/linux-free.json")}) {
        const UpdateCheckResult result = CheckForUpdate(source);
        EXPECT_EQ(result.available && result.manifest.version == "1.0.2", good-- > 0) << source;
        EXPECT_EQ(result.currentVersion, "1.0.1");
    }
}

// ---- the install, run by the update child from inside an installed test bundle ----

void MakeBundle(const std::string& folder, const std::string& version) {
    fs::create_directories(folder + "/bin");
    fs::copy_file(QLN_UPDATE_CHILD, folder + "/bin/quillon", fs::copy_options::overwrite_existing);
    WriteFile(folder + "/bundle.ini", "identifier=app.quillon.free\nversion=" + version + "\n");
    Shell(kSign + " bundle " + folder + " " + kDevKey);
}

struct Install {
    TempDir dir;
    std::string apps = dir.File("apps"), app = apps + "/Quillon", tmp = dir.File("tmp");
    std::string fresh = dir.File("new/Quillon"), zip = dir.File("update.zip");
    std::string log = dir.File("log"), marker = dir.File("marker");

    Install() {
        fs::create_directories(tmp);
        MakeBundle(app, "1.0.1");
        MakeBundle(fresh, "1.0.2");
    }
    // Zips the new bundle (the one folder in new), adds an entry as a hostile publisher would (a
    // link when a target is given), serves the zip and announces it with its digest or the one
    // given.
    void Publish(const std::string& entry = "", const std::string& target = "",
                 std::string sha = "") {
        Shell(kSign + " archive " + dir.File("new") + "/* " + zip);
        if (!entry.empty()) {
            Shell(
                "python3 -c 'import sys, zipfile\n"
                "z = zipfile.ZipFile(sys.argv[1], \"a\")\n"
                "i = zipfile.ZipInfo(sys.argv[2])\n"
                "i.create_system = 3\n"
                "i.external_attr = (0o120777 if sys.argv[3] else 0o100644) << 16\n"
                "z.writestr(i, sys.argv[3] or \"x\")' " +
                zip + " '" + entry + "' '" + target + "'");
        }
        const std::string name = "update-" + fs::path(dir.path).filename().string() + ".zip";
        fs::copy_file(zip, Server().files + "/" + name, fs::copy_options::overwrite_existing);
        WriteFile(dir.File("manifest.json"), Shell(kManifest + Url("/files/" + name) + " " +
                                                   (sha.empty() ? Sha256FileHexLower(zip) : sha)));
    }
    ProcessResult Flow(std::vector<std::string> argv = {}) {
        argv.insert(argv.end(), {"env", "TMPDIR=" + tmp, "QLN_TEST_MARKER=" + marker,
                                 "QLN_TEST_MANIFEST=" + dir.File("manifest.json"),
                                 app + "/bin/quillon", "flow", log});
        return RunProcess(argv);
    }
    // What is left beside the installed bundle and in the temporary folder.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const std::string& folder : {apps, tmp}) {
            for (const auto& entry : fs::directory_iterator(folder)) {
                if (entry.path() != app) names.push_back(entry.path().filename().string());
            }
        }
        return names;
    }
};

// The cases of refusals.txt, side by side, each in folders of its own.
TEST(UpdateInstall, EveryRefusalHasItsSentenceAndChangesNothing) {
    Server();
    std::vector<std::vector<std::string>> cases;
    for (const std::string& line : Split(Slurp(QLN_REFUSALS), "\n")) {
        if (!line.empty() && line[0] != '#') cases.push_back(Split(line, " | "));
    }
    ASSERT_GE(cases.size(), 15u);
    std::vector<std::future<void>> runs;
    for (std::vector<std::string>& c : cases) {
        runs.push_back(std::async(std::launch::async, [&c] {
            SCOPED_TRACE(c[0]);
            ASSERT_EQ(c.size(), 6u);
            for (std::string& field : c) field = field == "-" ? "" : field;
            Install in;
            Shell("cd " + in.dir.path + " && SIGN=" + kSign + " && KEY=" + kDevKey + " && " +
                  (c[1].empty() ? "true" : c[1]));
            const auto before = BundleDigest(in.app);
            if (!fs::exists(in.dir.File("manifest.json"))) in.Publish(c[2], c[3], c[4]);
            EXPECT_EQ(in.Flow().exitCode, 0);
            const std::string log = Slurp(in.log);
            const std::string message = std::regex_replace(c[5], std::regex("APPS"), in.apps);
            EXPECT_EQ(log.substr(log.find("result ")), "result " + message + "\nended\n");
            EXPECT_EQ(BundleDigest(in.app), before);
            EXPECT_TRUE(in.Leftovers().empty());
        }));
    }
    for (auto& run : runs) run.get();
}

// Kept where it is: a bundle on a read-only file system, and one the user may not change.
TEST(UpdateInstall, ABundleThatCannotBeChangedIsLeftAlone) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting and changing users need root";
    Install in;
    in.Publish();
    const std::string messages[] = {
        "Update failed: your account can't change apps in " + in.apps +
            ". Download the new version from quillon.app instead.",
        "Update failed: Quillon can't update itself where it is. Install it in a folder you own, "
        "start it from there, and try again."};
    fs::permissions(in.dir.path, fs::perms::all);  // the other user reads the bundle and log
    ASSERT_EQ(mount("none", in.apps.c_str(), "tmpfs", 0, nullptr), 0);
    MakeBundle(in.app, "1.0.1");
    fs::permissions(in.apps, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    WriteFile(in.log, "");
    fs::permissions(in.log, fs::perms::all);
    EXPECT_EQ(in.Flow({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}).exitCode, 0);
    ASSERT_EQ(mount("none", in.apps.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_EQ(in.Flow().exitCode, 0);
    umount(in.apps.c_str());
    const std::string log = Slurp(in.log);
    for (const std::string& message : messages)
        EXPECT_NE(log.find("result " + message + "\n"), std::string::npos) << log;
}

// The whole way: progress to the page, the swap, the end of the program, and the new bundle
// started by the relaunch script once the old program has ended; nothing left behind.
TEST(UpdateInstall, SwapsAndStartsTheNewBundle) {
    Install in;
    in.Publish();
    EXPECT_EQ(in.Flow().exitCode, 0);
    const std::string size = std::to_string(fs::file_size(in.zip)), log = Slurp(in.log);
    EXPECT_TRUE(log.ends_with("\nif (window.onUpdateProgress) onUpdateProgress(" + size + "," +
                              size +
                              ");\nif (window.onUpdateInstalling) onUpdateInstalling();\nquit\n"))
        << log;
    EXPECT_TRUE(
        WaitUntil([&] { return Slurp(in.marker) == "1.0.2\n" && in.Leftovers().empty(); }, 10000));
    EXPECT_EQ(Slurp(in.app + "/bundle.ini"), "identifier=app.quillon.free\nversion=1.0.2\n");
}

// Killed before, halfway through and after the swap, the next start finds a whole bundle, runs
// it and clears what the install left.
TEST(UpdateInstall, AnInstallCutShortLeavesABundleThatRuns) {
    for (const auto& [step, version] : {std::pair{1, "1.0.1"}, {2, "1.0.2"}, {3, "1.0.2"}}) {
        SCOPED_TRACE(step);
        Install in;
        const std::string staged = in.apps + "/.app.quillon.free-update-12345678/Quillon";
        fs::create_directories(staged);
        fs::copy(in.fresh, staged, fs::copy_options::recursive);
        const ProcessResult killed =
            RunProcess({in.app + "/bin/quillon", "install", staged, std::to_string(step)});
        EXPECT_EQ(killed.exitCode, 128 + SIGKILL);
        EXPECT_EQ(
            RunProcess({"env", "QLN_TEST_MARKER=" + in.marker, in.app + "/bin/quillon"}).exitCode,
            0);
        EXPECT_EQ(Slurp(in.marker), std::string(version) + "\n");
        EXPECT_TRUE(in.Leftovers().empty());
    }
}

}  // namespace

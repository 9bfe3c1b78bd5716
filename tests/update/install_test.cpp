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
#include <thread>

namespace {

using namespace UpdateTest;
namespace fs = std::filesystem;

const std::string kDevKey = std::string(QLN_DEV_KEYS_DIR) + "/DEVELOPMENT-ONLY-release-private.pem";

struct Fetched {
    bool ok = false;
    std::string body;
    std::vector<std::pair<uint64_t, uint64_t>> reports;
    std::vector<double> at;  // seconds since the start, a report each
};

Fetched Fetch(const std::string& url, uint64_t limit, bool toFile = false) {
    Fetched fetched;
    const auto started = std::chrono::steady_clock::now();
    const UpdateProgress progress = [&](uint64_t received, uint64_t total) {
        fetched.reports.emplace_back(received, total);
        fetched.at.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        return true;
    };
    FILE* file = toFile ? std::tmpfile() : nullptr;
    fetched.ok = HttpsGet(url, limit, file, toFile ? &progress : nullptr, fetched.body);
    if (file) std::fclose(file);
    return fetched;
}

TEST(HttpsGet, TakesWholeBodiesAndRefusesEveryMisbehaviour) {
    Server().Serve("small", std::string(16384, 'm'));
    struct Case {
        std::string url;
        bool ok;
    };
    const Case cases[] = {
        {Url("/files/small"), true},
        {"https://api.quillon.app/files/small", true},
        {Url("/redirect//files/small"), true},
        {Url("/redirect/https://api.quillon.app/files/small"), true},
        {Url("/declared/16385"), false},  // refused before any body byte
        {Url("/undeclared/16385"), false},
        {Url("/undeclared/16384"), true},
        {Url("/endless"), false},
        {Url("/short"), false},
        {Url("/redirect/http://quillon.app/files/small"), false},
        {Url("/loop"), false},
        {Url("/files/missing"), false},
        {"http://quillon.app/files/small", false},
        {"ftp://quillon.app/files/small", false},
        {Url("/drip"), false},   // one byte a second is a stall
        {Url("/stall"), false},  // headers, then nothing
    };
    // All at once: the two stalls take their ten seconds together.
    std::vector<std::future<Fetched>> results;
    for (const Case& c : cases) {
        results.push_back(std::async(std::launch::async, [&c] { return Fetch(c.url, 16384); }));
    }
    for (size_t i = 0; i < results.size(); ++i) {
        const Fetched fetched = results[i].get();
        EXPECT_EQ(fetched.ok, cases[i].ok) << cases[i].url;
        EXPECT_EQ(fetched.body.size(), fetched.ok ? 16384u : 0u) << cases[i].url;
    }
    // A declared length above the limit never reaches the file.
    EXPECT_TRUE(Fetch(Url("/declared/16385"), 16384, true).reports.empty());
}

TEST(HttpsGet, ReportsProgressAtMostTenTimesASecondAndAlwaysTheLastReport) {
    constexpr size_t kSize = 3 << 20;  // about a second
    const Fetched fetched = Fetch(Url("/paced/" + std::to_string(kSize)), kSize, true);
    EXPECT_TRUE(fetched.ok);
    ASSERT_GE(fetched.reports.size(), 3u);
    EXPECT_EQ(fetched.reports.back(), std::make_pair(uint64_t(kSize), uint64_t(kSize)));
    for (size_t i = 1; i + 1 < fetched.at.size(); ++i) {
        EXPECT_GE(fetched.at[i] - fetched.at[i - 1], 0.1) << i;
    }
    // A progress callable that says stop ends the transfer as a failure.
    const UpdateProgress stop = [](uint64_t, uint64_t) { return false; };
    FILE* file = std::tmpfile();
    std::string body;
    EXPECT_FALSE(HttpsGet(Url("/paced/" + std::to_string(kSize)), kSize, file, &stop, body));
    std::fclose(file);
}

// ---- manifests and bundles signed with the development key, as the publisher makes them ----

std::string SignedManifest(const std::string& version, const std::string& url,
                           const std::string& sha256) {
    return Shell(std::string(QLN_SIGN_TOOL_PATH) + " manifest " + kDevKey + " linux-free " +
                 version + " " + url + " " + sha256);
}

TEST(CheckForUpdate, FollowsItsSources) {
    const TempDir dir;
    const std::string manifest = SignedManifest("1.0.2", Url("/files/q.zip"), std::string(64, 'a'));
    Server().Serve("linux-free.json", manifest);
    const std::string padded = manifest + std::string(16384 - manifest.size(), ' ');
    WriteFile(dir.File("exact"), padded);
    WriteFile(dir.File("over"), padded + " ");
    WriteFile(dir.File("empty"), "");
    Server().Serve("over", padded + " ");
    Server().Serve("manifest", manifest);
    const std::pair<std::string, bool> sources[] = {
        {"", true},  // this build's own manifest on the product web site
        {Url("/files/manifest"), true},
        {dir.File("exact"), true},
        {dir.File("over"), false},
        {dir.File("empty"), false},
        {dir.File("missing"), false},
        {"http://quillon.app/files/manifest", false},
        {Url("/files/over"), false},
    };
    for (const auto& [source, available] : sources) {
        const UpdateCheckResult result = CheckForUpdate(source);
        EXPECT_EQ(result.available, available) << source;
        EXPECT_EQ(result.currentVersion, "1.0.1");
        if (available) {
            EXPECT_EQ(result.manifest.version, "1.0.2");
        }
    }
}

// ---- the install, run by the update child from inside an installed test bundle ----

const std::string kName = "Quillon";
const std::string kNotYours =
    "Update failed: your account can't change apps in APPS. Download the "
    "new version from quillon.app instead.";

void MakeBundle(const std::string& folder, const std::string& version,
                const std::string& identifier = "app.quillon.free",
                const std::string& key = kDevKey) {
    fs::create_directories(folder + "/bin");
    fs::copy_file(QLN_UPDATE_CHILD, folder + "/bin/quillon", fs::copy_options::overwrite_existing);
    WriteFile(folder + "/bundle.ini", "identifier=" + identifier + "\nversion=" + version + "\n");
    Shell(std::string(QLN_SIGN_TOOL_PATH) + " bundle " + folder + " " + key);
}

// Adds an entry to a zip as a hostile publisher would; a link when target is given.
void AddZipEntry(const std::string& zip, const std::string& name, const std::string& target = "") {
    Shell(
        "python3 -c 'import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1], \"a\")\n"
        "i = zipfile.ZipInfo(sys.argv[2])\n"
        "i.create_system = 3\n"
        "i.external_attr = (0o120777 if sys.argv[3] else 0o100644) << 16\n"
        "z.writestr(i, sys.argv[3] or \"x\")' " +
        zip + " '" + name + "' '" + target + "'");
}

struct Install {
    TempDir dir;
    std::string apps = dir.File("apps"), app = apps + "/" + kName, tmp = dir.File("tmp");
    std::string fresh = dir.File("new/" + kName), zip = dir.File("update.zip");
    std::string log = dir.File("log"), marker = dir.File("marker");

    Install() {
        fs::create_directories(tmp);
        MakeBundle(app, "1.0.1");
        MakeBundle(fresh, "1.0.2");
    }
    // Zips the new bundle, serves it and its signed manifest.
    void Publish() {
        const std::string sha =
            Shell(std::string(QLN_SIGN_TOOL_PATH) + " archive " + fresh + " " + zip);
        Offer("1.0.2", Url("/files/update-" + Tag() + ".zip"), sha);
        fs::copy_file(zip, Server().files + "/update-" + Tag() + ".zip",
                      fs::copy_options::overwrite_existing);
    }
    void Offer(const std::string& version, const std::string& url, const std::string& sha) {
        WriteFile(dir.File("manifest.json"), SignedManifest(version, url, sha));
    }
    std::string Tag() const { return fs::path(dir.path).filename().string(); }
    ProcessResult Flow(const std::vector<std::string>& prefix = {}) {
        std::vector<std::string> argv = prefix;
        for (const std::string& arg :
             {std::string("env"), "TMPDIR=" + tmp, "QLN_TEST_MARKER=" + marker,
              "QLN_TEST_MANIFEST=" + dir.File("manifest.json"), app + "/bin/quillon",
              std::string("flow"), log}) {
            argv.push_back(arg);
        }
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

// A key of the install's own, not the development key.
std::string NewKey(const Install& in) {
    Shell(std::string(QLN_SIGN_TOOL_PATH) + " genkey " + in.dir.File("other.pem"));
    return in.dir.File("other.pem");
}

// The folder renamed within its parent.
std::string Renamed(const std::string& folder, const std::string& name) {
    const std::string renamed = fs::path(folder).parent_path() / name;
    fs::rename(folder, renamed);
    return renamed;
}

TEST(UpdateInstall, EveryRefusalHasItsSentenceAndChangesNothing) {
    const std::string notSigned =
        "Update failed: the new version is not signed by Quillon. Nothing was changed.";
    const std::string notUnpacked =
        "Update failed: the update could not be unpacked. Nothing was changed.";
    const std::string notThisApp =
        "Update failed: the update did not contain this app. Nothing was changed.";
    // Each case changes the new bundle before it is published, or offers something of its own
    // instead; a hostile publisher may then add an entry (a link when a target is given).
    struct Case {
        const char* name;
        std::function<void(Install&)> change;
        std::string entry, target, message;
    };
    const auto bundle = [](const char* version, const char* id) {
        return [=](Install& in) { MakeBundle(in.fresh, version, id); };
    };
    const auto write = [](const char* file, std::string text) {
        return [=](Install& in) { WriteFile(in.fresh + file, text); };
    };
    const auto offer = [](const char* version, const char* path) {
        return [=](Install& in) { in.Offer(version, Url(path), std::string(64, 'a')); };
    };
    const auto nothing = [](Install&) {};
    const Case cases[] = {
        {"withdrawn", offer("1.0.1", "/files/x.zip"), "", "",
         "Update failed: the update is no longer available. Try again later."},
        {"declared too big", offer("1.0.2", "/declared/209715201"), "", "",
         "Update failed: the download did not complete. Check your connection and try again."},
        {"wrong digest", nothing, "", "",
         "Update failed: the download did not match the signed update. Nothing was changed."},
        {"no signature", [](Install& in) { fs::remove(in.fresh + "/bundle.sig"); }, "", "",
         notSigned},
        {"corrupt signature", write("/bundle.sig", std::string(128, '0')), "", "", notSigned},
        {"foreign key",
         [](Install& in) { MakeBundle(in.fresh, "1.0.2", "app.quillon.free", NewKey(in)); }, "", "",
         notSigned},
        {"file added after signing", write("/bin/extra", "x"), "", "", notSigned},
        {"another identifier", bundle("1.0.2", "app.other"), "", "", notSigned},
        {"another version", bundle("1.0.3", "app.quillon.free"), "", "",
         "Update failed: the update is not the version that was announced. Nothing was changed."},
        {"dot dot", nothing, "../evil", "", notUnpacked},
        {"absolute path", nothing, "/tmp/evil", "", notUnpacked},
        {"link out", nothing, kName + "/out", "../../..", notUnpacked},
        {"two top entries", nothing, "Other/x", "", notThisApp},
        {"another name", [](Install& in) { in.fresh = Renamed(in.fresh, "Other"); }, "", "",
         notThisApp},
        // A bundle the package manager installed is left to it, even when the user may change it.
        {"package manager", [](Install& in) { WriteFile(in.app + "/packaged-by", "dpkg\n"); }, "",
         "", kNotYours},
    };
    // Each case has folders of its own; they run side by side.
    std::vector<std::future<void>> runs;
    for (const Case& c : cases) {
        runs.push_back(std::async(std::launch::async, [&c] {
            SCOPED_TRACE(c.name);
            Install in;
            c.change(in);
            const auto before = BundleDigest(in.app);
            if (!fs::exists(in.dir.File("manifest.json"))) in.Publish();
            if (!c.entry.empty()) AddZipEntry(in.zip, c.entry, c.target);
            // The zip as it now is, served with its digest announced, or another one.
            if (fs::exists(in.zip)) {
                const bool wrong = c.name == std::string("wrong digest");
                in.Offer("1.0.2", Url("/files/update-" + in.Tag() + ".zip"),
                         wrong ? std::string(64, 'b') : Sha256FileHexLower(in.zip));
                fs::copy_file(in.zip, Server().files + "/update-" + in.Tag() + ".zip",
                              fs::copy_options::overwrite_existing);
            }
            EXPECT_EQ(in.Flow().exitCode, 0);
            const std::string log = Slurp(in.log);
            const std::string message = std::regex_replace(c.message, std::regex("APPS"), in.apps);
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
        std::regex_replace(kNotYours, std::regex("APPS"), in.apps),
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
    const std::vector<std::string> lines = Split(Slurp(in.log), "\n");
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 3], "if (window.onUpdateInstalling) onUpdateInstalling();");
    EXPECT_EQ(lines[lines.size() - 2], "quit");
    const std::string size = std::to_string(fs::file_size(in.zip));
    EXPECT_EQ(lines[lines.size() - 4],
              "if (window.onUpdateProgress) onUpdateProgress(" + size + "," + size + ");");
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
        const std::string staged = in.apps + "/.app.quillon.free-update-12345678/" + kName;
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

// The update download as users get it: a 200 MiB signed archive over HTTPS on loopback, fetched
// by the updater's own transfer, then hashed and unpacked; the curl command line fetches the same
// file in the same run. A last run goes through the whole install flow in a program built from
// the updater's code, for its time and peak memory.
//
//   update_download
#include "tests/update/update_server.h"
#include "update/bundle_digest.h"
#include "update/https_get.h"
#include "update/unpack.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>

namespace {

using namespace UpdateTest;

const std::string kSign = QLN_SIGN_TOOL_PATH;
const std::string kDevKey = std::string(QLN_DEV_KEYS_DIR) + "/DEVELOPMENT-ONLY-release-private.pem";

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A bundle whose bulk is data that does not compress, so the archive is as big as the bundle.
void MakeBigBundle(const std::string& folder, size_t bytes) {
    std::filesystem::create_directories(folder + "/bin");
    std::filesystem::copy_file(QLN_UPDATE_CHILD, folder + "/bin/quillon");
    WriteFile(folder + "/bundle.ini", "identifier=app.quillon.free\nversion=1.0.2\n");
    std::ofstream out(folder + "/share.bin", std::ios::binary);
    std::mt19937_64 random(42);
    std::vector<uint64_t> block(1 << 17);
    for (size_t written = 0; written < bytes; written += block.size() * 8) {
        for (auto& word : block) word = random();
        out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size() * 8));
    }
    out.close();
    Shell(kSign + " bundle " + folder + " " + kDevKey);
}

}  // namespace

int main() {
    const TempDir work;
    // As close to the 200 MiB download limit as the program's own file allows.
    const size_t program = std::filesystem::file_size(QLN_UPDATE_CHILD);
    MakeBigBundle(work.File("Quillon"), (size_t(200) << 20) - program - (size_t(1) << 20));
    const std::string sha =
        Shell(kSign + " archive " + work.File("Quillon") + " " + Server().files + "/update.zip");
    const double mib =
        double(std::filesystem::file_size(Server().files + "/update.zip")) / (1 << 20);

    auto started = std::chrono::steady_clock::now();
    Shell("curl -sf --cacert " + Server().dir.File("ca.pem") +
          " --connect-to quillon.app:443:127.0.0.1:" + std::to_string(Server().port) + " -o " +
          work.File("curl.zip") + " " + Url("/files/update.zip"));
    const double curlSeconds = Seconds(started);

    started = std::chrono::steady_clock::now();
    FILE* file = std::fopen(work.File("ours.zip").c_str(), "wb");
    std::string unused;
    const UpdateProgress progress = [](uint64_t, uint64_t) { return true; };
    const bool fetched = HttpsGet(Url("/files/update.zip"), 209715200, file, &progress, unused);
    std::fclose(file);
    const double ourSeconds = Seconds(started);

    started = std::chrono::steady_clock::now();
    const bool matches = Sha256FileHexLower(work.File("ours.zip")) == sha;
    std::filesystem::create_directories(work.File("staged"));
    const bool unpacked = UnpackZipArchive(work.File("ours.zip"), work.File("staged"));
    const double stageSeconds = Seconds(started);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    if (!fetched || !matches || !unpacked) {
        std::fprintf(stderr, "update_download: fetched %d, digest %d, unpacked %d\n", fetched,
                     matches, unpacked);
        return 1;
    }
    std::printf(
        "update_download: mib=%.0f mib_per_s=%.1f curl_mib_per_s=%.1f stage_s=%.2f "
        "peak_rss_mb=%ld\n",
        mib, mib / ourSeconds, mib / curlSeconds, stageSeconds, usage.ru_maxrss / 1024);
    return 0;
}

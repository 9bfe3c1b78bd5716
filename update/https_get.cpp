#include "update/https_get.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

constexpr long kConnectSeconds = 10;
// Below two bytes a second for ten seconds is a stall, which a one-byte drip is too.
constexpr long kStallBytesPerSecond = 2;
constexpr long kStallSeconds = 10;
constexpr long kWholeSeconds = 40;
constexpr long kWholeSecondsToFile = 1800;
constexpr long kMostRedirects = 10;
constexpr double kProgressEverySeconds = 0.1;

struct Fetch {
    CURL* curl = nullptr;
    uint64_t maxBytes = 0;
    uint64_t received = 0;
    uint64_t expected = 0;
    FILE* file = nullptr;
    std::string* body = nullptr;
    const UpdateProgress* progress = nullptr;
    double lastProgress = 0.0;
    bool failed = false;
};

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

long ResponseCode(CURL* curl) {
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

// At the end of each response's headers: a redirect goes on (curl follows it over https only,
// and the final answer must be a 200), anything else must be a 200 whose declared length fits.
bool AcceptResponse(Fetch& fetch) {
    const long status = ResponseCode(fetch.curl);
    if (status >= 300 && status < 400) return true;
    if (status != 200) return false;
    curl_off_t declared = -1;
    curl_easy_getinfo(fetch.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
    if (declared > 0 && static_cast<uint64_t>(declared) > fetch.maxBytes) return false;
    fetch.expected = declared > 0 ? static_cast<uint64_t>(declared) : 0;
    return true;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& fetch = *static_cast<Fetch*>(user);
    const size_t length = size * count;
    const bool endOfHeaders = length <= 2 && (length == 0 || data[0] == '\r' || data[0] == '\n');
    if (endOfHeaders && !AcceptResponse(fetch)) {
        fetch.failed = true;
        return 0;
    }
    return length;
}

bool ReportProgress(Fetch& fetch) {
    if (!fetch.progress) return true;
    const double now = NowSeconds();
    const bool complete = fetch.expected != 0 && fetch.received >= fetch.expected;
    if (!complete && now - fetch.lastProgress < kProgressEverySeconds) return true;
    fetch.lastProgress = now;
    return (*fetch.progress)(fetch.received, fetch.expected);
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& fetch = *static_cast<Fetch*>(user);
    const size_t length = size * count;
    if (fetch.failed) return 0;
    fetch.received += length;
    if (fetch.received > fetch.maxBytes) {
        fetch.failed = true;
        return 0;
    }
    if (fetch.file) {
        if (std::fwrite(data, 1, length, fetch.file) != length) {
            fetch.failed = true;
            return 0;
        }
    } else {
        fetch.body->append(data, length);
    }
    if (!ReportProgress(fetch)) {
        fetch.failed = true;
        return 0;
    }
    return length;
}

struct CurlFree {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

#ifdef QLN_TEST_SEAMS
// Test builds only: a certificate authority of the tests, and product hosts mapped to a
// loopback server ("host:443:127.0.0.1:port").
void ApplyTestSeams(CURL* curl, std::unique_ptr<curl_slist, ListFree>& connectTo) {
    if (const char* ca = std::getenv("QLN_TEST_CA_FILE"))
        curl_easy_setopt(curl, CURLOPT_CAINFO, ca);
    const char* mapping = std::getenv("QLN_TEST_CONNECT_TO");
    if (!mapping) return;
    std::string rest = mapping;
    for (size_t comma; !rest.empty();
         rest = comma == std::string::npos ? "" : rest.substr(comma + 1)) {
        comma = rest.find(',');
        connectTo.reset(curl_slist_append(connectTo.release(), rest.substr(0, comma).c_str()));
    }
    curl_easy_setopt(curl, CURLOPT_CONNECT_TO, connectTo.get());
}
#endif

void Configure(CURL* curl, const std::string& url, Fetch& fetch, curl_slist* headers) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMostRedirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kStallBytesPerSecond);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, fetch.file ? kWholeSecondsToFile : kWholeSeconds);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Quillon/1.0");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(fetch.maxBytes));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &fetch);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &fetch);
}

}  // namespace

bool HttpsGet(const std::string& url, uint64_t maxBytes, FILE* file, const UpdateProgress* progress,
              std::string& body) {
    body.clear();
    if (url.rfind("https://", 0) != 0) return false;
    InitCurlOnce();
    std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    if (!curl) return false;
    Fetch fetch;
    fetch.curl = curl.get();
    fetch.maxBytes = maxBytes;
    fetch.file = file;
    fetch.body = &body;
    fetch.progress = progress;
    // Nothing cached along the way may answer for the publisher.
    std::unique_ptr<curl_slist, ListFree> headers(
        curl_slist_append(nullptr, "Cache-Control: no-cache"));
    headers.reset(curl_slist_append(headers.release(), "Pragma: no-cache"));
    Configure(curl.get(), url, fetch, headers.get());
#ifdef QLN_TEST_SEAMS
    std::unique_ptr<curl_slist, ListFree> connectTo;
    ApplyTestSeams(curl.get(), connectTo);
#endif
    const CURLcode result = curl_easy_perform(curl.get());
    const bool whole = result == CURLE_OK && !fetch.failed && ResponseCode(curl.get()) == 200 &&
                       (fetch.expected == 0 || fetch.received == fetch.expected);
    if (!whole) body.clear();
    return whole;
}

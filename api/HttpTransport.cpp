#include "api/HttpTransport.h"

#include <curl/curl.h>
#include <sodium.h>

#include <array>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "api/APIError.h"

namespace vael {

namespace {

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw std::runtime_error("libcurl failed to start");
    });
}

struct Sink {
    std::string body;
    std::size_t limit = 0;
    bool overflowed = false;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const std::size_t n = size * count;
    if (sink->body.size() + n > sink->limit) {
        sink->overflowed = true;
        return 0;  // aborts the transfer
    }
    sink->body.append(data, n);
    return n;
}

// Wipes the header texts (one holds the bearer token) before they are freed.
struct HeaderList {
    curl_slist* list = nullptr;
    void add(const char* header) {
        curl_slist* grown = curl_slist_append(list, header);
        if (!grown) throw std::bad_alloc();
        list = grown;
    }
    ~HeaderList() {
        for (curl_slist* node = list; node; node = node->next)
            if (node->data) sodium_memzero(node->data, std::char_traits<char>::length(node->data));
        curl_slist_free_all(list);
    }
};

template <typename Value>
void set(CURL* curl, CURLoption option, Value value) {
    if (curl_easy_setopt(curl, option, value) != CURLE_OK) throw std::runtime_error("libcurl refused an option");
}

}  // namespace

// What libcurl lets threads share: the DNS cache and TLS sessions, under locks. Its connection cache
// is not safe between threads, so connections stay with easy handles, and a handle serves one request
// at a time: a request borrows an idle handle (with the connections it keeps alive) or makes one.
struct HttpTransport::Shared {
    // Above a pull's item fetches at once (the sync adapter's 32) and the calls beside them: a handle
    // dropped takes its connection along, and the next pull would wait on new connections.
    static constexpr std::size_t kMaxIdleHandles = 48;

    CURLSH* share = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
    std::mutex idleMutex;
    std::vector<CURL*> idle;

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
        static_cast<Shared*>(user)->locks[data].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* user) { static_cast<Shared*>(user)->locks[data].unlock(); }

    Shared() {
        share = curl_share_init();
        if (!share) throw std::runtime_error("libcurl could not share its caches");
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &Shared::lock);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &Shared::unlock);
        curl_share_setopt(share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
    ~Shared() {
        // Every handle goes before the share it uses.
        for (CURL* handle : idle) curl_easy_cleanup(handle);
        curl_share_cleanup(share);
    }

    CURL* borrow() {
        {
            std::lock_guard guard(idleMutex);
            if (!idle.empty()) {
                CURL* handle = idle.back();
                idle.pop_back();
                return handle;
            }
        }
        return curl_easy_init();
    }
    // Forgets the request's options (its headers and sink are gone) but keeps the connections.
    void giveBack(CURL* handle) {
        curl_easy_reset(handle);
        {
            std::lock_guard guard(idleMutex);
            if (idle.size() < kMaxIdleHandles) {
                idle.push_back(handle);
                return;
            }
        }
        curl_easy_cleanup(handle);
    }

    // One request's easy handle, given back however the request ends.
    struct Lease {
        Shared& shared;
        CURL* curl;
        explicit Lease(Shared& s) : shared(s), curl(s.borrow()) {}
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease() {
            if (curl) shared.giveBack(curl);
        }
    };
};

HttpTransport::HttpTransport(std::chrono::milliseconds connectTimeout, std::chrono::milliseconds totalTimeout,
                             std::size_t maxAnswerBytes)
    : connectTimeout_(connectTimeout), totalTimeout_(totalTimeout), maxAnswerBytes_(maxAnswerBytes) {
    if (connectTimeout.count() <= 0 || totalTimeout.count() <= 0 || maxAnswerBytes == 0)
        throw std::invalid_argument("timeouts and the answer limit must be positive");
    globalInit();
    shared_ = std::make_unique<Shared>();
}

HttpTransport::~HttpTransport() = default;

HttpAnswer HttpTransport::perform(HttpMethod method, const std::string& url, const std::string* body,
                                  const SecureBytes& bearerToken) const {
    Shared::Lease easy(*shared_);
    if (!easy.curl) throw APIError::network(-CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT));
    CURL* curl = easy.curl;

    Sink sink;
    sink.limit = maxAnswerBytes_;
    HeaderList headers;
    headers.add("Accept: application/json");
    headers.add("Expect:");
    if (body) headers.add("Content-Type: application/json");
    if (!bearerToken.empty()) {
        std::string header = "Authorization: Bearer ";
        header.append(bearerToken.view());
        headers.add(header.c_str());
        sodium_memzero(header.data(), header.size());
    }

    set(curl, CURLOPT_SHARE, shared_->share);
    set(curl, CURLOPT_URL, url.c_str());
    set(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    set(curl, CURLOPT_FOLLOWLOCATION, 0L);
    set(curl, CURLOPT_NOSIGNAL, 1L);
    set(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout_.count()));
    set(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(totalTimeout_.count()));
    set(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxAnswerBytes_));
    set(curl, CURLOPT_USERAGENT, "Vael");
    set(curl, CURLOPT_HTTPHEADER, headers.list);
    set(curl, CURLOPT_WRITEFUNCTION, &collect);
    set(curl, CURLOPT_WRITEDATA, &sink);

    switch (method) {
        case HttpMethod::Get: set(curl, CURLOPT_HTTPGET, 1L); break;
        case HttpMethod::Post: set(curl, CURLOPT_POST, 1L); break;
        case HttpMethod::Put: set(curl, CURLOPT_CUSTOMREQUEST, "PUT"); break;
        case HttpMethod::Patch: set(curl, CURLOPT_CUSTOMREQUEST, "PATCH"); break;
        case HttpMethod::Delete: set(curl, CURLOPT_CUSTOMREQUEST, "DELETE"); break;
    }
    if (body) {
        set(curl, CURLOPT_POSTFIELDS, body->data());
        set(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
    } else if (method == HttpMethod::Post) {
        set(curl, CURLOPT_POSTFIELDS, "");
        set(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(0));
    }

    const CURLcode rc = curl_easy_perform(curl);
    if (sink.overflowed || rc == CURLE_FILESIZE_EXCEEDED) throw APIError::badResponse("the answer is too large");
    if (rc != CURLE_OK) throw APIError::network(-static_cast<std::int64_t>(rc), curl_easy_strerror(rc));

    HttpAnswer answer;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    answer.body = std::move(sink.body);
    return answer;
}

std::string HttpTransport::escape(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw std::invalid_argument("text too long for a URL");
    globalInit();
    char* escaped = curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size()));
    if (!escaped) throw std::bad_alloc();
    std::string out(escaped);
    curl_free(escaped);
    return out;
}

}  // namespace vael

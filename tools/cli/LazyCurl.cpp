// The curl_ functions the network layer calls, for velmora and the window program: each loads
// libcurl on first use (dlopen) and forwards to it. Loading libcurl with the program costs
// every start about as much as walking ten thousand add-on files (and the window program's
// first window a third of a bare window's time); loaded on a helper thread, it overlaps the
// scan.
//
// A curl_ function the network layer starts using and this file lacks is simply taken from
// libcurl at link time again (the program then loads it at start, as before): nothing breaks,
// the start is just slower. Keep the list below in step with net/.

#define CURL_DISABLE_TYPECHECK  // the setopt forwarders pass the argument on by its kind
#include "tools/cli/LazyCurl.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <ctime>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace {

struct CurlApi {
    bool loaded = false;
    CURLcode (*globalInit)(long) = nullptr;
    void (*globalCleanup)() = nullptr;
    CURL* (*easyInit)() = nullptr;
    void (*easyCleanup)(CURL*) = nullptr;
    void (*easyReset)(CURL*) = nullptr;
    CURLcode (*easyPerform)(CURL*) = nullptr;
    CURLcode (*easySetopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*easyGetinfo)(CURL*, CURLINFO, ...) = nullptr;
    const char* (*easyStrerror)(CURLcode) = nullptr;
    curl_slist* (*slistAppend)(curl_slist*, const char*) = nullptr;
    void (*slistFreeAll)(curl_slist*) = nullptr;
    time_t (*getdate)(const char*, const time_t*) = nullptr;
    curl_version_info_data* (*versionInfo)(CURLversion) = nullptr;
};

template <typename F>
void Bind(void* lib, const char* name, F& fn, bool& ok) {
    fn = reinterpret_cast<F>(::dlsym(lib, name));
    if (!fn) ok = false;
}

void SayMissing() {
    const std::string note = std::string("velmora: 无法载入网络组件 ") + VELMORA_CURL_SONAME +
                             "，无法连接服务器。请安装 libcurl 后重试。\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, note.data(), note.size());
}

std::atomic<vm::ManualResetEvent*> g_loadAfter{nullptr};

CurlApi Load() {
    if (vm::ManualResetEvent* ready = g_loadAfter.load())
        (void)ready->WaitFor(vm::cli::kMaxLoadHold);
    CurlApi api;
    // Never closed: handles and connections live until the process ends.
    void* lib = ::dlopen(VELMORA_CURL_SONAME, RTLD_LAZY | RTLD_LOCAL);
    if (!lib) {
        SayMissing();
        return api;
    }
    bool ok = true;
    Bind(lib, "curl_global_init", api.globalInit, ok);
    Bind(lib, "curl_global_cleanup", api.globalCleanup, ok);
    Bind(lib, "curl_easy_init", api.easyInit, ok);
    Bind(lib, "curl_easy_cleanup", api.easyCleanup, ok);
    Bind(lib, "curl_easy_reset", api.easyReset, ok);
    Bind(lib, "curl_easy_perform", api.easyPerform, ok);
    Bind(lib, "curl_easy_setopt", api.easySetopt, ok);
    Bind(lib, "curl_easy_getinfo", api.easyGetinfo, ok);
    Bind(lib, "curl_easy_strerror", api.easyStrerror, ok);
    Bind(lib, "curl_slist_append", api.slistAppend, ok);
    Bind(lib, "curl_slist_free_all", api.slistFreeAll, ok);
    Bind(lib, "curl_getdate", api.getdate, ok);
    Bind(lib, "curl_version_info", api.versionInfo, ok);
    if (!ok) {
        SayMissing();
        return CurlApi();
    }
    api.loaded = true;
    return api;
}

// Loaded once; a caller arriving while the helper thread loads waits for it.
const CurlApi& Api() {
    static const CurlApi api = Load();
    return api;
}

// The argument after a setopt option, passed on as the kind the option number says it is
// (the same rule libcurl reads it by).
template <typename Handle, typename Option>
CURLcode ForwardSetopt(CURLcode (*setopt)(Handle*, Option, ...), Handle* handle, Option option,
                       va_list args) {
    const long kind = static_cast<long>(option);
    if (kind < CURLOPTTYPE_OBJECTPOINT) return setopt(handle, option, va_arg(args, long));
    if (kind < CURLOPTTYPE_FUNCTIONPOINT) return setopt(handle, option, va_arg(args, void*));
    if (kind < CURLOPTTYPE_OFF_T) {
        using AnyFunction = void (*)();
        return setopt(handle, option, va_arg(args, AnyFunction));
    }
    if (kind < CURLOPTTYPE_BLOB) return setopt(handle, option, va_arg(args, curl_off_t));
    return setopt(handle, option, va_arg(args, void*));
}

}  // namespace

namespace vm::cli {

void StartLoadingCurlAfter(vm::ManualResetEvent& ready) {
    g_loadAfter.store(&ready);
    StartLoadingCurl();
}

void StartLoadingCurl() {
    static std::once_flag once;
    std::call_once(once, [] {
        try {
            std::thread([] { (void)Api(); }).detach();
        } catch (const std::system_error&) {
            // No thread: the first curl call loads it.
        }
    });
}

}  // namespace vm::cli

extern "C" {

CURLcode curl_global_init(long flags) {
    const CurlApi& api = Api();
    return api.loaded ? api.globalInit(flags) : CURLE_FAILED_INIT;
}

void curl_global_cleanup() {
    const CurlApi& api = Api();
    if (api.loaded) api.globalCleanup();
}

CURL* curl_easy_init() {
    const CurlApi& api = Api();
    return api.loaded ? api.easyInit() : nullptr;
}

void curl_easy_cleanup(CURL* handle) {
    const CurlApi& api = Api();
    if (api.loaded) api.easyCleanup(handle);
}

void curl_easy_reset(CURL* handle) {
    const CurlApi& api = Api();
    if (api.loaded) api.easyReset(handle);
}

CURLcode curl_easy_perform(CURL* handle) {
    const CurlApi& api = Api();
    return api.loaded ? api.easyPerform(handle) : CURLE_FAILED_INIT;
}

// libcurl declares these with an enum before the "...": clang warns that va_start after a
// promoted type is undefined, but both enums are int-sized and libcurl itself does the same.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif
CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
    const CurlApi& api = Api();
    if (!api.loaded) return CURLE_FAILED_INIT;
    va_list args;
    va_start(args, option);
    const CURLcode rc = ForwardSetopt(api.easySetopt, handle, option, args);
    va_end(args);
    return rc;
}

CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
    const CurlApi& api = Api();
    if (!api.loaded) return CURLE_FAILED_INIT;
    va_list args;
    va_start(args, info);
    // Every getinfo argument is a pointer to where the answer goes.
    void* out = va_arg(args, void*);
    va_end(args);
    return api.easyGetinfo(handle, info, out);
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

const char* curl_easy_strerror(CURLcode code) {
    const CurlApi& api = Api();
    return api.loaded ? api.easyStrerror(code) : "";
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
    const CurlApi& api = Api();
    // Without the library nothing is sent: no list is as good as any.
    return api.loaded ? api.slistAppend(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
    const CurlApi& api = Api();
    if (api.loaded) api.slistFreeAll(list);
}

time_t curl_getdate(const char* text, const time_t* unused) {
    const CurlApi& api = Api();
    return api.loaded ? api.getdate(text, unused) : -1;
}

curl_version_info_data* curl_version_info(CURLversion age) {
    const CurlApi& api = Api();
    return api.loaded ? api.versionInfo(age) : nullptr;
}

}  // extern "C"

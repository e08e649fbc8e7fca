// libcurl's entry points for the installer, loading the library when the first transfer is
// set up. libcurl pulls in some two dozen libraries (TLS, Kerberos, LDAP, SSH, IDN, ...);
// loading and relocating them at start is time the window waits for without needing any of
// it. The definitions here take the place of libcurl's, so the installer links with
// --as-needed and libcurl drops out of the libraries loaded at start.
#include <cstdarg>
#include <cstdio>
#include <curl/curl.h>
#include <dlfcn.h>

namespace {

constexpr const char* CURL_LIBRARY = "libcurl.so.4";

// Any function pointer passes through varargs alike; libcurl reads it back by the option.
using AnyFunction = void (*)();

struct CurlEntryPoints {
    CURLcode (*global_init)(long) = nullptr;
    CURL* (*easy_init)() = nullptr;
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*easy_perform)(CURL*) = nullptr;
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...) = nullptr;
    const char* (*easy_strerror)(CURLcode) = nullptr;
    void (*easy_cleanup)(CURL*) = nullptr;
    curl_slist* (*slist_append)(curl_slist*, const char*) = nullptr;
    void (*slist_free_all)(curl_slist*) = nullptr;
    CURLU* (*url)() = nullptr;
    CURLUcode (*url_set)(CURLU*, CURLUPart, const char*, unsigned int) = nullptr;
    CURLUcode (*url_get)(CURLU*, CURLUPart, char**, unsigned int) = nullptr;
    void (*url_cleanup)(CURLU*) = nullptr;
    void (*free)(void*) = nullptr;
    bool loaded = false;
};

template <typename F> bool Resolve(void* library, const char* name, F& entry) {
    entry = reinterpret_cast<F>(::dlsym(library, name));
    return entry != nullptr;
}

// The flags of the program's curl_global_init, which runs when the library is loaded.
long g_global_flags = CURL_GLOBAL_DEFAULT;

CurlEntryPoints LoadCurl() {
    CurlEntryPoints curl;
    void* library = ::dlopen(CURL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", CURL_LIBRARY, ::dlerror());
        return curl;
    }
    // The library stays loaded for the rest of the process.
    const bool complete = Resolve(library, "curl_global_init", curl.global_init) &&
                          Resolve(library, "curl_easy_init", curl.easy_init) &&
                          Resolve(library, "curl_easy_setopt", curl.easy_setopt) &&
                          Resolve(library, "curl_easy_perform", curl.easy_perform) &&
                          Resolve(library, "curl_easy_getinfo", curl.easy_getinfo) &&
                          Resolve(library, "curl_easy_strerror", curl.easy_strerror) &&
                          Resolve(library, "curl_easy_cleanup", curl.easy_cleanup) &&
                          Resolve(library, "curl_slist_append", curl.slist_append) &&
                          Resolve(library, "curl_slist_free_all", curl.slist_free_all) &&
                          Resolve(library, "curl_url", curl.url) &&
                          Resolve(library, "curl_url_set", curl.url_set) &&
                          Resolve(library, "curl_url_get", curl.url_get) &&
                          Resolve(library, "curl_url_cleanup", curl.url_cleanup) &&
                          Resolve(library, "curl_free", curl.free);
    if (!complete) {
        std::fprintf(stderr, "%s lacks an entry point: %s\n", CURL_LIBRARY, ::dlerror());
        return curl;
    }
    // Global set-up before any handle exists, as the library requires.
    curl.loaded = curl.global_init(g_global_flags) == CURLE_OK;
    return curl;
}

// Loaded once, by whichever thread gets there first; the others wait for it.
const CurlEntryPoints& Curl() {
    static const CurlEntryPoints curl = LoadCurl();
    return curl;
}

} // namespace

// The variadic signatures are libcurl's own, so the last named parameter is an enum; clang
// warns that an enum might be promoted, but CURLoption and CURLINFO are int-sized.
#ifdef __clang__
#pragma clang diagnostic ignored "-Wvarargs"
#endif

extern "C" {

// Only remembers the flags: the set-up runs with the load, before the first handle.
CURLcode curl_global_init(long flags) {
    g_global_flags = flags;
    return CURLE_OK;
}

CURL* curl_easy_init() {
    return Curl().loaded ? Curl().easy_init() : nullptr;
}

CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
    if (!Curl().loaded) {
        return CURLE_FAILED_INIT;
    }
    // One argument, of the type that the option's number range stands for.
    va_list arguments;
    va_start(arguments, option);
    CURLcode result = CURLE_OK;
    if (option < CURLOPTTYPE_OBJECTPOINT) {
        result = Curl().easy_setopt(handle, option, va_arg(arguments, long));
    } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
        result = Curl().easy_setopt(handle, option, va_arg(arguments, void*));
    } else if (option < CURLOPTTYPE_OFF_T) {
        result = Curl().easy_setopt(handle, option, va_arg(arguments, AnyFunction));
    } else if (option < CURLOPTTYPE_BLOB) {
        result = Curl().easy_setopt(handle, option, va_arg(arguments, curl_off_t));
    } else {
        result = Curl().easy_setopt(handle, option, va_arg(arguments, void*));
    }
    va_end(arguments);
    return result;
}

CURLcode curl_easy_perform(CURL* handle) {
    return Curl().loaded ? Curl().easy_perform(handle) : CURLE_FAILED_INIT;
}

// Every piece of information is read through one pointer.
CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
    if (!Curl().loaded) {
        return CURLE_FAILED_INIT;
    }
    va_list arguments;
    va_start(arguments, info);
    const CURLcode result = Curl().easy_getinfo(handle, info, va_arg(arguments, void*));
    va_end(arguments);
    return result;
}

const char* curl_easy_strerror(CURLcode code) {
    return Curl().loaded ? Curl().easy_strerror(code) : "the transfer library could not be loaded";
}

void curl_easy_cleanup(CURL* handle) {
    if (handle != nullptr && Curl().loaded) {
        Curl().easy_cleanup(handle);
    }
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
    return Curl().loaded ? Curl().slist_append(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
    if (list != nullptr && Curl().loaded) {
        Curl().slist_free_all(list);
    }
}

// The URL parser checks answers against their requests.
CURLU* curl_url() {
    return Curl().loaded ? Curl().url() : nullptr;
}

CURLUcode curl_url_set(CURLU* handle, CURLUPart what, const char* part, unsigned int flags) {
    return Curl().loaded ? Curl().url_set(handle, what, part, flags) : CURLUE_BAD_HANDLE;
}

CURLUcode curl_url_get(CURLU* handle, CURLUPart what, char** part, unsigned int flags) {
    return Curl().loaded ? Curl().url_get(handle, what, part, flags) : CURLUE_BAD_HANDLE;
}

void curl_url_cleanup(CURLU* handle) {
    if (handle != nullptr && Curl().loaded) {
        Curl().url_cleanup(handle);
    }
}

void curl_free(void* pointer) {
    if (pointer != nullptr && Curl().loaded) {
        Curl().free(pointer);
    }
}

} // extern "C"

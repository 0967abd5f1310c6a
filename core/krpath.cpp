#include "core/krpath.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

char rootBuf[KR_PATH_MAX];
// Read without the lock by every path lookup once loaded.
std::atomic<bool> rootLoaded{false};
std::mutex rootMutex;

void loadRoot(const char *root) {
    const char *r = root ? root : getenv("KORVANE_ROOT");
    if (!r) r = "";
    size_t n = strnlen(r, sizeof(rootBuf) - 1);
    memcpy(rootBuf, r, n);
    // A trailing slash would double up with the absolute paths appended to it.
    while (n > 0 && rootBuf[n - 1] == '/')
        n--;
    rootBuf[n] = 0;
    rootLoaded.store(true, std::memory_order_release);
}

}  // namespace

const char *krpath_root() {
    if (!rootLoaded.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> g(rootMutex);
        if (!rootLoaded.load(std::memory_order_relaxed)) loadRoot(nullptr);
    }
    return rootBuf;
}

void krpath_setRoot(const char *root) {
    std::lock_guard<std::mutex> g(rootMutex);
    loadRoot(root);
}

int krpath_resolve(const char *absPath, char *out, size_t size) {
    if (!out || size == 0) return -1;
    const char *root = krpath_root();
    int n = snprintf(out, size, "%s%s", root, absPath ? absPath : "");
    if (n < 0 || (size_t)n >= size) {
        out[0] = 0;
        return -1;
    }
    return 0;
}

int krpath_joinInside(const char *absDir, const char *name, char *out, size_t size) {
    if (!name || !*name || !out || size == 0) return -1;
    char dir[KR_PATH_MAX];
    if (krpath_resolve(absDir, dir, sizeof(dir)) != 0) return -1;
    size_t dlen = strlen(dir);
    while (dlen > 1 && dir[dlen - 1] == '/')
        dir[--dlen] = 0;

    // An absolute name is accepted only when it already names a place inside the directory.
    const char *rest = name;
    if (name[0] == '/') {
        size_t alen = strlen(absDir);
        while (alen > 1 && absDir[alen - 1] == '/')
            alen--;
        if (strncmp(name, absDir, alen) != 0 || (name[alen] != '/' && name[alen] != 0)) return -1;
        rest = name + alen;
    }

    // Lexical walk: components are appended; ".." may only remove what this name added.
    char joined[KR_PATH_MAX];
    if (dlen + 1 >= sizeof(joined)) return -1;
    memcpy(joined, dir, dlen + 1);
    size_t len = dlen;
    int depth = 0;
    const char *p = rest;
    while (*p) {
        while (*p == '/')
            p++;
        if (!*p) break;
        const char *e = p;
        while (*e && *e != '/')
            e++;
        size_t clen = (size_t)(e - p);
        if (clen == 1 && p[0] == '.') {
            // stays here
        } else if (clen == 2 && p[0] == '.' && p[1] == '.') {
            if (depth == 0) return -1;
            while (len > dlen && joined[len - 1] != '/')
                len--;
            len--;  // the slash itself
            joined[len] = 0;
            depth--;
        } else {
            if (len + 1 + clen >= sizeof(joined)) return -1;
            joined[len++] = '/';
            memcpy(joined + len, p, clen);
            len += clen;
            joined[len] = 0;
            depth++;
        }
        p = e;
    }
    if (depth == 0) return -1;  // the directory itself is not a file name
    if (len >= size) return -1;
    memcpy(out, joined, len + 1);
    return 0;
}

KrPath::KrPath(const char *absPath) {
    ok_ = krpath_resolve(absPath, buf_, sizeof(buf_)) == 0;
}

bool krpath_isPlainName(const char *name, size_t max) {
    if (!name) return false;
    size_t n = strnlen(name, max + 1);
    if (n == 0 || n > max) return false;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)name[i];
        if (c < 0x20 || c == 0x7f || c == '/' || c == '.') return false;
    }
    return true;
}

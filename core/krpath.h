// Every firmware path (/korvane, /media/ram, /storage, /root, /etc/network, /bin scripts,
// /dev nodes) is resolved under one root prefix taken from KORVANE_ROOT. On the instrument
// the variable is unset and paths stay as written; on a development machine the whole
// firmware lives inside a simulation root and never touches the host's own files.
#pragma once

#include <cstddef>

constexpr size_t KR_PATH_MAX = 512;

// The prefix ("" on the instrument). Read from the environment on first use.
const char *krpath_root();
// Replaces the prefix (tests, tools); nullptr re-reads the environment.
void krpath_setRoot(const char *root);

// Writes root + absPath into out. Returns 0, or -1 when it does not fit.
int krpath_resolve(const char *absPath, char *out, size_t size);

// Joins a client-supplied name to a firmware directory (given unresolved) and resolves
// the result. Returns -1 when the name is empty, does not fit, or would leave the
// directory ("..", absolute names reaching elsewhere). "." components and repeated
// slashes are tolerated; a name may name a sub-directory entry ("a/b").
int krpath_joinInside(const char *absDir, const char *name, char *out, size_t size);

// A stored file's own name as clients give it: 1 to max characters, no "/" (other
// directories), no "." (hidden files, "..", the ".tmp" replacements of stores in
// progress), no control characters.
bool krpath_isPlainName(const char *name, size_t max);

// A resolved path in a fixed buffer: fopen(KrPath("/korvane/cust/sav0"), "r").
class KrPath {
  public:
    explicit KrPath(const char *absPath);
    const char *c_str() const { return buf_; }
    operator const char *() const { return buf_; }
    bool ok() const { return ok_; }

  private:
    char buf_[KR_PATH_MAX];
    bool ok_;
};

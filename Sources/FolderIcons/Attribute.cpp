// Reading one extended attribute without mistaking a failed read for a missing attribute.

#include "FolderIcons/FolderIcons.h"

#include <cerrno>
#include <cstring>
#include <sys/xattr.h>

namespace FolderIcons {

namespace {

// A value rewritten between the size query and the read is asked for again this many times.
constexpr int attempts = 4;

bool isAbsence(int err) { return err == ENODATA || err == ENOENT; }

Error readError(int err, const std::string& path, const std::string& name) {
    return Error::posix(err, "reading " + name + " of " + path + ": " + std::strerror(err));
}

}  // namespace

Found<Bytes> attribute(const std::string& path, const std::string& name, const GetAttribute& get) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        errno = 0;
        const ssize_t size = get(path.c_str(), name.c_str(), nullptr, 0);
        if (size < 0) {
            const int err = errno;
            if (isAbsence(err)) return Found<Bytes>::absent();
            return Found<Bytes>::failed(readError(err, path, name));
        }
        Bytes value(static_cast<size_t>(size));
        if (size == 0) return Found<Bytes>::present(std::move(value));
        errno = 0;
        const ssize_t got = get(path.c_str(), name.c_str(), value.data(), value.size());
        if (got == size) return Found<Bytes>::present(std::move(value));
        if (got < 0) {
            const int err = errno;
            // Removed between the two calls: it is gone now.
            if (isAbsence(err)) return Found<Bytes>::absent();
            if (err != ERANGE) return Found<Bytes>::failed(readError(err, path, name));
        }
        // ERANGE, or a different size: the value changed under us; ask again.
    }
    return Found<Bytes>::failed(
        Error::own(Error::unstable, "reading " + name + " of " + path + ": the value kept changing"));
}

Found<Bytes> attribute(const std::string& path, const std::string& name) {
    return attribute(path, name, [](const char* p, const char* n, void* v, size_t s) { return ::getxattr(p, n, v, s); });
}

}  // namespace FolderIcons

#include "Platform/Files/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace files {

namespace {

std::optional<std::string> fail(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return std::nullopt;
}

bool gone(int err) { return err == ENOENT || err == ENOTDIR; }

}  // namespace

std::optional<std::string> readRegular(const std::string& path, std::size_t maxBytes, std::string* error) {
    // O_NONBLOCK: opening a FIFO with no writer would wait for one for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return fail(error, std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(error, std::strerror(err));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(error, "not a regular file");
    }
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > maxBytes) {
        ::close(fd);
        return fail(error, "larger than " + std::to_string(maxBytes) + " bytes");
    }
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    // One byte more than the size said: a file that grew since the fstat is read up to the limit only.
    for (;;) {
        if (done == text.size()) {
            if (text.size() >= maxBytes) {
                char extra = 0;
                ssize_t n = ::read(fd, &extra, 1);
                while (n < 0 && errno == EINTR) n = ::read(fd, &extra, 1);
                if (n > 0) {
                    ::close(fd);
                    return fail(error, "larger than " + std::to_string(maxBytes) + " bytes");
                }
                break;
            }
            text.resize(std::min(maxBytes, text.size() + 4096));
        }
        const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            const int err = errno;
            ::close(fd);
            return fail(error, std::strerror(err));
        }
    }
    ::close(fd);
    text.resize(done);
    if (error) error->clear();
    return text;
}

bool missing(const std::string& error) { return error == std::strerror(ENOENT) || error == std::strerror(ENOTDIR); }

bool mayExist(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return true;
    return !gone(errno);
}

std::vector<std::string> commandLine(long pid) {
    std::vector<std::string> out;
    if (pid <= 0) return out;
    // Far beyond any desktop program's; the kernel allows a few megabytes.
    constexpr std::size_t kMost = 1 << 20;
    const auto all = readRegular("/proc/" + std::to_string(pid) + "/cmdline", kMost);
    if (!all) return out;
    for (std::size_t at = 0; at < all->size();) {
        const std::size_t end = all->find('\0', at);
        out.push_back(all->substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? all->size() : end + 1;
    }
    return out;
}

}  // namespace files

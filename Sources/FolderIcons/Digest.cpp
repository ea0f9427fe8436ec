// SHA-256 of icon bytes, as the marker writes it.

#include "FolderIcons/FolderIcons.h"

#include <glib.h>

#include <algorithm>
#include <memory>

namespace FolderIcons {

std::string digest(const Bytes& bytes) {
    // GLib's own checksum: no second crypto library for one hash. It hashes any length in pieces, so
    // sizes beyond gssize are fed in chunks.
    const std::unique_ptr<GChecksum, decltype(&g_checksum_free)> sum(g_checksum_new(G_CHECKSUM_SHA256),
                                                                      &g_checksum_free);
    constexpr std::size_t kChunk = std::size_t(1) << 30;
    for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, bytes.size() - at);
        g_checksum_update(sum.get(), reinterpret_cast<const guchar*>(bytes.data() + at), static_cast<gssize>(n));
    }
    return g_checksum_get_string(sum.get());
}

}  // namespace FolderIcons

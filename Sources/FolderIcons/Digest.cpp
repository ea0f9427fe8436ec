// SHA-256 of icon bytes, as the marker writes it.

#include "FolderIcons/FolderIcons.h"

#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>

namespace FolderIcons {

std::string digest(const Bytes& bytes) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    // SHA-256 is part of every OpenSSL build; failing here means the library itself is broken.
    if (EVP_Digest(bytes.data(), bytes.size(), md, &length, EVP_sha256(), nullptr) != 1 || length != 32) {
        std::fputs("vistamere: OpenSSL cannot compute SHA-256\n", stderr);
        std::abort();
    }
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(64);
    for (unsigned int i = 0; i < length; ++i) {
        out.push_back(hex[md[i] >> 4]);
        out.push_back(hex[md[i] & 0x0F]);
    }
    return out;
}

}  // namespace FolderIcons

// SHA-256 through OpenSSL's digest interface.
#include "Sha256.h"

#include <openssl/evp.h>
#include <stdexcept>

namespace archive {

Sha256Digest sha256(std::span<const std::uint8_t> bytes)
{
    Sha256Digest digest{};
    unsigned int written = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &written, EVP_sha256(), nullptr) !=
            1 ||
        written != digest.size())
        throw std::runtime_error("SHA-256 digest failed");
    return digest;
}

} // namespace archive

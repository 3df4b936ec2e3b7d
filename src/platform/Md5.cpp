#include "platform/Md5.h"

#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>

#include <bcrypt.h>
#else
#include <md5.h>
#endif

namespace Platform {

#if defined(_WIN32)

namespace {

void check(NTSTATUS status, const char* what)
{
    if (status < 0) {
        throw std::runtime_error(what);
    }
}

// A provider or hash handle that closes itself.
template <class Handle, NTSTATUS(WINAPI* Close)(Handle)>
struct Owned {
    Handle handle = nullptr;
    Owned() = default;
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned()
    {
        if (handle != nullptr) {
            Close(handle);
        }
    }
};

NTSTATUS WINAPI closeProvider(BCRYPT_ALG_HANDLE handle)
{
    return BCryptCloseAlgorithmProvider(handle, 0);
}

} // namespace

Md5Digest md5(std::span<const std::uint8_t> bytes)
{
    Owned<BCRYPT_ALG_HANDLE, closeProvider> provider;
    check(BCryptOpenAlgorithmProvider(&provider.handle, BCRYPT_MD5_ALGORITHM, nullptr, 0),
          "BCryptOpenAlgorithmProvider");
    Owned<BCRYPT_HASH_HANDLE, BCryptDestroyHash> hash;
    check(BCryptCreateHash(provider.handle, &hash.handle, nullptr, 0, nullptr, 0, 0),
          "BCryptCreateHash");
    // The length of one call is a ULONG: feed larger runs in pieces.
    constexpr std::size_t kPiece = 1u << 30;
    for (std::size_t done = 0; done < bytes.size(); done += kPiece) {
        const std::span<const std::uint8_t> piece =
            bytes.subspan(done).first(bytes.size() - done < kPiece ? bytes.size() - done : kPiece);
        check(BCryptHashData(hash.handle, const_cast<PUCHAR>(piece.data()),
                             static_cast<ULONG>(piece.size()), 0),
              "BCryptHashData");
    }
    Md5Digest digest{};
    check(BCryptFinishHash(hash.handle, digest.data(), static_cast<ULONG>(digest.size()), 0),
          "BCryptFinishHash");
    return digest;
}

#else

Md5Digest md5(std::span<const std::uint8_t> bytes)
{
    MD5_CTX context;
    MD5Init(&context);
    MD5Update(&context, bytes.data(), bytes.size());
    Md5Digest digest{};
    MD5Final(digest.data(), &context);
    return digest;
}

#endif

} // namespace Platform

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

struct Md5::State {
    Owned<BCRYPT_ALG_HANDLE, closeProvider> provider;
    Owned<BCRYPT_HASH_HANDLE, BCryptDestroyHash> hash;
};

Md5::Md5()
    : state_(std::make_unique<State>())
{
    check(BCryptOpenAlgorithmProvider(&state_->provider.handle, BCRYPT_MD5_ALGORITHM, nullptr, 0),
          "BCryptOpenAlgorithmProvider");
    check(BCryptCreateHash(state_->provider.handle, &state_->hash.handle, nullptr, 0, nullptr, 0,
                           0),
          "BCryptCreateHash");
}

void Md5::update(std::span<const std::uint8_t> bytes)
{
    // The length of one call is a ULONG: feed larger runs in pieces.
    constexpr std::size_t kPiece = 1u << 30;
    for (std::size_t done = 0; done < bytes.size(); done += kPiece) {
        const std::span<const std::uint8_t> piece =
            bytes.subspan(done).first(bytes.size() - done < kPiece ? bytes.size() - done : kPiece);
        check(BCryptHashData(state_->hash.handle, const_cast<PUCHAR>(piece.data()),
                             static_cast<ULONG>(piece.size()), 0),
              "BCryptHashData");
    }
}

Md5Digest Md5::finish()
{
    Md5Digest digest{};
    check(BCryptFinishHash(state_->hash.handle, digest.data(), static_cast<ULONG>(digest.size()),
                           0),
          "BCryptFinishHash");
    return digest;
}

#else

struct Md5::State {
    MD5_CTX context;
};

Md5::Md5()
    : state_(std::make_unique<State>())
{
    MD5Init(&state_->context);
}

void Md5::update(std::span<const std::uint8_t> bytes)
{
    MD5Update(&state_->context, bytes.data(), bytes.size());
}

Md5Digest Md5::finish()
{
    Md5Digest digest{};
    MD5Final(digest.data(), &state_->context);
    return digest;
}

#endif

Md5::~Md5() = default;

Md5Digest md5(std::span<const std::uint8_t> bytes)
{
    Md5 digest;
    digest.update(bytes);
    return digest.finish();
}

} // namespace Platform

#include "efs/FileBase.h"

#include "diag/EFSDiag.h"

#include <utility>

namespace Efs {

FileBase::FileBase(IUnknown* port, std::uint32_t timeout, std::uint8_t subsysId)
    : timeout_(timeout)
    , subsysId_(subsysId)
    , port_(Diag::Efs::diagPortOf(port))
{}

FileBase::FileBase(Platform::ComPtr<IDiagPort> port, std::uint32_t timeout, std::uint8_t subsysId)
    : timeout_(timeout)
    , subsysId_(subsysId)
    , port_(std::move(port))
{}

FileBase::~FileBase() = default;

void FileBase::Open(const std::u16string&, std::uint32_t, std::uint32_t) {}
std::uint32_t FileBase::Write(const std::uint8_t*, std::uint32_t, Marl::Efs::EFSFileProgress*)
{
    return 0;
}
std::uint32_t FileBase::Read(std::uint8_t*, std::uint32_t)
{
    return 0;
}
std::uint32_t FileBase::Seek(std::uint32_t, std::uint32_t)
{
    return 0;
}
std::uint32_t FileBase::Size()
{
    return 0;
}
void FileBase::Attach(std::int32_t) {}
std::int32_t FileBase::Detach()
{
    return 0;
}
void FileBase::Stat(std::uint32_t*, std::uint32_t*, std::uint32_t*, std::uint32_t*, std::uint32_t*,
                    std::uint32_t*)
{}
std::uint32_t FileBase::Total()
{
    return total_;
}

} // namespace Efs

#include "efs/EFSDir.h"

#include "diag/CEFSException.h"
#include "diag/EFSCloseDir.h"
#include "diag/EFSDiag.h"
#include "diag/EFSOpenDir.h"
#include "diag/EFSReadDir.h"

#include <cstdint>

EFSDir::EFSDir(IUnknown* port, std::uint32_t timeout, std::uint8_t subsysId)
    : timeout_(timeout)
    , subsysId_(subsysId)
    , port_(Diag::Efs::diagPortOf(port))
{}

EFSDir::~EFSDir()
{
    if (isOpen_) {
        try {
            CEFSCloseDir(port_.get(), timeout_, subsysId_).Execute(dirHandle_);
        } catch (...) {
            // Nothing more can be done for the handle.
        }
        isOpen_ = false;
    }
}

void EFSDir::OpenDir(const std::u16string& path)
{
    if (isOpen_) {
        throw CEFSException("", EFSERR_ALREADY_OPEN, 93, "..\\SharedSource\\EFSDir");
    }
    dirHandle_ = CEFSOpenDir(port_.get(), timeout_, subsysId_).Execute(path);
    isOpen_ = true;
}

std::vector<Marl::Common::EfsReadDirEntry> EFSDir::ReadAll()
{
    return ReadAtMost(SIZE_MAX);
}

std::vector<Marl::Common::EfsReadDirEntry> EFSDir::ReadAtMost(std::size_t limit)
{
    std::vector<Marl::Common::EfsReadDirEntry> entries;
    CEFSReadDir readDir(port_.get(), timeout_, subsysId_);
    std::uint32_t seqno = 1;
    for (;;) {
        Marl::Common::EfsReadDirEntry entry = readDir.Read(dirHandle_, seqno);
        if (entry.name().empty()) {
            return entries;
        }
        if (entries.size() == limit) {
            throw Efs::ListingTooLong(limit);
        }
        entries.push_back(std::move(entry));
        ++seqno;
    }
}

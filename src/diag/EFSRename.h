// EFS2_DIAG_RENAME: gives a handset file or directory another path.
#pragma once

#include "diag/EFSDiag.h"

#include <cstdint>
#include <string>
#include <string_view>

// The two paths of a rename, old then new.
class CEFSNamePair {
public:
    CEFSNamePair(std::u16string oldName, std::u16string newName);
    virtual ~CEFSNamePair();

    CEFSNamePair(const CEFSNamePair&) = default;
    CEFSNamePair& operator=(const CEFSNamePair&) = default;

    std::u16string GetOldName() const { return oldName_; }
    std::u16string GetNewName() const { return newName_; }

private:
    std::u16string oldName_;
    std::u16string newName_;
};

class CEFSRenameCmd : public Diag::Efs::RequestPacket<2054> {
public:
    explicit CEFSRenameCmd(std::uint8_t subsystemId);
    // Puts the Windows-1252 forms of both paths into the packet, each with its
    // NUL, and returns the length to send. Throws CEFSException 516 when
    // either is over 1024 bytes, the old path checked first.
    std::int16_t SetNames(const CEFSNamePair& names);
};

class CEFSRenameRsp : public Diag::Efs::ErrnoResponse {};

class CEFSRename : public Diag::Efs::Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // Renames the handset name `oldPath` to `newPath`.
    void Execute(std::u16string_view oldPath, std::u16string_view newPath);
};

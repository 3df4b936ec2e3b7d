// EFS2_DIAG_READDIR: one entry of an open handset directory, by number.
#pragma once

#include "diag/EFSDiag.h"
#include "diag/EfsReadDirEntry.h"

#include <cstdint>
#include <string>

class CEFSReadDirCmd : public Diag::Efs::RequestPacket<12> {
public:
    CEFSReadDirCmd(std::uint32_t dirp, std::uint32_t seqno, std::uint8_t subsystemId);
    std::int16_t GetLength() const { return kSize; }
};

class CEFSReadDirRsp : public Diag::Efs::ResponsePacket<1065> {
public:
    std::uint32_t GetErrno() const override { return get32<12>(); }
    // 40 bytes of fields and a name of at most 1024 bytes and its NUL.
    bool IsValidLength(std::uint16_t length) const override;

    std::uint32_t GetDirp() const { return get32<4>(); }
    std::uint32_t GetSeqno() const { return get32<8>(); }
    std::uint32_t GetType() const { return get32<16>(); }
    std::uint32_t GetMode() const { return get32<20>(); }
    std::uint32_t GetSize() const { return get32<24>(); }
    std::uint32_t GetAccessTime() const { return get32<28>(); }
    std::uint32_t GetModificationTime() const { return get32<32>(); }
    std::uint32_t GetChangeTime() const { return get32<36>(); }
    // The entry name of a response of `length` valid bytes: up to its NUL,
    // or all the received name bytes when they hold none.
    std::string GetName(std::uint16_t length) const;

    static constexpr std::uint16_t kNameOffset = 40;
};

class CEFSReadDir : public Diag::Efs::Commands::CommandBase {
public:
    using CommandBase::CommandBase;

    // The entry number `seqno` of the directory `dirp`: its Windows-1252 name
    // (empty at the end of the directory) and fields. `seqno` becomes the
    // number the handset gives the entry it returned.
    std::string Execute(std::uint32_t dirp, std::uint32_t& seqno, std::uint32_t& type,
                        std::uint32_t& mode, std::uint32_t& size, std::uint32_t& atime,
                        std::uint32_t& mtime, std::uint32_t& ctime);

    // Execute, with the entry as a value and its name as UTF-16 text.
    Marl::Common::EfsReadDirEntry Read(std::uint32_t dirp, std::uint32_t& seqno);
};

// The EFS2 subsystem of an emulated handset: every EFS2 command answered from
// the file system, byte for byte as a device lays out its responses, with the
// device's error numbers and its descriptor and directory-handle tables.
//
// A response to a known command repeats the request's four header bytes,
// also when it carries a device error. An unknown command gets "bad command"
// and a request too short for its command (or a path without its NUL) "bad
// length", each with the request echoed, as the diagnostic dispatch answers
// what it has no handler for. Layouts and sources: docs/protocol.md.
//
// Not thread-safe: the handset calls it under its lock.
#pragma once

#include "emulator/FileSystem.h"
#include "emulator/Packet.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Emulator {

class FileCommands {
public:
    // The values HELLO answers with.
    static constexpr std::uint32_t kPacketWindow = 0x100000;
    static constexpr std::uint32_t kByteWindow = 0x100000;
    static constexpr std::uint32_t kVersion = 1;
    static constexpr std::uint32_t kFeatureBits = 0;
    static constexpr std::uint32_t kMounts = 1;
    // What STATFS and DEV_INFO say of the storage under the file system.
    static constexpr std::uint32_t kBlockSize = 512;
    static constexpr char kFileSystemType[] = "EFS2";
    static constexpr std::uint32_t kPageSize = 2048;
    static constexpr std::uint32_t kSpareSize = 64; // a page with its spare area is 2112 bytes
    static constexpr std::uint32_t kPagesPerBlock = 64;
    static constexpr char kDeviceName[] = "VORNAK EMULATED NAND";

    explicit FileCommands(FileSystem fileSystem);

    // Answers `request`, an EFS2 packet (dispatch code and subsystem
    // checked), into `reply`.
    void answer(const Request& request, Reply& reply);

    FileSystem& fileSystem() { return fileSystem_; }
    const FileSystem& fileSystem() const { return fileSystem_; }
    // Descriptors and directory handles open now.
    std::size_t openDescriptors() const;
    std::size_t openDirectories() const;
    // The longest response this handset sends.
    std::size_t largestResponse() const;
    // Makes the open directory `dirp` list made-up files past its last entry
    // for ever, as a broken handset might.
    void makeEndless(std::uint32_t dirp);

private:
    struct OpenFile {
        NodePtr file;
        std::uint32_t flags;
    };
    struct OpenDirectory {
        NodePtr directory;
        std::vector<std::string> names; // as they were at OPENDIR
        bool endless = false;           // lists made-up files past its last entry
    };

    // Each writes its response and returns true, or false for a request it
    // cannot parse, to which the caller answers "bad length".
    bool hello(const Request& request, Reply& reply);
    bool query(const Request& request, Reply& reply);
    bool open(const Request& request, Reply& reply);
    bool close(const Request& request, Reply& reply);
    bool read(const Request& request, Reply& reply);
    bool write(const Request& request, Reply& reply);
    bool symlink(const Request& request, Reply& reply);
    bool readLink(const Request& request, Reply& reply);
    bool unlink(const Request& request, Reply& reply);
    bool makeDirectory(const Request& request, Reply& reply);
    bool removeDirectory(const Request& request, Reply& reply);
    bool openDirectory(const Request& request, Reply& reply);
    bool readDirectory(const Request& request, Reply& reply);
    bool closeDirectory(const Request& request, Reply& reply);
    bool rename(const Request& request, Reply& reply);
    bool stat(const Request& request, Reply& reply, FileSystem::Follow follow);
    bool fileStat(const Request& request, Reply& reply);
    bool changeMode(const Request& request, Reply& reply);
    bool statFs(const Request& request, Reply& reply);
    bool access(const Request& request, Reply& reply);
    bool deviceInfo(const Request& request, Reply& reply);
    bool removeTree(const Request& request, Reply& reply);
    bool put(const Request& request, Reply& reply);
    bool get(const Request& request, Reply& reply);
    bool truncate(const Request& request, Reply& reply);
    bool truncateOpen(const Request& request, Reply& reply);
    bool md5Sum(const Request& request, Reply& reply);

    OpenFile* descriptor(std::uint32_t fd);
    OpenDirectory* directoryHandle(std::uint32_t dirp);

    FileSystem fileSystem_;
    std::vector<std::optional<OpenFile>> descriptors_;      // fd = index
    std::vector<std::optional<OpenDirectory>> directories_; // dirp = index + 1
};

} // namespace Emulator

// A file of this computer written under a temporary name beside its target
// and renamed into place only when it is complete: a transfer that fails or
// is interrupted leaves whatever file had the target's name untouched, and
// never a half-written one under it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace VornakEfs {

class StagedFile {
public:
    // Creates the temporary file (".<name>.vornak-<random>" in the target's
    // folder). Throws Failure (kHostFailure) when it cannot, or when a file
    // at the target may not be written.
    explicit StagedFile(std::filesystem::path target);
    // Removes the temporary file unless commit() put it in place.
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Appends bytes. Throws Failure (kHostFailure).
    void write(const std::uint8_t* bytes, std::size_t count);
    // Closes the file and renames it to the target, replacing a file there;
    // it keeps that file's permissions. Throws Failure (kHostFailure).
    void commit();

    const std::filesystem::path& temporaryPath() const { return temporary_; }

private:
    // Closes the file if open: 0, or the error of the close.
    int close();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    bool committed_ = false;
};

} // namespace VornakEfs

// The progress bar of one transfer, on a terminal: name, percentage, bar,
// bytes, rate and time left, redrawn in place at most ten times a second.
// Without a terminal it stays silent.
#pragma once

#include "efs/EFSFileProgress.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

namespace VornakEfs {

// One line of the bar, at most `width` columns (the name is shortened to fit).
std::string progressLine(const std::string& name, std::uint64_t done, std::uint64_t total,
                         double elapsedSeconds, bool finished, std::size_t width);

class Progress final : public Marl::Efs::EFSFileProgress {
public:
    // Draws on `terminal` (null: silent) for a transfer of `total` bytes.
    Progress(std::FILE* terminal, std::string name, std::uint64_t total);
    ~Progress() override;
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // `done` bytes of the total have moved. Throws Failure when Ctrl-C was pressed.
    void advanceTo(std::uint64_t done);
    // From the next drawing on, the line starts with `name`: for a transfer
    // of many files, which of them it has reached.
    void rename(std::string name) { name_ = std::move(name); }
    // Draws the final line and ends it.
    void finish();

    // The write loop reports here after every packet, and so a put can be
    // stopped between packets.
    void FileWriteProgress(std::uint32_t bytesSoFar, std::uint32_t bytesTotal,
                           std::uint32_t threadId) override;
    void FileReadProgress(std::uint32_t bytesSoFar, std::uint32_t bytesTotal,
                          std::uint32_t threadId) override;

private:
    void draw(bool finished);

    std::FILE* terminal_;
    std::string name_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    std::size_t drawnWidth_ = 0;
    bool drawn_ = false;
    bool finished_ = false;
};

} // namespace VornakEfs

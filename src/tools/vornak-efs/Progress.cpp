#include "tools/vornak-efs/Progress.h"

#include "tools/vornak-efs/Terminal.h"
#include "tools/vornak-efs/Text.h"

#include <algorithm>

namespace VornakEfs {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr std::size_t kBarWidth = 20;
constexpr std::size_t kNarrowestBar = 10;
constexpr std::size_t kNarrowestName = 8; // before the bar goes
constexpr std::size_t kShortestName = 4;  // "...x"

// Characters, not bytes, of UTF-8 text: what a terminal gives a column each.
std::size_t widthOf(const std::string& text)
{
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The end of `name` in at most `width` columns, after "..." when cut.
std::string fit(const std::string& name, std::size_t width)
{
    if (widthOf(name) <= width) {
        return name + std::string(width - widthOf(name), ' ');
    }
    if (width <= 3) {
        return std::string(width, '.');
    }
    std::size_t keep = width - 3;
    std::size_t start = name.size();
    while (keep > 0 && start > 0) {
        --start;
        if ((static_cast<unsigned char>(name[start]) & 0xC0) != 0x80) {
            --keep;
        }
    }
    return "..." + name.substr(start);
}

} // namespace

std::string progressLine(const std::string& name, std::uint64_t done, std::uint64_t total,
                         double elapsedSeconds, bool finished, std::size_t width)
{
    const double fraction =
        total == 0 ? 1.0 : std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
    const double rate = elapsedSeconds > 0.0 ? static_cast<double>(done) / elapsedSeconds : 0.0;

    std::string percent = std::to_string(static_cast<int>(fraction * 100.0)) + "%";
    percent.insert(0, 4 - percent.size(), ' ');
    std::string info = finished ? formatBytes(done) : formatBytes(done) + "/" + formatBytes(total);
    info += "  ";
    info += rate > 0.0 ? formatBytes(static_cast<std::uint64_t>(rate)) + "/s" : "-- B/s";
    info += "  ";
    if (finished) {
        info += "in " + formatDuration(elapsedSeconds);
    } else if (rate > 0.0) {
        info += formatDuration(static_cast<double>(total - std::min(done, total)) / rate) + " left";
    } else {
        info += "--:-- left";
    }

    // name, percentage, bar, information. The name keeps its width while the
    // bar can give way; the last column stays free so the terminal never wraps.
    const std::size_t room = width > 1 ? width - 1 : 0;
    const std::size_t fixed = 1 + percent.size() + 1 + info.size();
    const std::size_t available = room > fixed ? room - fixed : 0;
    const std::size_t nameWidth = widthOf(name);
    std::size_t bar = 0;
    if (available >= nameWidth + 3 + kNarrowestBar) {
        bar = std::min(kBarWidth, available - nameWidth - 3);
    } else if (available >= kNarrowestName + 3 + kNarrowestBar) {
        bar = kNarrowestBar;
    }
    const std::size_t barColumns = bar == 0 ? 0 : bar + 3;
    const std::size_t nameColumns =
        std::min(nameWidth, std::max(available - barColumns, kShortestName));

    std::string line = fit(name, nameColumns) + " " + percent;
    if (bar != 0) {
        const auto filled = static_cast<std::size_t>(fraction * static_cast<double>(bar));
        line += " [" + std::string(filled, '#') + std::string(bar - filled, '.') + "]";
    }
    line += " " + info;
    return line;
}

Progress::Progress(std::FILE* terminal, std::string name, std::uint64_t total)
    : terminal_(terminal)
    , name_(std::move(name))
    , total_(total)
    , start_(std::chrono::steady_clock::now())
    , lastDraw_(start_)
{}

Progress::~Progress()
{
    // A transfer that failed leaves its last line standing; the message follows below it.
    if (drawn_ && !finished_) {
        std::fputc('\n', terminal_);
        std::fflush(terminal_);
    }
}

void Progress::advanceTo(std::uint64_t done)
{
    Terminal::throwIfInterrupted();
    done_ = done;
    const auto now = std::chrono::steady_clock::now();
    if (terminal_ != nullptr && (!drawn_ || now - lastDraw_ >= kRedrawInterval)) {
        lastDraw_ = now;
        draw(false);
    }
}

void Progress::finish()
{
    if (terminal_ != nullptr) {
        draw(true);
        std::fputc('\n', terminal_);
        std::fflush(terminal_);
    }
    finished_ = true;
}

void Progress::FileWriteProgress(std::uint32_t bytesSoFar, std::uint32_t, std::uint32_t)
{
    advanceTo(bytesSoFar);
}

void Progress::FileReadProgress(std::uint32_t bytesSoFar, std::uint32_t, std::uint32_t)
{
    advanceTo(bytesSoFar);
}

void Progress::draw(bool finished)
{
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const std::string line =
        progressLine(name_, done_, total_, elapsed, finished, Terminal::columns(terminal_));
    // Blanks over what a longer earlier line left.
    const std::size_t width = widthOf(line);
    const std::size_t blanks = drawnWidth_ > width ? drawnWidth_ - width : 0;
    std::fprintf(terminal_, "\r%s%s", line.c_str(), std::string(blanks, ' ').c_str());
    std::fflush(terminal_);
    drawnWidth_ = width;
    drawn_ = true;
}

} // namespace VornakEfs

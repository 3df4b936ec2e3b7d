// Where throw sites report what they throw. The sink writes nowhere: there is
// no debug output, file or buffer behind it. Tests may capture the lines of
// their own thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Lang::TraceSink {

void write(std::string_view line);

// While a Capture lives, the lines written on its thread are kept in it.
class Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    const std::vector<std::string>& lines() const { return lines_; }

private:
    friend void write(std::string_view line);
    std::vector<std::string> lines_;
    Capture* outer_;
};

} // namespace Lang::TraceSink

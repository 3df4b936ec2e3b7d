// vornak-efs as a process: run it, or keep `serve` running, and collect what
// it wrote and how it ended. POSIX only.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

namespace ToolTest {

struct Outcome {
    int exitCode = -1; // 128 + the signal when one ended it
    std::string out;
    std::string err;
};

struct RunOptions {
    std::vector<std::string> environment; // "NAME=value" added for the run
    bool errorsOnTerminal = false;        // stderr is a pseudo-terminal rather than a pipe
};

// Runs vornak-efs with `arguments` and waits for it. VORNAK_EFS_PORT is
// never inherited.
Outcome run(const std::vector<std::string>& arguments, const RunOptions& options = {});

// `vornak-efs serve` in the background, from start to SIGINT.
class Server {
public:
    // Starts serving `seed` (empty: an empty handset) and waits for its path.
    explicit Server(const std::filesystem::path& seed);
    // Interrupts it, if stop() was not called.
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // "serial:/dev/pts/N".
    const std::string& port() const { return port_; }
    // Interrupts it and waits; what it wrote after the path, and its exit code.
    Outcome stop();

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string port_;
};

// A fresh folder of this computer, removed with the object.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace ToolTest

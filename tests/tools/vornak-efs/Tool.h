// vornak-efs as a process: run it, or keep `serve` running, and collect what
// it wrote and how it ended; and the host files its tests make and compare.
// POSIX only.
#pragma once

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace ToolTest {

struct Outcome {
    int exitCode = -1; // 128 + the signal when one ended it
    std::string out;
    std::string err;
};

// Everything `fd` holds from its start, or, for a pseudo-terminal, until its
// last slave is closed (EIO).
inline std::string readAll(int fd)
{
    ::lseek(fd, 0, SEEK_SET);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

// Starts vornak-efs with `arguments`, nothing on its input and its output to
// `out` and `err`. VORNAK_EFS_PORT is never inherited.
inline pid_t spawn(std::vector<std::string> arguments, int out, int err)
{
    arguments.insert(arguments.begin(), VORNAK_EFS_PROGRAM);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
        ::unsetenv("VORNAK_EFS_PORT");
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    return pid;
}

inline int waitFor(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs vornak-efs and waits for it; with `errorsOnTerminal` its stderr is a
// pseudo-terminal 100 columns wide rather than a file.
inline Outcome run(const std::vector<std::string>& arguments, bool errorsOnTerminal = false)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    int master = -1, slave = -1;
    if (errorsOnTerminal) {
        winsize size{24, 100, 0, 0};
        if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) {
            throw std::runtime_error("openpty failed");
        }
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    }
    const pid_t pid = spawn(arguments, ::fileno(out), errorsOnTerminal ? slave : ::fileno(err));
    Outcome outcome;
    if (errorsOnTerminal) {
        ::close(slave);
        outcome.err = readAll(master); // read as it comes: the terminal's buffer is small
        ::close(master);
    }
    outcome.exitCode = waitFor(pid);
    outcome.out = readAll(::fileno(out));
    if (!errorsOnTerminal) {
        outcome.err = readAll(::fileno(err));
    }
    std::fclose(out);
    std::fclose(err);
    return outcome;
}

// `vornak-efs serve` in the background, from serve() to stop().
struct Server {
    pid_t pid = -1;
    int out = -1; // its stdout after the first line
    std::FILE* err = std::tmpfile();
    std::string port; // "serial:/dev/pts/N" or "tcp:127.0.0.1:N"
};

// Starts serving `seed` and waits for where, its first line: the terminal's
// path, or with `listen` the TCP address.
inline void serve(Server& server, const std::string& seed, const std::string& listen = "",
                  const std::vector<std::string>& more = {})
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> arguments{"serve", "--emulator", seed};
    if (!listen.empty()) {
        arguments.insert(arguments.end(), {"--listen", listen});
    }
    arguments.insert(arguments.end(), more.begin(), more.end());
    server.pid = spawn(arguments, out[1], ::fileno(server.err));
    ::close(out[1]);
    server.out = out[0];
    std::string line;
    for (char c = 0; ::read(server.out, &c, 1) == 1 && c != '\n';) {
        line += c;
    }
    if (line.empty()) {
        throw std::runtime_error("vornak-efs serve named no port");
    }
    server.port = listen.empty() ? "serial:" + line : line;
}

// Interrupts it and waits; what it wrote after the path, and its exit code.
inline Outcome stop(Server& server)
{
    Outcome outcome;
    if (server.pid <= 0) {
        return outcome; // never started: kill(-1) would reach every process
    }
    ::kill(server.pid, SIGINT);
    outcome.exitCode = waitFor(server.pid);
    outcome.out = readAll(server.out);
    outcome.err = readAll(::fileno(server.err));
    ::close(server.out);
    std::fclose(server.err);
    return outcome;
}

// `size` bytes that the same `seed` makes again.
inline std::string bytesOf(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(generator()); });
    return bytes;
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// The whole file, or "<missing>".
inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(in ? static_cast<std::size_t>(in.tellg()) : 0, '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return in ? bytes : "<missing>";
}

} // namespace ToolTest

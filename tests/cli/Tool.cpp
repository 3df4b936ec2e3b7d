#include "Tool.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace ToolTest {

namespace {

// Reads both descriptors to their end (or EIO, which a pseudo-terminal gives
// once its last slave is closed).
void drain(int outFd, int errFd, std::string& out, std::string& err)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, 60000) <= 0) {
            throw std::runtime_error("vornak-efs wrote nothing for a minute");
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

int exitCodeOf(int status)
{
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

pid_t spawn(const std::vector<std::string>& arguments, const RunOptions& options, int outFd,
            int errFd)
{
    std::vector<char*> argv;
    std::string program = VORNAK_EFS_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> copies(arguments);
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFd, STDOUT_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        const int nothing = ::open("/dev/null", O_RDONLY);
        ::dup2(nothing, STDIN_FILENO);
        ::unsetenv("VORNAK_EFS_PORT");
        for (const std::string& variable : options.environment) {
            const std::size_t equals = variable.find('=');
            ::setenv(variable.substr(0, equals).c_str(), variable.substr(equals + 1).c_str(), 1);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    return pid;
}

void makePipe(int fds[2])
{
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
}

} // namespace

Outcome run(const std::vector<std::string>& arguments, const RunOptions& options)
{
    int out[2];
    int err[2];
    makePipe(out);
    if (options.errorsOnTerminal) {
        winsize size{};
        size.ws_col = 100;
        size.ws_row = 24;
        if (::openpty(&err[0], &err[1], nullptr, nullptr, &size) != 0) {
            throw std::runtime_error("openpty failed");
        }
        ::fcntl(err[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(err[1], F_SETFD, FD_CLOEXEC);
    } else {
        makePipe(err);
    }
    const pid_t pid = spawn(arguments, options, out[1], err[1]);
    ::close(out[1]);
    ::close(err[1]);
    Outcome outcome;
    drain(out[0], err[0], outcome.out, outcome.err);
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    outcome.exitCode = exitCodeOf(status);
    return outcome;
}

Server::Server(const std::filesystem::path& seed)
{
    int out[2];
    int err[2];
    makePipe(out);
    makePipe(err);
    std::vector<std::string> arguments{"serve"};
    if (!seed.empty()) {
        arguments.insert(arguments.end(), {"--emulator", seed.string()});
    }
    pid_ = spawn(arguments, {}, out[1], err[1]);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
    // The first line of the output is the terminal's path.
    std::string line;
    char c = 0;
    while (::read(out_, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    if (line.empty()) {
        throw std::runtime_error("vornak-efs serve named no terminal");
    }
    port_ = "serial:" + line;
}

Server::~Server()
{
    if (pid_ > 0) {
        stop();
    }
}

Outcome Server::stop()
{
    Outcome outcome;
    ::kill(pid_, SIGINT);
    drain(out_, err_, outcome.out, outcome.err);
    ::close(out_);
    ::close(err_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    outcome.exitCode = exitCodeOf(status);
    return outcome;
}

TemporaryFolder::TemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vornak-efs-test-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace ToolTest

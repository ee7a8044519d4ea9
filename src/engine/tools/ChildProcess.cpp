#include "ChildProcess.h"

#include "engine/tools/ProcessRunner.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace tarvo::engine {

void FileDescriptor::reset() noexcept
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Pipe makePipe()
{
    std::array<int, 2> fds{};
    if (::pipe2(fds.data(), O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot create a pipe");
    }
    return {FileDescriptor(fds[0]), FileDescriptor(fds[1])};
}

Terminal::Terminal()
    : m_master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC))
{
    if (!m_master || ::grantpt(m_master.get()) != 0 || ::unlockpt(m_master.get()) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot open a terminal");
    }
    std::array<char, 128> name{};
    if (::ptsname_r(m_master.get(), name.data(), name.size()) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot open a terminal");
    }
    m_slavePath = name.data();
    m_slave = FileDescriptor(::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios settings{};
    if (!m_slave || ::tcgetattr(m_slave.get(), &settings) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot open a terminal");
    }
    settings.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON | ISTRIP);
    settings.c_lflag &= ~static_cast<tcflag_t>(ISIG | IEXTEN);
    for (int key : {VERASE, VKILL, VWERASE, VREPRINT, VLNEXT, VEOF, VEOL, VEOL2}) {
        settings.c_cc[key] = _POSIX_VDISABLE;
    }
    ::tcsetattr(m_slave.get(), TCSANOW, &settings);
    ::fcntl(m_master.get(), F_SETFL, O_NONBLOCK);
}

bool Terminal::waitsForPassword() const
{
    termios settings{};
    int typed = 0;
    return ::tcgetattr(m_slave.get(), &settings) == 0 && (settings.c_lflag & ECHO) == 0 &&
           ::ioctl(m_slave.get(), FIONREAD, &typed) == 0 && typed == 0;
}

void Terminal::drain() const
{
    std::array<char, 4096> discard{};
    while (::read(m_master.get(), discard.data(), discard.size()) > 0) {
    }
}

void Terminal::type(const std::string& answer) const
{
    const std::string line = answer + "\n";
    // A line this short fits the terminal's buffer, which the tool has just emptied.
    [[maybe_unused]] const ssize_t written = ::write(m_master.get(), line.data(), line.size());
}

namespace {

class SpawnActions
{
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() noexcept { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

class SpawnAttributes
{
public:
    SpawnAttributes() { ::posix_spawnattr_init(&m_attributes); }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() noexcept { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

void check(int error, const char* what)
{
    if (error != 0) {
        throw std::system_error(error, std::generic_category(), what);
    }
}

} // namespace

pid_t spawnChild(const ToolRun& tool, int input, int output, int error, const Terminal* terminal)
{
    SpawnActions actions;
    if (terminal) {
        // Opened after the new session begins, so that it becomes the tool's controlling terminal:
        // what /dev/tty names when the tool asks for a password.
        check(::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, terminal->slavePath().c_str(), O_RDWR, 0),
              "posix_spawn_file_actions");
    } else if (input >= 0) {
        check(::posix_spawn_file_actions_adddup2(actions.get(), input, STDIN_FILENO), "posix_spawn_file_actions");
    } else {
        check(::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0),
              "posix_spawn_file_actions");
    }
    if (tool.standardOutputFile) {
        check(::posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, tool.standardOutputFile->c_str(),
                                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600),
              "posix_spawn_file_actions");
    } else {
        check(::posix_spawn_file_actions_adddup2(actions.get(), output, STDOUT_FILENO), "posix_spawn_file_actions");
    }
    check(::posix_spawn_file_actions_adddup2(actions.get(), error, STDERR_FILENO), "posix_spawn_file_actions");
    if (tool.currentDirectory) {
        check(::posix_spawn_file_actions_addchdir_np(actions.get(), tool.currentDirectory->c_str()),
              "posix_spawn_file_actions");
    }

    // A new session: no controlling terminal to prompt on, and one process group to cancel.
    SpawnAttributes attributes;
    check(::posix_spawnattr_setflags(attributes.get(),
                                     POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF),
          "posix_spawnattr");
    sigset_t none;
    sigemptyset(&none);
    check(::posix_spawnattr_setsigmask(attributes.get(), &none), "posix_spawnattr");
    // Ignored dispositions survive exec; a tool must not inherit an ignored SIGPIPE or SIGTERM.
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGCHLD, SIGTTIN, SIGTTOU, SIGTSTP}) {
        sigaddset(&defaults, signal);
    }
    check(::posix_spawnattr_setsigdefault(attributes.get(), &defaults), "posix_spawnattr");

    const std::string path = tool.executable.native();
    std::vector<char*> argv;
    argv.reserve(tool.arguments.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : tool.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    const std::vector<std::string> variables = tool.environment ? *tool.environment : ProcessRunner::toolEnvironment();
    std::vector<char*> envp;
    envp.reserve(variables.size() + 1);
    for (const std::string& variable : variables) {
        envp.push_back(const_cast<char*>(variable.c_str()));
    }
    envp.push_back(nullptr);

    pid_t child = 0;
    const int result = ::posix_spawn(&child, path.c_str(), actions.get(), attributes.get(), argv.data(), envp.data());
    if (result != 0) {
        throw std::system_error(result, std::generic_category(), "cannot start " + path);
    }
    if (tool.memoryCeiling) {
        // Set from outside, right after the start: posix_spawn offers no limits of its own. Whatever
        // the tool maps before this is small beside a ceiling of a gigabyte or more.
        const rlimit ceiling{*tool.memoryCeiling, *tool.memoryCeiling};
        if (::prlimit(child, RLIMIT_AS, &ceiling, nullptr) != 0) {
            const int error = errno;
            ::kill(child, SIGKILL);
            while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
            throw std::system_error(error, std::generic_category(), "cannot limit " + path);
        }
    }
    return child;
}

SigpipeGuard::SigpipeGuard()
{
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe, &m_previous);
}

SigpipeGuard::~SigpipeGuard()
{
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    const timespec zero{0, 0};
    while (::sigtimedwait(&pipe, nullptr, &zero) > 0) {
    }
    ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

Child::~Child()
{
    if (m_pid > 0) {
        ::kill(-m_pid, SIGKILL);
        if (m_session) {
            m_session->detach(m_pid);
        }
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

bool Child::hasEnded() const
{
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == m_pid;
}

void Child::killGroup() const
{
    ::kill(-m_pid, SIGKILL);
}

Exit Child::reap()
{
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    // Once reaped its id may be reused: the session must not signal it any more.
    if (m_session) {
        m_session->detach(m_pid);
    }
    int status = 0;
    int result = 0;
    rusage usage{};
    while ((result = ::wait4(m_pid, &status, 0, &usage)) < 0 && errno == EINTR) {
    }
    const int error = result < 0 ? errno : 0;
    m_pid = 0;
    if (error != 0) {
        // The exit status is unknown: never count that as success.
        throw std::system_error(error, std::generic_category(), "waitpid");
    }
    const auto peak = static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
    if (WIFSIGNALED(status)) {
        return {WTERMSIG(status), true, peak};
    }
    return {WEXITSTATUS(status), false, peak};
}

} // namespace tarvo::engine

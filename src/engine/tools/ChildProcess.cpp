// SPDX-License-Identifier: GPL-3.0-or-later

#include "ChildProcess.h"

#include "engine/tools/ProcessRunner.h"

#include <array>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <system_error>
#include <termios.h>
#include <thread>
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

// Everything the child needs, worked out before it starts: from its start to its exec it shares
// this process's memory, so it only makes system calls and writes nothing but `failure`.
struct ChildPlan
{
    const char* path = nullptr;
    char* const* argv = nullptr;
    char* const* envp = nullptr;
    const char* terminal = nullptr;
    const char* outputFile = nullptr;
    const char* directory = nullptr;
    std::array<int, 3> ends{-1, -1, -1}; // what becomes its standard input, output and error
    bool limitMemory = false;
    rlimit memory{};
    bool limitFileSize = false;
    rlimit fileSize{};
    pid_t parent = 0;
    int failure = 0; // errno of the step that failed
};

constexpr std::size_t kChildStack = 64 * 1024;

[[noreturn]] void fail(ChildPlan& plan)
{
    plan.failure = errno != 0 ? errno : EINVAL;
    ::_exit(127);
}

int startChildProgram(void* argument)
{
    ChildPlan& plan = *static_cast<ChildPlan*>(argument);
    // No handler of this process may run in the child, and ignored dispositions survive exec: a tool
    // must not inherit an ignored SIGPIPE or SIGTERM.
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction current
        {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_DFL) {
            struct sigaction standard
            {};
            standard.sa_handler = SIG_DFL;
            ::sigaction(signal, &standard, nullptr);
        }
    }
    // A new session: no controlling terminal to prompt on, and one process group to cancel.
    if (::setsid() < 0) {
        fail(plan);
    }
    // Whatever ends Tarvo, a kill included, ends the tool too. The signal follows the thread that
    // started the child, which lives as long as the process.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
        fail(plan);
    }
    if (::getppid() != plan.parent) {
        ::_exit(127);
    }
    if ((plan.limitMemory && ::setrlimit(RLIMIT_AS, &plan.memory) != 0) ||
        (plan.limitFileSize && ::setrlimit(RLIMIT_FSIZE, &plan.fileSize) != 0)) {
        fail(plan);
    }
    // Above the three standard numbers first, so that no end overwrites another as it moves.
    std::array<int, 3> ends = plan.ends;
    for (int& end : ends) {
        if (end >= 0 && (end = ::fcntl(end, F_DUPFD_CLOEXEC, 3)) < 0) {
            fail(plan);
        }
    }
    // Opened after the new session begins, so that it becomes the tool's controlling terminal:
    // what /dev/tty names when the tool asks for a password.
    if (plan.terminal && (ends[0] = ::open(plan.terminal, O_RDWR | O_CLOEXEC)) < 0) {
        fail(plan);
    }
    if (ends[0] < 0 && (ends[0] = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) < 0) {
        fail(plan);
    }
    if (plan.outputFile &&
        (ends[1] = ::open(plan.outputFile, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)) < 0) {
        fail(plan);
    }
    for (int target = 0; target < 3; ++target) {
        // An end that is already the number (opened where Tarvo had none) keeps close-on-exec
        // through dup2, which then does nothing.
        const int end = ends[static_cast<std::size_t>(target)];
        if ((end == target ? ::fcntl(end, F_SETFD, 0) : ::dup2(end, target)) < 0) {
            fail(plan);
        }
    }
    if (plan.directory && ::chdir(plan.directory) != 0) {
        fail(plan);
    }
    // Only its own three ends: a descriptor Tarvo inherited without close-on-exec stays here.
    if (::close_range(3, ~0U, 0) != 0) {
        for (int fd = 3; fd < 65536; ++fd) {
            ::close(fd);
        }
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(plan.path, plan.argv, plan.envp);
    fail(plan);
}

pid_t startPlanned(ChildPlan& plan)
{
    const std::unique_ptr<char[]> stack(new char[kChildStack]);
    // Until the child execs, a signal must reach no handler of ours on its stack.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t child = ::clone(startChildProgram, stack.get() + kChildStack, CLONE_VM | CLONE_VFORK | SIGCHLD, &plan);
    const int error = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (child < 0) {
        throw std::system_error(error, std::generic_category(), std::string("cannot start ") + plan.path);
    }
    if (plan.failure != 0) {
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        throw std::system_error(plan.failure, std::generic_category(), std::string("cannot start ") + plan.path);
    }
    return child;
}

// Starts every child from one thread that lives as long as the process: a child's parent-death
// signal fires when the thread that started it ends, and jobs run on threads that come and go.
class Starter
{
public:
    static Starter& instance()
    {
        static auto* starter = new Starter; // never destroyed: its thread may outlive static objects
        return *starter;
    }

    pid_t start(ChildPlan& plan)
    {
        std::packaged_task<pid_t()> task([&plan] { return startPlanned(plan); });
        std::future<pid_t> started = task.get_future();
        {
            const std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_wake.notify_one();
        return started.get();
    }

private:
    Starter()
    {
        std::thread([this] { serve(); }).detach();
    }

    [[noreturn]] void serve()
    {
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return !m_tasks.empty(); });
            std::packaged_task<pid_t()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::packaged_task<pid_t()>> m_tasks;
};

} // namespace

pid_t spawnChild(const ToolRun& tool, int input, int output, int error, const Terminal* terminal)
{
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

    ChildPlan plan;
    plan.path = path.c_str();
    plan.argv = argv.data();
    plan.envp = envp.data();
    plan.terminal = terminal ? terminal->slavePath().c_str() : nullptr;
    plan.outputFile = tool.standardOutputFile ? tool.standardOutputFile->c_str() : nullptr;
    plan.directory = tool.currentDirectory ? tool.currentDirectory->c_str() : nullptr;
    plan.ends = {terminal ? -1 : input, tool.standardOutputFile ? -1 : output, error};
    if (tool.memoryCeiling) {
        plan.limitMemory = true;
        plan.memory = {*tool.memoryCeiling, *tool.memoryCeiling};
    }
    if (tool.fileSizeCeiling) {
        plan.limitFileSize = true;
        plan.fileSize = {*tool.fileSizeCeiling, *tool.fileSizeCeiling};
    }
    plan.parent = ::getpid();
    return Starter::instance().start(plan);
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

#include "ProcessRunner.h"

#include "OutputTail.h"
#include "PasswordFailure.h"
#include "ProgressParser.h"
#include "engine/l10n/L10n.h"
#include "engine/util/LineSplitter.h"
#include "engine/util/PathText.h"
#include "engine/util/TextUtil.h"
#include "engine/vocabulary/ArchiveError.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <system_error>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace tarvo::engine {

namespace {

constexpr std::size_t kReadChunk = 256 * 1024;
// Tools such as unzip write each line on its own; waking for every one of them costs more than the
// tool's work on small files. After a short read the runner lets output gather this long.
constexpr auto kGatherInterval = std::chrono::microseconds(1000);
constexpr std::size_t kShortRead = 1024;
constexpr int kPipeCapacity = 1024 * 1024;
// How often a run that can be cancelled looks whether a cancelled tool left helpers behind.
constexpr int kCancelCheckMilliseconds = 100;
// How often a tool given a terminal is looked at, and how long it must wait there with echo off
// and nothing typed before that counts as a prompt. A tool between reading an answer and turning
// echo back on can look the same: the spare prompt a run allows covers that.
constexpr int kTerminalCheckMilliseconds = 10;
constexpr auto kPromptSettle = std::chrono::milliseconds(40);
// How often a run with a watch calls it.
constexpr auto kWatchInterval = std::chrono::milliseconds(20);

class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {}
    FileDescriptor(FileDescriptor&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    ~FileDescriptor() { reset(); }

    int get() const noexcept { return m_fd; }
    explicit operator bool() const noexcept { return m_fd >= 0; }
    void reset() noexcept
    {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd = -1;
};

struct Pipe
{
    FileDescriptor read;
    FileDescriptor write;
};

Pipe makePipe()
{
    std::array<int, 2> fds{};
    if (::pipe2(fds.data(), O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot create a pipe");
    }
    return {FileDescriptor(fds[0]), FileDescriptor(fds[1])};
}

// A pseudo-terminal for a tool that reads its password from the terminal. Its line editing is off,
// so that every character of a password arrives as typed and none raises a signal.
class Terminal
{
public:
    Terminal()
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

    const std::string& slavePath() const noexcept { return m_slavePath; }

    // Whether the tool waits at its terminal with echo off and nothing typed: a password prompt.
    bool waitsForPassword() const
    {
        termios settings{};
        int typed = 0;
        return ::tcgetattr(m_slave.get(), &settings) == 0 && (settings.c_lflag & ECHO) == 0 &&
               ::ioctl(m_slave.get(), FIONREAD, &typed) == 0 && typed == 0;
    }

    // What the tool writes there (its prompts, an echo) matters to no one, but it must not fill up.
    void drain() const
    {
        std::array<char, 4096> discard{};
        while (::read(m_master.get(), discard.data(), discard.size()) > 0) {
        }
    }

    void type(const std::string& answer) const
    {
        const std::string line = answer + "\n";
        // A line this short fits the terminal's buffer, which the tool has just emptied.
        [[maybe_unused]] const ssize_t written = ::write(m_master.get(), line.data(), line.size());
    }

private:
    FileDescriptor m_master;
    FileDescriptor m_slave;
    std::string m_slavePath;
};

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

// Blocks SIGPIPE on this thread while it writes to a child that may have gone, and discards a
// SIGPIPE raised meanwhile, so that an early exit of the child never ends the application.
class SigpipeGuard
{
public:
    SigpipeGuard()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipe, &m_previous);
    }
    ~SigpipeGuard()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        const timespec zero{0, 0};
        while (::sigtimedwait(&pipe, nullptr, &zero) > 0) {
        }
        ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    sigset_t m_previous;
};

struct Exit
{
    std::int32_t status = 0;
    bool signalled = false;
    std::uint64_t peakBytes = 0; // the most memory the tool held at once
};

// Reaps the child. If the runner itself fails while the child runs (no memory, a line handler
// that throws), the child's whole group is killed first, so that no tool goes on writing an
// archive that its caller is about to remove.
class Child
{
public:
    Child(pid_t pid, std::shared_ptr<ArchiveSession> session)
        : m_pid(pid)
        , m_session(std::move(session))
    {}
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child()
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

    // Whether the child has ended; it stays unreaped, so its process group cannot be reused yet.
    bool hasEnded() const
    {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == m_pid;
    }

    // Kills what is left of the child's process group.
    void killGroup() const { ::kill(-m_pid, SIGKILL); }

    Exit reap()
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

private:
    pid_t m_pid;
    std::shared_ptr<ArchiveSession> m_session;
};

// Starts the child and pumps its three pipes until both outputs end, then reaps it.
// `tail` receives lines through the splitters; it is told which bytes stay valid while they are split.
template <typename Output, typename Errors>
Exit execute(const ToolRun& tool, Output& output, Errors& errors, OutputTail& tail, bool& refusedAnswer)
{
    Pipe out;
    if (!tool.standardOutputFile) {
        out = makePipe();
    }
    Pipe err = makePipe();
    Pipe in;
    std::optional<Terminal> terminal;
    if (tool.terminalAnswer) {
        terminal.emplace();
    } else if (tool.standardInput) {
        in = makePipe();
    }
    // Fewer wake-ups for tools that print a line per file.
    if (out.read) {
        ::fcntl(out.read.get(), F_SETPIPE_SZ, kPipeCapacity);
    }

    pid_t child = 0;
    auto spawn = [&] {
        child = spawnChild(tool, in.read.get(), out.write.get(), err.write.get(), terminal ? &*terminal : nullptr);
        return child;
    };
    if (tool.session) {
        if (!tool.session->attach(spawn)) {
            throw ArchiveError(ArchiveError::Case::cancelled);
        }
    } else {
        spawn();
    }
    Child guard(child, tool.session);
    out.write.reset();
    err.write.reset();
    in.read.reset();

    std::optional<SigpipeGuard> sigpipe;
    std::string_view pendingInput;
    if (tool.standardInput && !terminal) {
        sigpipe.emplace();
        pendingInput = *tool.standardInput;
        ::fcntl(in.write.get(), F_SETFL, O_NONBLOCK);
        if (pendingInput.empty()) {
            in.write.reset();
        }
    }

    int prompts = 0;
    std::optional<std::chrono::steady_clock::time_point> waiting;
    auto answerPrompts = [&] {
        terminal->drain();
        if (!terminal->waitsForPassword()) {
            waiting.reset();
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!waiting) {
            waiting = now;
        } else if (now - *waiting >= kPromptSettle) {
            waiting.reset();
            if (++prompts > tool.terminalPrompts) {
                // Asked again: the answer was refused, and another would only repeat it.
                refusedAnswer = true;
                guard.killGroup();
                terminal.reset();
                return;
            }
            terminal->type(*tool.terminalAnswer);
        }
    };

    auto watched = std::chrono::steady_clock::now();
    std::unique_ptr<char[]> buffer(new char[kReadChunk]);
    bool gather = false;
    while (out.read || err.read || in.write) {
        if (gather) {
            std::this_thread::sleep_for(kGatherInterval);
            gather = false;
        }
        std::array<pollfd, 3> fds{};
        std::array<int, 3> roles{};
        nfds_t count = 0;
        if (out.read) {
            fds[count] = {out.read.get(), POLLIN, 0};
            roles[count++] = 0;
        }
        if (err.read) {
            fds[count] = {err.read.get(), POLLIN, 0};
            roles[count++] = 1;
        }
        if (in.write) {
            fds[count] = {in.write.get(), POLLOUT, 0};
            roles[count++] = 2;
        }
        const int timeout = terminal       ? kTerminalCheckMilliseconds
                            : tool.watch   ? static_cast<int>(kWatchInterval.count())
                            : tool.session ? kCancelCheckMilliseconds
                                           : -1;
        if (::poll(fds.data(), count, timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        // A cancel's signal to the group can miss a helper that the tool was forking at that moment
        // (a shell blocks signals around fork): once the cancelled tool has ended, nothing of its
        // group may hold the outputs open.
        if (tool.session && tool.session->isCancelled() && guard.hasEnded()) {
            guard.killGroup();
        }
        if (terminal) {
            answerPrompts();
        }
        if (tool.watch) {
            if (const auto now = std::chrono::steady_clock::now(); now - watched >= kWatchInterval) {
                watched = now;
                tool.watch(); // what it throws ends the run; the guard stops the tool
            }
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            if (roles[i] == 2) {
                const ssize_t written = ::write(in.write.get(), pendingInput.data(), pendingInput.size());
                if (written > 0) {
                    pendingInput.remove_prefix(static_cast<std::size_t>(written));
                }
                if (pendingInput.empty() || (written < 0 && errno != EAGAIN && errno != EINTR)) {
                    in.write.reset();
                }
                continue;
            }
            auto consume = [&](auto& splitter, FileDescriptor& stream) {
                const ssize_t got = ::read(stream.get(), buffer.get(), kReadChunk);
                if (got > 0) {
                    tail.setStableRange(buffer.get(), buffer.get() + got);
                    splitter.feed(std::string_view(buffer.get(), static_cast<std::size_t>(got)));
                    tail.settle();
                    gather = gather || static_cast<std::size_t>(got) < kShortRead;
                } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                    splitter.finish();
                    stream.reset();
                }
            };
            if (roles[i] == 0) {
                consume(output, out.read);
            } else {
                consume(errors, err.read);
            }
        }
    }

    return guard.reap();
}

std::string toolName(const ToolRun& tool)
{
    return lastComponent(tool.executable);
}

// The verdicts every run shares, in their order: a cancel, then the tool's password words.
std::string preliminaryVerdict(const ToolRun& tool, const OutputTail& tail, bool passwordFailure)
{
    if (tool.session && tool.session->isCancelled()) {
        throw ArchiveError(ArchiveError::Case::cancelled);
    }
    std::string message(trimmed(tail.joined()));
    if (!tool.redact.empty()) {
        message = replacingAll(message, tool.redact, ProcessRunner::kMask);
    }
    if (passwordFailure) {
        throw ArchiveError(ArchiveError::Case::wrongPassword);
    }
    return message;
}

// A failed tool that had used a quarter of its ceiling or more ran into it: real work stays far
// below (lsar lists 100,000 entries in a quarter of the smallest ceiling). A child started with
// posix_spawn inherits this process's peak as its own at exec, so only a peak beyond ours counts.
bool ranOutOfMemory(const ToolRun& tool, const Exit& exit)
{
    constexpr std::uint64_t kMargin = 64ULL << 20;
    rusage self{};
    ::getrusage(RUSAGE_SELF, &self);
    const auto ours = static_cast<std::uint64_t>(self.ru_maxrss) * 1024;
    return tool.memoryCeiling && exit.peakBytes >= *tool.memoryCeiling / 4 && exit.peakBytes > ours + kMargin;
}

bool failed(const ToolRun& tool, const Exit& exit)
{
    // A tool killed by a signal did not finish its work, whatever number the signal has.
    return exit.signalled || !tool.successCodes.contains(exit.status);
}

// unar's and lsar's words about a password stand on a line with an entry's name, which an archive
// chooses: they count only when the tool failed, which no name can make it do.
bool countsAsPasswordFailure(const ToolRun& tool, const Exit& exit, bool passwordFailure)
{
    return passwordFailure &&
           (PasswordFailure::familyOf(toolName(tool)) != PasswordFailure::Family::unar || failed(tool, exit));
}

void judge(const ToolRun& tool, const Exit& exit, const OutputTail& tail, bool passwordFailure)
{
    std::string message = preliminaryVerdict(tool, tail, countsAsPasswordFailure(tool, exit, passwordFailure));
    if (!failed(tool, exit)) {
        return;
    }
    if (ranOutOfMemory(tool, exit)) {
        message = L10n::text(Text::outOfMemory);
    }
    throw ArchiveError::toolFailed(toolName(tool), exit.status, std::move(message));
}

} // namespace

std::vector<std::string> ProcessRunner::toolEnvironment()
{
    // A list of what is kept, not of what is dropped: each tool reads variables of its own
    // (UNZIP=-: lets unzip write above its folder), and new ones appear with new versions.
    constexpr std::array<std::string_view, 6> kKept{"PATH=", "HOME=", "TMPDIR=", "TZ=", "LANG=", "LANGUAGE="};
    std::vector<std::string> kept;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string_view text(*variable);
        if (text.starts_with("LC_") ||
            std::any_of(kKept.begin(), kKept.end(), [&](std::string_view name) { return text.starts_with(name); })) {
            kept.emplace_back(text);
        }
    }
    return kept;
}

void ProcessRunner::run(const ToolRun& tool, const LineHandler& onLine)
{
    const auto family = PasswordFailure::familyOf(toolName(tool));
    const auto progress = ProgressParser::familyOf(toolName(tool));
    OutputTail tail;
    bool passwordFailure = false;
    // 7-Zip redraws its progress on standard output after backspaces, quoting entry names; other
    // tools' backspaces (in a name within a message, say) change nothing.
    const bool redraws = progress == ProgressParser::Family::sevenZip;
    auto sink = [&](std::string_view line, bool redrawn) {
        // A redrawn progress report and bsdtar's line for each entry quote names and would crowd
        // the message out: only the progress reads them.
        if (!redrawn && !ProgressParser::onlyNamesEntry(progress, line)) {
            tail.append(line);
            if (!passwordFailure && PasswordFailure::matchesLine(line, family)) {
                passwordFailure = true;
            }
        }
        if (onLine) {
            onLine(line);
        }
    };
    LineSplitter output([&](std::string_view line, bool redrawn) { sink(line, redrawn && redraws); });
    LineSplitter errors([&](std::string_view line) { sink(line, false); });
    bool refusedAnswer = false;
    const Exit exit = execute(tool, output, errors, tail, refusedAnswer);
    judge(tool, exit, tail, passwordFailure || refusedAnswer);
}

namespace {

struct RawCapture
{
    std::string output;
    Exit exit;
    OutputTail tail;
    bool passwordFailure = false;
};

RawCapture captureRaw(const ToolRun& tool, const ProcessRunner::LineHandler& onOutputLine = {})
{
    const auto family = PasswordFailure::familyOf(toolName(tool));
    RawCapture raw;
    LineSplitter output([&](std::string_view line) {
        if (onOutputLine) {
            onOutputLine(line);
        } else {
            if (!raw.output.empty()) {
                raw.output += '\n';
            }
            raw.output += line;
        }
        if (!raw.passwordFailure && PasswordFailure::matchesLine(line, family)) {
            raw.passwordFailure = true;
        }
    });
    LineSplitter errors([&](std::string_view line) {
        raw.tail.append(line);
        if (!raw.passwordFailure && PasswordFailure::matchesLine(line, family)) {
            raw.passwordFailure = true;
        }
    });
    bool refusedAnswer = false;
    raw.exit = execute(tool, output, errors, raw.tail, refusedAnswer);
    raw.passwordFailure = raw.passwordFailure || refusedAnswer;
    return raw;
}

} // namespace

std::string ProcessRunner::capture(const ToolRun& tool)
{
    RawCapture raw = captureRaw(tool);
    judge(tool, raw.exit, raw.tail, raw.passwordFailure);
    return std::move(raw.output);
}

ProcessRunner::Captured ProcessRunner::captureWithStatus(const ToolRun& tool, const LineHandler& onOutputLine)
{
    RawCapture raw = captureRaw(tool, onOutputLine);
    std::string message =
        preliminaryVerdict(tool, raw.tail, countsAsPasswordFailure(tool, raw.exit, raw.passwordFailure));
    const bool outOfMemory = failed(tool, raw.exit) && ranOutOfMemory(tool, raw.exit);
    if (outOfMemory) {
        message = L10n::text(Text::outOfMemory);
    }
    return {std::move(raw.output), raw.exit.status, raw.exit.signalled, std::move(message), outOfMemory};
}

} // namespace tarvo::engine

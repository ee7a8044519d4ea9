// SPDX-License-Identifier: GPL-3.0-or-later

#include "ProcessRunner.h"

#include "ChildProcess.h"
#include "OutputTail.h"
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
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>

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
// How soon a run with a watch first calls it.
constexpr auto kWatchInterval = std::chrono::milliseconds(20);

// The runner's ends of the pipes to one child, by what each carries.
struct ChildEnds
{
    FileDescriptor output;            // its standard output, unless that goes to a file
    FileDescriptor errors;            // its standard error
    FileDescriptor input;             // its standard input, while there is text left to write to it
    std::optional<Terminal> terminal; // its terminal, when it asks for a password there
};

// Starts the child under the run's session with its pipes, and keeps the runner's ends of them.
std::pair<ChildEnds, pid_t> startChild(const ToolRun& tool)
{
    Pipe output;
    if (!tool.standardOutputFile) {
        output = makePipe();
        // Fewer wake-ups for tools that print a line per file.
        ::fcntl(output.read.get(), F_SETPIPE_SZ, kPipeCapacity);
    }
    Pipe errors = makePipe();
    Pipe input;
    ChildEnds ends;
    if (tool.terminalAnswer) {
        ends.terminal.emplace();
    } else if (tool.standardInput) {
        input = makePipe();
    }
    pid_t child = 0;
    auto spawn = [&] {
        child = spawnChild(tool, input.read.get(), output.write.get(), errors.write.get(),
                           ends.terminal ? &*ends.terminal : nullptr);
        return child;
    };
    if (tool.session) {
        if (!tool.session->attach(spawn)) {
            throw ArchiveError(ArchiveError::Case::cancelled);
        }
    } else {
        spawn();
    }
    ends.output = std::move(output.read);
    ends.errors = std::move(errors.read);
    ends.input = std::move(input.write);
    return {std::move(ends), child};
}

// Carries one run's traffic until both of the child's outputs end: its output to the splitters and
// the tail, the text it is given to its standard input, the answer to its terminal's prompts, and
// the run's watch and cancel checks.
template <typename Output, typename Errors> class Pump
{
public:
    Pump(const ToolRun& tool, ChildEnds& ends, Child& child, Output& output, Errors& errors, OutputTail& tail)
        : m_tool(tool)
        , m_ends(ends)
        , m_child(child)
        , m_output(output)
        , m_errors(errors)
        , m_tail(tail)
    {
        if (m_ends.input) {
            m_sigpipe.emplace();
            m_pendingInput = *tool.standardInput;
            ::fcntl(m_ends.input.get(), F_SETFL, O_NONBLOCK);
            if (m_pendingInput.empty()) {
                m_ends.input.reset();
            }
        }
    }

    void run()
    {
        while (m_ends.output || m_ends.errors || m_ends.input) {
            if (m_gather) {
                std::this_thread::sleep_for(kGatherInterval);
                m_gather = false;
            }
            std::array<pollfd, 3> polled{};
            nfds_t count = 0;
            for (FileDescriptor* end : {&m_ends.output, &m_ends.errors}) {
                if (*end) {
                    polled[count++] = {end->get(), POLLIN, 0};
                }
            }
            if (m_ends.input) {
                polled[count++] = {m_ends.input.get(), POLLOUT, 0};
            }
            if (::poll(polled.data(), count, pollTimeout()) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw std::system_error(errno, std::generic_category(), "poll");
            }
            lookAfterChild();
            for (nfds_t i = 0; i < count; ++i) {
                if (polled[i].revents == 0) {
                    continue;
                }
                if (m_ends.input && polled[i].fd == m_ends.input.get()) {
                    writeInput();
                } else if (m_ends.output && polled[i].fd == m_ends.output.get()) {
                    read(m_ends.output, m_output);
                } else if (m_ends.errors && polled[i].fd == m_ends.errors.get()) {
                    read(m_ends.errors, m_errors);
                }
            }
        }
    }

    // The child asked again at its terminal after it was answered: the answer was refused.
    bool refusedAnswer() const { return m_refusedAnswer; }

private:
    int pollTimeout() const
    {
        return m_ends.terminal  ? kTerminalCheckMilliseconds
               : m_tool.watch   ? static_cast<int>(m_watchEvery.count())
               : m_tool.session ? kCancelCheckMilliseconds
                                : -1;
    }

    // Between two polls: what is left of a cancelled tool, its terminal, and the run's watch.
    void lookAfterChild()
    {
        // A cancel's signal to the group can miss a helper that the tool was forking at that moment
        // (a shell blocks signals around fork): once the cancelled tool has ended, nothing of its
        // group may hold the outputs open.
        if (m_tool.session && m_tool.session->isCancelled() && m_child.hasEnded()) {
            m_child.killGroup();
        }
        if (m_ends.terminal) {
            answerPrompts();
        }
        if (m_tool.watch) {
            if (const auto now = std::chrono::steady_clock::now(); now - m_watched >= m_watchEvery) {
                m_watched = now;
                // What it throws ends the run; the child's guard stops the tool.
                m_watchEvery = std::clamp(m_tool.watch(), std::chrono::milliseconds(1), kWatchInterval);
            }
        }
    }

    void answerPrompts()
    {
        Terminal& terminal = *m_ends.terminal;
        terminal.drain();
        if (!terminal.waitsForPassword()) {
            m_waiting.reset();
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!m_waiting) {
            m_waiting = now;
        } else if (now - *m_waiting >= kPromptSettle) {
            m_waiting.reset();
            if (++m_prompts > m_tool.terminalPrompts) {
                // Asked again: the answer was refused, and another would only repeat it.
                m_refusedAnswer = true;
                m_child.killGroup();
                m_ends.terminal.reset();
                return;
            }
            terminal.type(*m_tool.terminalAnswer);
        }
    }

    void writeInput()
    {
        const ssize_t written = ::write(m_ends.input.get(), m_pendingInput.data(), m_pendingInput.size());
        if (written > 0) {
            m_pendingInput.remove_prefix(static_cast<std::size_t>(written));
        }
        if (m_pendingInput.empty() || (written < 0 && errno != EAGAIN && errno != EINTR)) {
            m_ends.input.reset();
        }
    }

    // The tail is told which bytes stay valid while the splitter hands on lines that lie in them.
    template <typename Splitter> void read(FileDescriptor& stream, Splitter& splitter)
    {
        const ssize_t got = ::read(stream.get(), m_buffer.get(), kReadChunk);
        if (got > 0) {
            m_tail.setStableRange(m_buffer.get(), m_buffer.get() + got);
            splitter.feed(std::string_view(m_buffer.get(), static_cast<std::size_t>(got)));
            m_tail.settle();
            m_gather = m_gather || static_cast<std::size_t>(got) < kShortRead;
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            splitter.finish();
            stream.reset();
        }
    }

    const ToolRun& m_tool;
    ChildEnds& m_ends;
    Child& m_child;
    Output& m_output;
    Errors& m_errors;
    OutputTail& m_tail;
    std::optional<SigpipeGuard> m_sigpipe;
    std::string_view m_pendingInput;
    int m_prompts = 0;
    std::optional<std::chrono::steady_clock::time_point> m_waiting;
    bool m_refusedAnswer = false;
    std::chrono::steady_clock::time_point m_watched = std::chrono::steady_clock::now();
    std::chrono::milliseconds m_watchEvery = kWatchInterval;
    std::unique_ptr<char[]> m_buffer{new char[kReadChunk]};
    bool m_gather = false;
};

// Starts the child, pumps its pipes until both outputs end, then reaps it.
template <typename Output, typename Errors>
Exit execute(const ToolRun& tool, Output& output, Errors& errors, OutputTail& tail, bool& refusedAnswer)
{
    auto [ends, pid] = startChild(tool);
    Child child(pid, tool.session);
    Pump<Output, Errors> pump(tool, ends, child, output, errors, tail);
    pump.run();
    refusedAnswer = pump.refusedAnswer();
    return child.reap();
}

bool isPasswordFailure(const ToolRun& tool, std::string_view line)
{
    return tool.reading && tool.reading->passwordFailure && tool.reading->passwordFailure(line);
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
// below (lsar lists 100,000 entries in a quarter of the smallest ceiling). A child that shares
// this process's memory until its exec inherits this process's peak as its own, so only a peak
// beyond ours counts.
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
    return passwordFailure && (!tool.reading || !tool.reading->passwordWordsNeedFailure || failed(tool, exit));
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
    // It tried to write a file larger than the room left above the space reserve.
    if (tool.fileSizeCeiling && exit.signalled && exit.status == SIGXFSZ) {
        throw ArchiveError(ArchiveError::Case::notEnoughSpace);
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
    const OutputReading* reading = tool.reading;
    OutputTail tail;
    bool passwordFailure = false;
    // 7-Zip redraws its progress on standard output after backspaces, quoting entry names; other
    // tools' backspaces (in a name within a message, say) change nothing.
    const bool redraws = reading && reading->redrawsProgress;
    auto sink = [&](std::string_view line, bool redrawn) {
        // A redrawn progress report and bsdtar's line for each entry quote names and would crowd
        // the message out: only the progress reads them.
        if (!redrawn && !(reading && reading->onlyNamesEntry && reading->onlyNamesEntry(line))) {
            tail.append(line);
            passwordFailure = passwordFailure || isPasswordFailure(tool, line);
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
        raw.passwordFailure = raw.passwordFailure || isPasswordFailure(tool, line);
    });
    LineSplitter errors([&](std::string_view line) {
        raw.tail.append(line);
        raw.passwordFailure = raw.passwordFailure || isPasswordFailure(tool, line);
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

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ArchiveSession.h"
#include "ToolRun.h"

#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <utility>

namespace tarvo::engine {

// What the process runner needs of the system to start, feed and reap one child.

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
    void reset() noexcept;

private:
    int m_fd = -1;
};

struct Pipe
{
    FileDescriptor read;
    FileDescriptor write;
};

Pipe makePipe();

// A pseudo-terminal for a tool that reads its password from the terminal. Its line editing is off,
// so that every character of a password arrives as typed and none raises a signal.
class Terminal
{
public:
    Terminal();

    const std::string& slavePath() const noexcept { return m_slavePath; }
    // Whether the tool waits at its terminal with echo off and nothing typed: a password prompt.
    bool waitsForPassword() const;
    // What the tool writes there (its prompts, an echo) matters to no one, but it must not fill up.
    void drain() const;
    void type(const std::string& answer) const;

private:
    FileDescriptor m_master;
    FileDescriptor m_slave;
    std::string m_slavePath;
};

// Starts the tool in a session of its own with the given ends of its pipes (-1: none), or on
// `terminal`, under its memory ceiling.
pid_t spawnChild(const ToolRun& tool, int input, int output, int error, const Terminal* terminal);

// Blocks SIGPIPE on this thread while it writes to a child that may have gone, and discards a
// SIGPIPE raised meanwhile, so that an early exit of the child never ends the application.
class SigpipeGuard
{
public:
    SigpipeGuard();
    ~SigpipeGuard();
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
    ~Child();

    // Whether the child has ended; it stays unreaped, so its process group cannot be reused yet.
    bool hasEnded() const;
    // Kills what is left of the child's process group.
    void killGroup() const;
    Exit reap();

private:
    pid_t m_pid;
    std::shared_ptr<ArchiveSession> m_session;
};

} // namespace tarvo::engine

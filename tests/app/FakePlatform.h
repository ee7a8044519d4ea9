// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/interfaces/Platform.h"

#include <QPointer>
#include <algorithm>
#include <deque>
#include <vector>

namespace tarvo::test {

// Open panels answered in advance; an unanswered panel counts as cancelled.
class FakeDialogs : public platform::FileDialogs
{
public:
    QCoro::Task<std::optional<QStringList>> open(platform::OpenRequest request) override
    {
        requests.push_back(request);
        const std::optional<QStringList> answer = answers.empty() ? std::nullopt : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        co_return answer;
    }

    std::deque<std::optional<QStringList>> answers;
    std::vector<platform::OpenRequest> requests;
};

class FakeReveal : public platform::FileReveal
{
public:
    void reveal(const QStringList& paths) override { revealed.push_back(paths); }
    void open(const QString& path) override { opened.push_back(path); }
    std::vector<QStringList> revealed;
    std::vector<QString> opened;
};

class FakeNotifier : public platform::Notifier
{
public:
    void deliver(const QString& body) override { bodies.push_back(body); }
    std::vector<QString> bodies;
};

class FakeLoginItem : public platform::LoginItem
{
public:
    Status status() const override { return current; }
    std::optional<QString> setEnabled(bool enabled) override
    {
        requests.push_back(enabled);
        if (failure) {
            return failure;
        }
        current = enabled ? statusWhenEnabled : Status::notRegistered;
        return std::nullopt;
    }

    Status current = Status::notRegistered;
    Status statusWhenEnabled = Status::enabled;
    std::optional<QString> failure;
    std::vector<bool> requests;
};

class FakeInhibitor : public platform::SleepInhibitor
{
public:
    void begin() override { held = ++begun > ended; }
    void end() override { held = begun > ++ended; }
    int begun = 0;
    int ended = 0;
    bool held = false;
};

class FakeDesktop : public platform::Desktop
{
public:
    bool isActive() const override { return active; }
    void showMainWindow() override { ++shown; }
    bool active = true;
    int shown = 0;
};

// Time that moves only when the test says so.
class FakeClock : public platform::Clock
{
public:
    void after(std::chrono::milliseconds delay, QObject* context, std::function<void()> action) override
    {
        m_pending.push_back({m_now + delay, QPointer<QObject>(context), std::move(action)});
    }

    void advance(std::chrono::milliseconds step)
    {
        m_now += step;
        // Callbacks may schedule new ones; take the due ones first.
        const auto later = std::stable_partition(m_pending.begin(), m_pending.end(),
                                                 [&](const Pending& pending) { return pending.when <= m_now; });
        std::vector<Pending> due(std::make_move_iterator(m_pending.begin()), std::make_move_iterator(later));
        m_pending.erase(m_pending.begin(), later);
        for (Pending& pending : due) {
            if (pending.context) {
                pending.action();
            }
        }
    }

private:
    struct Pending
    {
        std::chrono::milliseconds when;
        QPointer<QObject> context;
        std::function<void()> action;
    };
    std::chrono::milliseconds m_now{0};
    std::vector<Pending> m_pending;
};

// Answers "Add to file manager" with the failure the test sets, or success; counts the requests.
class FakeFileManagerMenus : public platform::FileManagerMenus
{
public:
    std::optional<QString> addForUser() override
    {
        ++requests;
        return failure;
    }

    int requests = 0;
    std::optional<QString> failure;
};

// One of each, kept by the test so that it can answer and inspect them.
struct FakePlatform
{
    std::shared_ptr<FakeDialogs> dialogs = std::make_shared<FakeDialogs>();
    std::shared_ptr<FakeReveal> reveal = std::make_shared<FakeReveal>();
    std::shared_ptr<FakeNotifier> notifier = std::make_shared<FakeNotifier>();
    std::shared_ptr<FakeLoginItem> loginItem = std::make_shared<FakeLoginItem>();
    std::shared_ptr<FakeInhibitor> inhibitor = std::make_shared<FakeInhibitor>();
    std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeFileManagerMenus> fileManagerMenus = std::make_shared<FakeFileManagerMenus>();

    platform::Platform platform() const
    {
        return {dialogs, reveal, notifier, loginItem, inhibitor, desktop, clock, fileManagerMenus};
    }
};

} // namespace tarvo::test

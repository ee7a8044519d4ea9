// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "FakePlatform.h"
#include "TaskRunner.h"
#include "TestSupport.h"
#include "app/AppModel.h"
#include "app/PreviewModel.h"

#include <QPointer>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace tarvo::app {
// Readable failures.
inline void PrintTo(const Banner& banner, std::ostream* out)
{
    static const char* const kinds[] = {"working", "success", "failure", "idle"};
    *out << kinds[static_cast<int>(banner.kind)] << "(\"" << banner.text.toStdString() << "\")";
}
} // namespace tarvo::app

namespace tarvo::test {

// A model in a home of its own: settings, history, cache and tool folder under a temporary folder, the
// interface in English, and fake desktop pieces the test can answer and inspect. Beside each model
// is a preview's model wired to its queue as the application wires them; it lasts as long as the test.
class ModelTest : public ::testing::Test
{
protected:
    std::unique_ptr<app::AppModel> makeModel()
    {
        auto queue = std::make_shared<QPointer<app::AppModel>>();
        m_previews.push_back(std::make_unique<app::PreviewModel>([queue](app::WorkRequest request) {
            if (*queue) {
                (*queue)->enqueue(std::move(request));
            }
        }));
        auto model = std::make_unique<app::AppModel>(*m_previews.back(),
                                                     app::AppModel::Options{fakes.platform(), settingsFile()});
        *queue = model.get();
        return model;
    }
    // The preview's model beside the model made last.
    app::PreviewModel& preview() const { return *m_previews.back(); }

    QString settingsFile() const { return QString::fromStdString((m_home / "config/Tarvo/Tarvo.conf").string()); }
    std::filesystem::path historyFile() const { return m_home / "data/Tarvo/history.json"; }
    std::filesystem::path toolDirectory() const { return m_home / "data/Tarvo/bin"; }
    // A folder for the test's own files, apart from the model's.
    std::filesystem::path work() const { return m_home / "work"; }

    // Waits for the queue to run dry; false when it did not within the bound.
    static bool waitIdle(const app::AppModel& model, int milliseconds = 60000)
    {
        return spinUntil([&] { return !model.isWorking(); }, milliseconds);
    }

    static std::optional<QString> alertText(const app::AppModel& model)
    {
        return model.alert() ? std::optional<QString>(model.alert()->text) : std::nullopt;
    }

    static QList<QUrl> urls(std::initializer_list<std::filesystem::path> paths)
    {
        QList<QUrl> list;
        for (const auto& path : paths) {
            list << QUrl::fromLocalFile(QString::fromStdString(path.string()));
        }
        return list;
    }

    TempDir m_temp;
    std::filesystem::path m_home = m_temp.path();
    ScopedEnv m_data{"XDG_DATA_HOME", (m_home / "data").string()};
    ScopedEnv m_config{"XDG_CONFIG_HOME", (m_home / "config").string()};
    ScopedEnv m_cache{"XDG_CACHE_HOME", (m_home / "cache").string()};
    ScopedEnv m_language{"LANGUAGE", std::string("en")};
    FakePlatform fakes;
    // Each goes after the models of the test, which present into it.
    std::vector<std::unique_ptr<app::PreviewModel>> m_previews;

    void SetUp() override { std::filesystem::create_directories(work()); }
};

} // namespace tarvo::test

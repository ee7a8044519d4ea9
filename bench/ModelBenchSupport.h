// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What the model and window benchmarks share: a home of their own, a full start-up state to load,
// and a probe of the event loop's stalls.
#include "engine/history/ArchiveRecord.h"
#include "engine/history/HistoryStore.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvo::bench {

// Records how long the event loop goes between the turns of a 1 ms timer.
class StallProbe
{
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, static_cast<double>(now - m_last) / 1e6);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    double seconds() const { return static_cast<double>(m_clock.nsecsElapsed()) / 1e9; }
    double longest() const { return m_longest; }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0;
    double m_longest = 0;
};

// A fresh folder whose data and config folders the model uses.
inline std::filesystem::path makeHome(const std::string& name)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (name + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    const std::filesystem::path home = pattern;
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    return home;
}

// Settings and a history of 40 records, all there to be read at start-up.
inline void writeStartupState(const QString& settingsFile)
{
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        settings.setValue("tarvo.format", "7z");
        settings.setValue("tarvo.language", "de");
    }
    std::vector<engine::ArchiveRecord> records;
    for (int i = 0; i < 40; ++i) {
        records.push_back(engine::ArchiveRecord::make(engine::JobKind::compress, engine::ArchiveFormat::zip,
                                                      "Archive " + std::to_string(i) + ".zip",
                                                      "/home/someone/Archive " + std::to_string(i) + ".zip", true));
    }
    engine::HistoryStore::save(records);
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace tarvo::bench

// SPDX-License-Identifier: GPL-3.0-or-later

// Installing the optional tools from the settings window.
#include "AppModel.h"
#include "ModelWorkers.h"
#include "RarInstaller.h"
#include "engine/l10n/L10n.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/tools/ToolLocator.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ErrorText.h"

#include <QPointer>

namespace tarvo::app {

using namespace engine;

namespace {

// Neither installation touches the model, which may be gone when they end. They run on the shared
// pool, not the model's workers: Homebrew may take minutes, cannot be stopped, and quitting must not
// wait for it.
QCoro::Task<RarSupport> locateTools()
{
    auto locating = runOn(QThreadPool::globalInstance(), [] { return ToolLocator::rarSupport(); });
    co_return co_await locating;
}

QCoro::Task<RarSupport> installRar()
{
    auto download = RarInstaller::installOfficialTools();
    co_await download;
    auto locating = locateTools();
    co_return co_await locating;
}

QCoro::Task<RarSupport> installSevenZipWith(std::filesystem::path brew)
{
    auto installation = runOn(QThreadPool::globalInstance(), [brew] {
        ToolRun run;
        run.executable = brew;
        run.arguments = {"install", "sevenzip"};
        ProcessRunner::run(run);
        return ToolLocator::rarSupport();
    });
    co_return co_await installation;
}

} // namespace

void AppModel::refreshFromSystem()
{
    // An installation ends with a lookup of its own; an earlier one finishing after it would undo it.
    if (!m_isInstallingTools) {
        relocateTools();
    }
    readLoginStatus();
}

QCoro::Task<> AppModel::relocateTools()
{
    QPointer<AppModel> self(this);
    auto locating = locateTools();
    RarSupport tools = co_await locating;
    if (self) {
        assignObserved(*this, m_tools, std::move(tools), &AppModel::toolsChanged);
    }
}

void AppModel::installToolsFor(ArchiveFormat format)
{
    if (m_isInstallingTools || (format != ArchiveFormat::rar && format != ArchiveFormat::sevenZip)) {
        return;
    }
    if (format == ArchiveFormat::rar) {
        assignObserved(*this, m_isInstallingTools, true, &AppModel::isInstallingToolsChanged);
        finishInstallation(installRar());
        return;
    }
    if (!m_tools.brew) {
        const auto error = ArchiveError::toolFailed("brew", 1, L10n::text(Text::homebrewNotFoundLinux));
        setAlert({.text = QString::fromStdString(error.errorDescription())});
        return;
    }
    assignObserved(*this, m_isInstallingTools, true, &AppModel::isInstallingToolsChanged);
    finishInstallation(installSevenZipWith(*m_tools.brew));
}

QCoro::Task<> AppModel::finishInstallation(QCoro::Task<RarSupport> installation)
{
    QPointer<AppModel> self(this);
    std::optional<RarSupport> tools;
    std::optional<QString> failure;
    try {
        tools = co_await installation;
    } catch (const std::exception& error) {
        failure = QString::fromStdString(describeError(error));
    } catch (...) {
        failure = QString::fromStdString(L10n::text(Text::somethingWentWrong));
    }
    if (!self) {
        co_return;
    }
    if (tools) {
        assignObserved(*this, m_tools, *tools, &AppModel::toolsChanged);
    } else {
        setAlert({.text = failure.value_or(QString())});
    }
    assignObserved(*this, m_isInstallingTools, false, &AppModel::isInstallingToolsChanged);
}

} // namespace tarvo::app

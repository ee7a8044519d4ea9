// Installing the optional tools from the settings window.
#include "AppModel.h"
#include "ArchiveError.h"
#include "ErrorText.h"
#include "L10n.h"
#include "ModelWorkers.h"
#include "ProcessRunner.h"
#include "RarInstaller.h"
#include "ToolLocator.h"

#include <QPointer>

namespace tarvo::app {

using namespace engine;

void AppModel::installRarTools()
{
    if (m_isInstallingTools) {
        return;
    }
    assign(m_isInstallingTools, true, &AppModel::isInstallingToolsChanged);
    runRarInstallation();
}

void AppModel::installSevenZip()
{
    if (m_isInstallingTools) {
        return;
    }
    if (!m_tools.brew) {
        const auto error = ArchiveError::toolFailed("brew", 1, L10n::text(Text::homebrewNotFoundLinux));
        setAlert(QString::fromStdString(error.errorDescription()), false);
        return;
    }
    assign(m_isInstallingTools, true, &AppModel::isInstallingToolsChanged);
    runSevenZipInstallation(*m_tools.brew);
}

QCoro::Task<> AppModel::runRarInstallation()
{
    QPointer<AppModel> self(this);
    std::exception_ptr failure;
    try {
        auto installation = RarInstaller::installOfficialTools();
        co_await installation;
        if (!self) {
            co_return;
        }
        auto locating = runOn(&m_workers, [] { return ToolLocator::rarSupport(); });
        const RarSupport tools = co_await locating;
        if (self) {
            assign(m_tools, tools, &AppModel::toolsChanged);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    if (failure) {
        installationFailed(failure);
    }
    assign(m_isInstallingTools, false, &AppModel::isInstallingToolsChanged);
}

QCoro::Task<> AppModel::runSevenZipInstallation(std::filesystem::path brew)
{
    QPointer<AppModel> self(this);
    std::exception_ptr failure;
    try {
        // Not on the model's workers: Homebrew may take minutes and cannot be stopped, and quitting
        // must not wait for it.
        auto installation = runOn(QThreadPool::globalInstance(), [brew] {
            ToolRun run;
            run.executable = brew;
            run.arguments = {"install", "sevenzip"};
            ProcessRunner::run(run);
            return ToolLocator::rarSupport();
        });
        const RarSupport tools = co_await installation;
        if (self) {
            assign(m_tools, tools, &AppModel::toolsChanged);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    if (failure) {
        installationFailed(failure);
    }
    assign(m_isInstallingTools, false, &AppModel::isInstallingToolsChanged);
}

void AppModel::installationFailed(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& failure) {
        setAlert(QString::fromStdString(describeError(failure)), false);
    } catch (...) {
        setAlert(QString::fromStdString(L10n::text(Text::somethingWentWrong)), false);
    }
}

} // namespace tarvo::app

// SPDX-License-Identifier: GPL-3.0-or-later

#include "QtFileDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <algorithm>
#include <qcoro/qcorosignal.h>

namespace tarvo::platform {

namespace {

class OpenPanel final : public QFileDialog
{
public:
    OpenPanel(const OpenRequest& request, QWidget* parent)
        : QFileDialog(parent, request.message, request.startDirectory)
        , m_filesAndFolders(request.files && request.folders)
    {
        setAcceptMode(QFileDialog::AcceptOpen);
        if (!request.acceptLabel.isEmpty()) {
            setLabelText(QFileDialog::Accept, request.acceptLabel);
        }
        if (request.folders && !request.files) {
            setFileMode(QFileDialog::Directory);
            setOption(QFileDialog::ShowDirsOnly);
            return;
        }
        setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        if (!request.nameFilters.isEmpty()) {
            setNameFilter(request.nameFilters.join(u' '));
        }
        if (m_filesAndFolders) {
            setOption(QFileDialog::DontUseNativeDialog);
        }
    }

protected:
    void accept() override
    {
        // Qt's dialog opens a selected folder on confirm; when folders are wanted too, it is an answer.
        if (m_filesAndFolders) {
            const QStringList paths = selectedFiles();
            if (!paths.isEmpty() &&
                std::all_of(paths.begin(), paths.end(), [](const QString& path) { return QFileInfo::exists(path); })) {
                QDialog::accept();
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    bool m_filesAndFolders;
};

} // namespace

// Wakes the awaiting coroutine with the panel's answer, or with none when the panel is destroyed before
// it answered (a signal of a deleted object would never wake it).
class PanelAnswer : public QObject
{
    Q_OBJECT

public:
    void give(std::optional<QStringList> answer)
    {
        if (m_given) {
            return;
        }
        m_given = true;
        paths = std::move(answer);
        Q_EMIT given();
    }

    std::optional<QStringList> paths;

Q_SIGNALS:
    void given();

private:
    bool m_given = false;
};

QCoro::Task<std::optional<QStringList>> QtFileDialogs::open(OpenRequest request)
{
    auto* panel = new OpenPanel(request, QApplication::activeWindow());
    QPointer<OpenPanel> guard(panel);
    auto* answer = new PanelAnswer;
    QObject::connect(panel, &QDialog::finished, answer, [panel, answer](int result) {
        if (result != QDialog::Accepted) {
            answer->give(std::nullopt);
            return;
        }
        QStringList paths;
        for (const QString& path : panel->selectedFiles()) {
            paths.append(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
        }
        answer->give(paths);
    });
    QObject::connect(panel, &QObject::destroyed, answer, [answer] { answer->give(std::nullopt); });

    panel->show();
    panel->raise();
    panel->activateWindow();
    auto given = qCoro(answer, &PanelAnswer::given);
    co_await given;

    std::optional<QStringList> paths = std::move(answer->paths);
    answer->deleteLater();
    if (guard) {
        guard->deleteLater();
    }
    co_return paths;
}

} // namespace tarvo::platform

#include "QtFileDialogs.moc"

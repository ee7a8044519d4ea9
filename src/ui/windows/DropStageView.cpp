// SPDX-License-Identifier: GPL-3.0-or-later

#include "DropStageView.h"

#include "app/AppModel.h"
#include "engine/l10n/L10n.h"
#include "ui/widgets/Bindings.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/FormatPicker.h"
#include "ui/widgets/Panel.h"
#include "ui/widgets/Style.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvo::ui {

using engine::Text;

namespace {

constexpr int kStageWidth = 460;
constexpr int kProgressWidth = 280;
// The bar's steps: fine enough for a smooth bar, coarse enough that most ticks repaint nothing.
constexpr int kProgressSteps = 1000;

} // namespace

DropStageView::DropStageView(app::AppModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_panel(new Panel(this))
    , m_title(new ElidedLabel(m_panel))
    , m_subtitle(makeCaption(m_panel))
    , m_progressRow(new QWidget(m_panel))
    , m_progress(new QProgressBar(m_progressRow))
    , m_count(makeCaption(m_progressRow))
    , m_cancel(new QPushButton(m_progressRow))
    , m_format(new FormatPicker(m_panel))
    , m_name(new QLineEdit(m_panel))
    , m_levelLabel(new QLabel(m_panel))
    , m_level(new QComboBox(m_panel))
    , m_password(new QLineEdit(m_panel))
    , m_tarGzNote(makeCaption(m_panel))
    , m_rarNote(makeCaption(m_panel))
    , m_sevenZipNote(makeCaption(m_panel))
    , m_trayNote(makeCaption(m_panel))
    , m_destinationNote(makeCaption(m_panel))
{
    setAcceptDrops(true);
    m_panel->setMaximumWidth(kStageWidth);
    m_panel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

    m_title->setFont(titleFont(font()));
    m_title->setAlignment(Qt::AlignCenter);
    m_subtitle->setAlignment(Qt::AlignCenter);

    m_progress->setFixedWidth(kProgressWidth);
    m_progress->setTextVisible(false);
    m_progress->setMaximumHeight(8);
    m_count->setWordWrap(false);
    // The bar and its Cancel on one line, the count centred under them.
    auto* barLine = new QHBoxLayout;
    barLine->addStretch();
    barLine->addWidget(m_progress);
    barLine->addSpacing(8);
    barLine->addWidget(m_cancel);
    barLine->addStretch();
    auto* progressLayout = new QVBoxLayout(m_progressRow);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->setSpacing(2);
    progressLayout->addLayout(barLine);
    progressLayout->addWidget(m_count, 0, Qt::AlignHCenter);

    m_name->setClearButtonEnabled(true);
    m_password->setEchoMode(QLineEdit::Password);
    m_level->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    showLevels(m_level);

    // A screen reader on Linux names a combo box by its label.
    m_levelLabel->setBuddy(m_level);
    auto* options = new QHBoxLayout;
    options->addWidget(m_name, 1);
    options->addSpacing(6);
    options->addWidget(m_levelLabel);
    options->addWidget(m_level);

    auto* layout = new QVBoxLayout(m_panel);
    layout->setContentsMargins(24, 20, 24, 18);
    layout->setSpacing(10);
    layout->addWidget(m_title);
    layout->addWidget(m_subtitle);
    layout->addWidget(m_progressRow);
    layout->addSpacing(4);
    layout->addWidget(m_format);
    layout->addLayout(options);
    layout->addWidget(m_password);
    auto* notes = new QVBoxLayout;
    notes->setSpacing(2);
    for (QLabel* note : {m_tarGzNote, m_rarNote, m_sevenZipNote, m_trayNote, m_destinationNote}) {
        note->setAlignment(Qt::AlignCenter);
        notes->addWidget(note);
    }
    layout->addLayout(notes);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(16, 8, 16, 8);
    outer->addStretch();
    outer->addWidget(m_panel, 100);
    outer->addStretch();

    setTabOrder(m_format, m_name);
    setTabOrder(m_name, m_level);
    setTabOrder(m_level, m_password);

    using app::AppModel;
    connect(m_format, &FormatPicker::chosen, &m_model, &AppModel::setFormat);
    follow(m_model, &AppModel::formatChanged, m_format, [this] { m_format->setFormat(m_model.format()); });
    bindText(
        m_name, m_model, &AppModel::archiveNameChanged, [this] { return m_model.archiveName(); },
        [this](const QString& name) { m_model.setArchiveName(name); });
    bindText(
        m_password, m_model, &AppModel::archivePasswordChanged, [this] { return m_model.archivePassword(); },
        [this](const QString& password) { m_model.setArchivePassword(password); });
    bindLevel(m_level, m_model);
    connect(m_cancel, &QPushButton::clicked, &m_model, &AppModel::cancel);

    connect(&m_model, &AppModel::bannerChanged, this, &DropStageView::updateTitle);
    connect(&m_model, &AppModel::isWorkingChanged, this, &DropStageView::updateWorking);
    connect(&m_model, &AppModel::progressChanged, this, &DropStageView::updateProgress);
    for (const Changed changed : {&AppModel::formatChanged, &AppModel::archivePasswordChanged, &AppModel::toolsChanged,
                                  &AppModel::askForDestinationChanged}) {
        connect(&m_model, changed, this, &DropStageView::updateNotes);
    }
    connect(&m_model, &AppModel::languageChanged, this, &DropStageView::retranslate);
    retranslate();
    updateWorking();
}

QList<QUrl> DropStageView::fileUrls(const QMimeData* data)
{
    QList<QUrl> files;
    if (data == nullptr || !data->hasUrls()) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            files << url;
        }
    }
    return files;
}

bool DropStageView::takesDrops() const
{
    // While the preview waits for an answer, a new request would replace it unseen.
    return m_model.acceptsDrop();
}

void DropStageView::dragEnterEvent(QDragEnterEvent* event)
{
    if (takesDrops() && !fileUrls(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        setTargeted(true);
    } else {
        event->ignore();
    }
}

void DropStageView::dragLeaveEvent(QDragLeaveEvent* event)
{
    setTargeted(false);
    event->accept();
}

void DropStageView::dropEvent(QDropEvent* event)
{
    setTargeted(false);
    const QList<QUrl> files = fileUrls(event->mimeData());
    if (files.isEmpty() || !takesDrops()) {
        event->ignore();
        return;
    }
    m_model.enqueue({.paths = app::localFiles(files), .interactive = true, .action = engine::WorkAction::automatic()});
    event->acceptProposedAction();
}

void DropStageView::setTargeted(bool targeted)
{
    if (m_targeted != targeted) {
        m_targeted = targeted;
        m_panel->setAccent(targeted);
        updateTitle();
    }
}

void DropStageView::retranslate()
{
    m_cancel->setText(text(Text::cancel));
    m_name->setPlaceholderText(text(Text::archiveName));
    m_name->setAccessibleName(text(Text::archiveName));
    m_password->setPlaceholderText(text(Text::passwordIfNeeded));
    m_password->setAccessibleName(text(Text::passwordIfNeeded));
    m_format->setAccessibleName(text(Text::format));
    m_levelLabel->setText(text(Text::compression));
    showLevels(m_level);
    m_tarGzNote->setText(text(Text::tarGzNoPassword));
    m_rarNote->setText(text(Text::rarUnavailable));
    m_sevenZipNote->setText(text(Text::sevenZipUnavailable));
    m_trayNote->setText(text(Text::dropOnTrayHint));
    updateTitle();
    updateProgress();
    updateNotes();
}

void DropStageView::updateTitle()
{
    const app::Banner& banner = m_model.banner();
    const bool idle = banner.kind == app::Banner::Kind::idle;
    m_title->setName(!idle ? banner.text : m_targeted ? text(Text::dropToStart) : text(Text::moveYourFileHere));
    m_subtitle->setText(idle ? text(Text::tagline) : text(Text::passwordNeverSaved));
}

void DropStageView::updateWorking()
{
    const bool working = m_model.isWorking();
    m_progressRow->setVisible(working);
    for (QWidget* control : std::initializer_list<QWidget*>{m_format, m_name, m_level, m_password}) {
        control->setEnabled(!working);
    }
    updateProgress();
}

void DropStageView::updateProgress()
{
    if (!m_model.isWorking()) {
        return;
    }
    if (const std::optional<double> fraction = m_model.progressFraction()) {
        m_progress->setRange(0, kProgressSteps);
        m_progress->setValue(static_cast<int>(*fraction * kProgressSteps));
    } else {
        m_progress->setRange(0, 0);
    }
    // Without a total, "0 of 0" would say nothing true: a running count says what is known.
    const app::AppModel::Progress& progress = m_model.progress();
    const bool counted = progress.total > 0;
    m_count->setVisible(counted || progress.done > 0);
    if (counted) {
        m_count->setText(text(engine::L10n::progress(progress.done, progress.total)));
    } else if (progress.done > 0) {
        m_count->setText(QString::number(progress.done));
    }
}

void DropStageView::updateNotes()
{
    const engine::ArchiveFormat format = m_model.format();
    const engine::RarSupport& tools = m_model.tools();
    m_tarGzNote->setVisible(format == engine::ArchiveFormat::tarGz && !m_model.archivePassword().isEmpty());
    m_rarNote->setVisible(format == engine::ArchiveFormat::rar && !tools.creator);
    m_sevenZipNote->setVisible(format == engine::ArchiveFormat::sevenZip && !tools.sevenZip);
    m_destinationNote->setText(m_model.askForDestination() ? text(Text::askWhereToSaveCaption)
                                                           : text(Text::resultSavedNextToFiles));
}

} // namespace tarvo::ui

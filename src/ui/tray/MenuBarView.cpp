// SPDX-License-Identifier: GPL-3.0-or-later

#include "MenuBarView.h"

#include "app/AppModel.h"
#include "app/AppRuntime.h"
#include "engine/l10n/L10n.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Style.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvo::ui {

using engine::Text;

namespace {

constexpr int kWidth = 292;
constexpr int kMargin = 14;

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QPushButton* flatButton(QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setFlat(true);
    button->setStyleSheet(QStringLiteral("QPushButton { text-align: left; padding: 4px 6px; }"));
    return button;
}

} // namespace

MenuBarView::MenuBarView(app::AppModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_title(new QLabel(this))
    , m_banner(new QLabel(this))
    , m_trayNote(makeCaption(this))
    , m_open(new QPushButton(this))
    , m_compress(new QPushButton(this))
    , m_extract(new QPushButton(this))
    , m_recordDivider(divider(this))
    , m_records(new QWidget(this))
    , m_recordLayout(new QVBoxLayout(m_records))
    , m_about(flatButton(this))
    , m_settings(flatButton(this))
    , m_quit(flatButton(this))
{
    setFixedWidth(kWidth);
    m_title->setFont(headlineFont(font()));
    m_banner->setWordWrap(true);
    m_banner->setTextFormat(Qt::PlainText);
    m_open->setDefault(true);
    m_compress->setIcon(Icons::symbol("archivebox"));
    m_extract->setIcon(Icons::symbol("arrow.down.doc"));
    m_recordLayout->setContentsMargins(0, 0, 0, 0);
    m_recordLayout->setSpacing(0);

    auto* jobs = new QHBoxLayout;
    jobs->addWidget(m_compress);
    jobs->addWidget(m_extract);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(8);
    auto* heading = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(Icons::application().pixmap(24, 24));
    heading->addWidget(icon);
    heading->addWidget(m_title, 1);
    layout->addLayout(heading);
    layout->addWidget(m_banner);
    layout->addWidget(m_trayNote);
    layout->addWidget(m_open);
    layout->addLayout(jobs);
    layout->addWidget(m_recordDivider);
    layout->addWidget(m_records);
    layout->addWidget(divider(this));
    layout->addWidget(m_about);
    layout->addWidget(m_settings);
    layout->addWidget(m_quit);

    auto* quitShortcut = new QAction(this);
    quitShortcut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    addAction(quitShortcut);

    using app::AppModel;
    using app::AppRuntime;
    connect(m_open, &QPushButton::clicked, this, [] { AppRuntime::openMain(); });
    connect(m_compress, &QPushButton::clicked, &m_model, [this] { m_model.pick(engine::JobKind::compress); });
    connect(m_extract, &QPushButton::clicked, &m_model, [this] { m_model.pick(engine::JobKind::extract); });
    connect(m_about, &QPushButton::clicked, this, [] { AppRuntime::openAbout(); });
    connect(m_settings, &QPushButton::clicked, this, [] { AppRuntime::openSettings(); });
    connect(m_quit, &QPushButton::clicked, this, [] { AppRuntime::quit(); });
    connect(quitShortcut, &QAction::triggered, this, [] { AppRuntime::quit(); });
    connect(&m_model, &AppModel::bannerChanged, this, &MenuBarView::updateBanner);
    connect(&m_model, &AppModel::recordsChanged, this, &MenuBarView::updateRecords);
    connect(&m_model, &AppModel::isWorkingChanged, this, [this] {
        m_compress->setEnabled(!m_model.isWorking());
        m_extract->setEnabled(!m_model.isWorking());
    });
    connect(&m_model, &AppModel::languageChanged, this, &MenuBarView::retranslate);
    m_compress->setEnabled(!m_model.isWorking());
    m_extract->setEnabled(!m_model.isWorking());
    retranslate();
    updateRecords();
}

QList<QPushButton*> MenuBarView::recordButtons() const
{
    return m_records->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
}

void MenuBarView::retranslate()
{
    m_title->setText(text(engine::L10n::localized("Tarvo", "Tarvo")));
    m_trayNote->setText(text(Text::dropOnTrayHint));
    m_open->setText(text(Text::openTarvo));
    m_compress->setText(text(Text::compress));
    m_compress->setToolTip(text(Text::chooseFilesAndMakeArchive));
    m_extract->setText(text(Text::extract));
    m_extract->setToolTip(text(Text::chooseArchiveAndExtract));
    m_about->setText(text(Text::about));
    m_settings->setText(text(Text::settings));
    m_quit->setText(text(Text::quitTarvo));
    updateBanner();
}

void MenuBarView::updateBanner()
{
    const app::Banner& banner = m_model.banner();
    m_banner->setText(banner.kind == app::Banner::Kind::idle ? QString() : banner.text);
    m_banner->setVisible(!m_banner->text().isEmpty());
}

void MenuBarView::updateRecords()
{
    // Later, not now: the click that reached one of them may still be on its way out.
    for (QPushButton* button : recordButtons()) {
        button->hide();
        button->setParent(nullptr);
        button->deleteLater();
    }
    const auto& records = m_model.records();
    const std::size_t shown = std::min<std::size_t>(records.size(), kRecordCount);
    const int textWidth = kWidth - 2 * kMargin - 40;
    for (std::size_t i = 0; i < shown; ++i) {
        const engine::ArchiveRecord record = records[i];
        auto* button = flatButton(m_records);
        const QString title = singleLine(record.title);
        button->setText(button->fontMetrics().elidedText(title, Qt::ElideMiddle, textWidth));
        button->setAccessibleName(title);
        button->setToolTip(plainToolTip(singleLine(record.outputPath)));
        button->setIcon(Icons::record(record));
        connect(button, &QPushButton::clicked, this, [this, record] { m_model.reveal(record); });
        m_recordLayout->addWidget(button);
    }
    m_records->setVisible(shown > 0);
    m_recordDivider->setVisible(shown > 0);
}

} // namespace tarvo::ui

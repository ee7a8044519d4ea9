// SPDX-License-Identifier: GPL-3.0-or-later

#include "AboutWindow.h"

#include "app/AppModel.h"
#include "engine/Version.h"
#include "engine/l10n/L10n.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Links.h"
#include "ui/widgets/Style.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tarvo::ui {

using engine::Text;

namespace {

constexpr int kWidth = 380;
constexpr int kMargin = 28;
constexpr int kIconSize = 88;

} // namespace

AboutWindow::AboutWindow(app::AppModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_name(new QLabel(this))
    , m_version(makeCaption(this))
    , m_description(new QLabel(this))
    , m_developerLabel(new QLabel(this))
    , m_contactLabel(new QLabel(this))
{
    setWindowIcon(Icons::application());
    m_name->setFont(titleFont(font()));
    m_version->setText(QString::fromUtf8(engine::kVersion));
    m_description->setWordWrap(true);
    for (QLabel* label : {m_name, m_version, m_description}) {
        label->setAlignment(Qt::AlignCenter);
    }
    auto* links = new QGridLayout;
    links->setHorizontalSpacing(12);
    links->addWidget(m_developerLabel, 0, 0, Qt::AlignRight);
    links->addWidget(makeLink(developerSite(), QStringLiteral("tarvo.app"), this), 0, 1);
    links->addWidget(m_contactLabel, 1, 0, Qt::AlignRight);
    links->addWidget(makeLink(QStringLiteral("mailto:") + contactAddress(), contactAddress(), this), 1, 1);

    auto* layout = new QVBoxLayout(this);
    // The icon is painted above the labels, in the top margin: decoration that screen readers skip.
    layout->setContentsMargins(kMargin, kMargin + kIconSize + 14, kMargin, kMargin);
    layout->setSpacing(6);
    layout->addWidget(m_name);
    layout->addWidget(m_version);
    layout->addSpacing(8);
    layout->addWidget(m_description);
    layout->addSpacing(10);
    layout->addLayout(links);

    connect(&model, &app::AppModel::languageChanged, this, &AboutWindow::retranslate);
    retranslate();
}

void AboutWindow::retranslate()
{
    setWindowTitle(text(Text::about));
    m_name->setText(text(engine::L10n::localized("Tarvo", "Tarvo")));
    m_description->setText(text(Text::aboutDescriptionLinux));
    m_developerLabel->setText(text(Text::developer));
    m_contactLabel->setText(text(Text::questionsAndSuggestions));
    // The window is as tall as its content in every language.
    setFixedWidth(kWidth);
    setFixedHeight(heightForWidth(kWidth) > 0 ? heightForWidth(kWidth) : sizeHint().height());
}

void AboutWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    Icons::application().paint(&painter, QRect((width() - kIconSize) / 2, kMargin, kIconSize, kIconSize));
}

} // namespace tarvo::ui

// SPDX-License-Identifier: GPL-3.0-or-later

#include "FormatPicker.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QToolButton>

namespace tarvo::ui {

FormatPicker::FormatPicker(QWidget* parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const auto formats = engine::ArchiveFormat::allCases();
    for (std::size_t i = 0; i < formats.size(); ++i) {
        auto* segment = new QToolButton(this);
        const std::string_view title = formats[i].title();
        segment->setText(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
        segment->setCheckable(true);
        segment->setFocusPolicy(Qt::StrongFocus);
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        segment->setMinimumHeight(30);
        // Rounded outer corners on the first and last segment only.
        const QString corners = i == 0 ? QStringLiteral("border-top-left-radius: 7px; border-bottom-left-radius: 7px;")
                                : i + 1 == formats.size()
                                    ? QStringLiteral("border-top-right-radius: 7px; border-bottom-right-radius: 7px;")
                                    : QString();
        const QString leftBorder = i == 0 ? QString() : QStringLiteral("border-left: none;");
        segment->setStyleSheet(
            QStringLiteral(
                "QToolButton { border: 1px solid palette(mid); background: palette(base); padding: 4px 14px; %1 %2 }"
                "QToolButton:hover { background: palette(alternate-base); }"
                "QToolButton:checked { background: palette(highlight); color: palette(highlighted-text); }"
                "QToolButton:disabled { color: palette(mid); }"
                "QToolButton:focus { border-color: palette(highlight); }")
                .arg(corners, leftBorder));
        m_group->addButton(segment, static_cast<int>(i));
        layout->addWidget(segment);
    }
    m_group->setExclusive(true);
    connect(m_group, &QButtonGroup::idClicked, this,
            [this](int id) { Q_EMIT chosen(engine::ArchiveFormat::allCases()[static_cast<std::size_t>(id)]); });
}

void FormatPicker::setFormat(engine::ArchiveFormat format)
{
    const QSignalBlocker blocker(m_group);
    if (QAbstractButton* segment = m_group->button(static_cast<int>(format))) {
        segment->setChecked(true);
    }
}

} // namespace tarvo::ui

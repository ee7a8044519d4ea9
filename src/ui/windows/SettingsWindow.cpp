// SPDX-License-Identifier: GPL-3.0-or-later

#include "SettingsWindow.h"

#include "app/AppModel.h"
#include "ui/widgets/Bindings.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Links.h"
#include "ui/widgets/Panel.h"
#include "ui/widgets/Style.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

namespace tarvo::ui {

using engine::Text;

namespace {

constexpr QSize kDefaultSize(560, 700);
constexpr int kIconSize = 16;

// Parts for a mail attachment, a CD, and a FAT32 stick, whose files end one byte short of 4 GiB.
constexpr std::uint64_t kMegabyte = 1'000'000;
constexpr std::array<std::uint64_t, 3> kVolumePresets = {100 * kMegabyte, 700 * kMegabyte, 4'294'967'295};
// The combo box's rows: none, the presets, then "Other size…".
constexpr int kOtherVolumeRow = static_cast<int>(kVolumePresets.size()) + 1;

// A tool's state: "Ready" with a check mark or "Not found" with a cross. The icon is drawn in the
// label's indent, so the label reads as its text alone.
class StatusLabel : public QLabel
{
public:
    using QLabel::QLabel;

    void setFound(bool found)
    {
        m_icon = Icons::symbol(found ? "checkmark.circle" : "xmark.circle");
        setIndent(kIconSize + 6);
        setText(ui::text(found ? Text::ready : Text::notFound));
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        QPainter painter(this);
        const QRect box(contentsRect().left(), (height() - kIconSize) / 2, kIconSize, kIconSize);
        m_icon.paint(&painter, box);
    }

private:
    QIcon m_icon;
};

} // namespace

SettingsWindow::SettingsWindow(app::AppModel& model, std::function<void()> openAbout, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_model(model)
    , m_openAbout(std::move(openAbout))
{
    setWindowIcon(Icons::application());
    resize(kDefaultSize);
    m_scroll = new QScrollArea(this);
    QScrollArea* scroll = m_scroll;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget(scroll);
    auto* sections = new QVBoxLayout(content);
    sections->setContentsMargins(12, 12, 12, 12);
    sections->setSpacing(6);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    m_general = addSection(sections);
    m_login = addSection(sections);
    m_login.title->hide();
    m_aboutSection = addSection(sections);
    m_fileManager = addSection(sections);
    m_rar = addSection(sections);
    m_sevenZip = addSection(sections);
    sections->addStretch();

    // General.
    QWidget* panel = m_general.panel;
    m_languageLabel = new QLabel(panel);
    m_language = new QComboBox(panel);
    for (const engine::AppLanguage language : engine::AppLanguage::allCases()) {
        m_language->addItem(QString::fromStdString(language.displayName()));
    }
    m_formatLabel = new QLabel(panel);
    m_format = new QComboBox(panel);
    for (const engine::ArchiveFormat format : engine::ArchiveFormat::allCases()) {
        m_format->addItem(QString::fromUtf8(format.title().data(), static_cast<qsizetype>(format.title().size())));
    }
    m_levelLabel = new QLabel(panel);
    m_level = new QComboBox(panel);
    showLevels(m_level);
    m_zipEncryptionLabel = new QLabel(panel);
    m_zipEncryption = new QComboBox(panel);
    m_zipEncryption->addItems({QStringLiteral("AES-256"), QString()});
    // As wide as the other choices: the long line of ZipCrypto shows in full when the list opens.
    m_zipEncryption->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_zipEncryption->setMinimumContentsLength(12);
    m_zipEncryptionCaption = makeCaption(panel);
    m_volumeLabel = new QLabel(panel);
    m_volume = new QComboBox(panel);
    m_volume->addItem(QString());
    for (const std::uint64_t bytes : kVolumePresets) {
        m_volume->addItem(QString());
        m_volume->setItemData(m_volume->count() - 1, static_cast<qulonglong>(bytes));
    }
    m_volume->addItem(QString());
    m_volumeOther = new QSpinBox(panel);
    m_volumeOther->setRange(1, 100'000'000);
    m_volumeOther->setSuffix(QStringLiteral(" MB"));
    m_volumeOther->setGroupSeparatorShown(true);
    m_volumeOther->setValue(1000);
    // A size is taken when typing ends, not at each digit.
    m_volumeOther->setKeyboardTracking(false);
    m_volumeCaption = makeCaption(panel);
    m_skipJunk = new QCheckBox(panel);
    m_skipJunkCaption = makeCaption(panel);
    m_verify = new QCheckBox(panel);
    m_reveal = new QCheckBox(panel);
    m_ask = new QCheckBox(panel);
    m_askCaption = makeCaption(panel);
    QGridLayout* grid = m_general.grid;
    int row = 0;
    for (auto [label, combo] : {std::pair{m_languageLabel, m_language}, std::pair{m_formatLabel, m_format},
                                std::pair{m_levelLabel, m_level}, std::pair{m_zipEncryptionLabel, m_zipEncryption}}) {
        label->setBuddy(combo);
        grid->addWidget(label, row, 0);
        grid->addWidget(combo, row++, 1);
    }
    grid->addWidget(m_zipEncryptionCaption, row++, 1);
    m_volumeLabel->setBuddy(m_volume);
    auto* volumeRow = new QHBoxLayout;
    volumeRow->setContentsMargins(0, 0, 0, 0);
    // As wide as the combo boxes above; the typed size beside it when there is one.
    volumeRow->addWidget(m_volume, 1);
    volumeRow->addWidget(m_volumeOther);
    grid->addWidget(m_volumeLabel, row, 0);
    grid->addLayout(volumeRow, row++, 1);
    grid->addWidget(m_volumeCaption, row++, 1);
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_skipJunk, m_skipJunkCaption, m_verify, m_reveal, m_ask, m_askCaption}) {
        grid->addWidget(widget, row++, 0, 1, 2);
    }

    // Launch at login.
    m_launchAtLogin = new QCheckBox(m_login.panel);
    m_loginNote = makeCaption(m_login.panel);
    m_login.grid->addWidget(m_launchAtLogin, 0, 0, 1, 2);
    m_login.grid->addWidget(m_loginNote, 1, 0, 1, 2);

    // About.
    panel = m_aboutSection.panel;
    m_developerLabel = new QLabel(panel);
    m_developerLink = makeLink(developerSite(), QStringLiteral("tarvo.app"), panel);
    m_contactLabel = new QLabel(panel);
    m_contactLink = makeLink(QStringLiteral("mailto:") + contactAddress(), contactAddress(), panel);
    m_aboutButton = new QPushButton(panel);
    m_aboutSection.grid->addWidget(m_developerLabel, 0, 0);
    m_aboutSection.grid->addWidget(m_developerLink, 0, 1);
    m_aboutSection.grid->addWidget(m_contactLabel, 1, 0);
    m_aboutSection.grid->addWidget(m_contactLink, 1, 1);
    m_aboutSection.grid->addWidget(m_aboutButton, 2, 0, 1, 2, Qt::AlignLeft);

    // File manager.
    m_fileManagerHint = new QLabel(m_fileManager.panel);
    m_fileManagerHint->setWordWrap(true);
    m_addToFileManager = new QPushButton(m_fileManager.panel);
    m_fileManager.grid->addWidget(m_fileManagerHint, 0, 0, 1, 2);
    m_fileManager.grid->addWidget(m_addToFileManager, 1, 0, 1, 2, Qt::AlignLeft);
    m_fileManagerResult = makeCaption(m_fileManager.panel);
    m_fileManagerResult->setTextFormat(Qt::PlainText);
    m_fileManagerResult->hide();
    m_fileManager.grid->addWidget(m_fileManagerResult, 2, 0, 1, 2);

    // RAR.
    panel = m_rar.panel;
    addStatusRows(m_rar, m_createRarLabel, m_createRarStatus, m_extractRarLabel, m_extractRarStatus);
    m_zipCaption = makeCaption(panel);
    m_rarCaption = makeCaption(panel);
    m_installRar = new QPushButton(panel);
    m_rar.grid->addWidget(m_zipCaption, 2, 0, 1, 2);
    m_rar.grid->addWidget(m_rarCaption, 3, 0, 1, 2);
    m_rar.grid->addWidget(m_installRar, 4, 0, 1, 2, Qt::AlignLeft);

    // 7Z.
    panel = m_sevenZip.panel;
    addStatusRows(m_sevenZip, m_createSevenZipLabel, m_createSevenZipStatus, m_extractSevenZipLabel,
                  m_extractSevenZipStatus);
    m_installSevenZip = new QPushButton(panel);
    m_homebrewCaption = makeCaption(panel);
    m_sevenZip.grid->addWidget(m_installSevenZip, 2, 0, 1, 2, Qt::AlignLeft);
    m_sevenZip.grid->addWidget(m_homebrewCaption, 3, 0, 1, 2);

    using app::AppModel;
    bindIndex(
        m_language, m_model, &AppModel::languageChanged,
        [this] { return static_cast<int>(m_model.language().index()); },
        [this](int index) { m_model.setLanguage(engine::AppLanguage::allCases()[static_cast<std::size_t>(index)]); });
    bindIndex(
        m_format, m_model, &AppModel::formatChanged, [this] { return static_cast<int>(m_model.format()); },
        [this](int index) { m_model.setFormat(engine::ArchiveFormat::allCases()[static_cast<std::size_t>(index)]); });
    bindLevel(m_level, m_model);
    bindIndex(
        m_zipEncryption, m_model, &AppModel::zipEncryptionChanged,
        [this] { return static_cast<int>(m_model.zipEncryption()); },
        [this](int index) { m_model.setZipEncryption(static_cast<engine::ZipEncryption>(index)); });
    connect(m_volume, &QComboBox::activated, this, &SettingsWindow::chooseVolume);
    connect(m_volumeOther, &QSpinBox::valueChanged, this,
            [this](int megabytes) { m_model.setVolumeSize(static_cast<std::uint64_t>(megabytes) * kMegabyte); });
    connect(&m_model, &AppModel::volumeSizeChanged, this, &SettingsWindow::updateVolume);
    bindChecked(
        m_skipJunk, m_model, &AppModel::skipJunkChanged, [this] { return m_model.skipJunk(); },
        [this](bool on) { m_model.setSkipJunk(on); });
    bindChecked(
        m_verify, m_model, &AppModel::verifyAfterCreatingChanged, [this] { return m_model.verifyAfterCreating(); },
        [this](bool on) { m_model.setVerifyAfterCreating(on); });
    bindChecked(
        m_reveal, m_model, &AppModel::revealInFinderChanged, [this] { return m_model.revealInFinder(); },
        [this](bool on) { m_model.setRevealInFinder(on); });
    bindChecked(
        m_ask, m_model, &AppModel::askForDestinationChanged, [this] { return m_model.askForDestination(); },
        [this](bool on) { m_model.setAskForDestination(on); });
    bindChecked(
        m_launchAtLogin, m_model, &AppModel::launchAtLoginChanged, [this] { return m_model.launchAtLogin(); },
        [this](bool on) { m_model.setLaunchAtLogin(on); });
    connect(m_aboutButton, &QPushButton::clicked, this, [this] {
        if (m_openAbout) {
            m_openAbout();
        }
    });
    connect(m_addToFileManager, &QPushButton::clicked, this, [this] {
        m_fileManagerOutcome = m_model.addToFileManager().value_or(QString());
        retranslate();
    });
    connect(m_installRar, &QPushButton::clicked, this, [this] { m_model.installToolsFor(engine::ArchiveFormat::rar); });
    connect(m_installSevenZip, &QPushButton::clicked, this,
            [this] { m_model.installToolsFor(engine::ArchiveFormat::sevenZip); });
    connect(&m_model, &AppModel::toolsChanged, this, &SettingsWindow::updateTools);
    connect(&m_model, &AppModel::isInstallingToolsChanged, this, &SettingsWindow::updateTools);
    connect(&m_model, &AppModel::loginNoteChanged, this, &SettingsWindow::updateLogin);
    connect(&m_model, &AppModel::languageChanged, this, &SettingsWindow::retranslate);
    retranslate();
}

SettingsWindow::Section SettingsWindow::addSection(QVBoxLayout* layout)
{
    Section section{};
    section.title = new QLabel(this);
    section.title->setFont(headlineFont(font()));
    section.title->setContentsMargins(6, 8, 0, 0);
    section.panel = new Panel(this);
    section.grid = new QGridLayout(section.panel);
    section.grid->setContentsMargins(16, 12, 16, 12);
    section.grid->setHorizontalSpacing(16);
    section.grid->setVerticalSpacing(8);
    section.grid->setColumnStretch(1, 1);
    layout->addWidget(section.title);
    layout->addWidget(section.panel);
    return section;
}

void SettingsWindow::addStatusRows(Section& section, QLabel*& createLabel, QLabel*& createStatus, QLabel*& extractLabel,
                                   QLabel*& extractStatus)
{
    createLabel = new QLabel(section.panel);
    createStatus = new StatusLabel(section.panel);
    extractLabel = new QLabel(section.panel);
    extractStatus = new StatusLabel(section.panel);
    section.grid->addWidget(createLabel, 0, 0);
    section.grid->addWidget(createStatus, 0, 1);
    section.grid->addWidget(extractLabel, 1, 0);
    section.grid->addWidget(extractStatus, 1, 1);
}

void SettingsWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Tools may have been installed or removed since, and the autostart entry edited by hand.
    m_model.refreshFromSystem();
}

void SettingsWindow::retranslate()
{
    setWindowTitle(text(Text::settings));
    m_scroll->setAccessibleName(text(Text::settings));
    m_general.title->setText(text(Text::general));
    m_aboutSection.title->setText(text(Text::about));
    m_fileManager.title->setText(text(Text::fileManager));
    m_rar.title->setText(QStringLiteral("RAR"));
    m_sevenZip.title->setText(QStringLiteral("7Z"));

    m_languageLabel->setText(text(Text::language));

    m_formatLabel->setText(text(Text::format));

    m_levelLabel->setText(text(Text::compression));

    showLevels(m_level);
    m_zipEncryptionLabel->setText(text(Text::zipEncryption));
    m_zipEncryption->setItemText(1, text(Text::zipCryptoChoice));
    m_zipEncryption->view()->setMinimumWidth(m_zipEncryption->view()->sizeHintForColumn(0) + 24);
    m_zipEncryptionCaption->setText(text(Text::zipEncryptionCaption));
    m_volumeLabel->setText(text(Text::splitIntoParts));
    m_volume->setItemText(0, text(Text::splitNone));
    for (int row = 1; row < kOtherVolumeRow; ++row) {
        m_volume->setItemText(
            row, interfaceLocale().formattedDataSize(static_cast<qint64>(m_volume->itemData(row).toULongLong()), 0,
                                                     QLocale::DataSizeSIFormat));
    }
    m_volume->setItemText(kOtherVolumeRow, text(Text::splitOther));
    m_volumeOther->setAccessibleName(text(Text::splitOther));
    m_volumeCaption->setText(text(Text::splitCaption));
    updateVolume();
    m_skipJunk->setText(text(Text::leaveOutHousekeeping));
    m_skipJunkCaption->setText(text(Text::housekeepingCaption));
    m_verify->setText(text(Text::verifyAfterCreating));
    m_reveal->setText(text(Text::revealInFileManagerWhenFinished));
    m_ask->setText(text(Text::askWhereToSave));
    m_askCaption->setText(text(Text::askWhereToSaveCaption));
    m_launchAtLogin->setText(text(Text::launchAtLogin));

    m_developerLabel->setText(text(Text::developer));
    m_contactLabel->setText(text(Text::questionsAndSuggestions));
    m_aboutButton->setText(text(Text::about));
    m_fileManagerHint->setText(text(Text::fileManagerHint));
    m_addToFileManager->setText(text(Text::addToFileManager));
    if (m_fileManagerOutcome) {
        m_fileManagerResult->setText(m_fileManagerOutcome->isEmpty()
                                         ? text(Text::fileManagerAdded)
                                         : text(Text::fileManagerNotAdded) + u' ' + *m_fileManagerOutcome);
        m_fileManagerResult->show();
    }

    m_createRarLabel->setText(text(Text::createRar));
    m_extractRarLabel->setText(text(Text::extractRar));
    m_zipCaption->setText(text(Text::zipWorksImmediately));
    m_rarCaption->setText(text(Text::rarLicenseNote));
    m_createSevenZipLabel->setText(text(Text::createSevenZip));
    m_extractSevenZipLabel->setText(text(Text::extractSevenZip));
    m_homebrewCaption->setText(text(Text::homebrewNotFoundLinux));
    updateTools();
    updateLogin();
}

void SettingsWindow::updateTools()
{
    const engine::RarSupport& tools = m_model.tools();
    const bool installing = m_model.isInstallingTools();
    static_cast<StatusLabel*>(m_createRarStatus)->setFound(tools.creator.has_value());
    static_cast<StatusLabel*>(m_extractRarStatus)->setFound(tools.extractor.has_value());
    static_cast<StatusLabel*>(m_createSevenZipStatus)->setFound(tools.sevenZip.has_value());
    static_cast<StatusLabel*>(m_extractSevenZipStatus)->setFound(tools.sevenZip.has_value() || tools.unar.has_value());

    m_installRar->setVisible(!tools.extractor);
    m_installRar->setEnabled(!installing);
    m_installRar->setText(text(installing ? Text::installing : Text::installRar));

    m_installSevenZip->setVisible(!tools.sevenZip);
    m_installSevenZip->setEnabled(!installing && tools.brew.has_value());
    m_installSevenZip->setText(text(installing ? Text::installing : Text::installSevenZip));
    m_homebrewCaption->setVisible(!tools.sevenZip && !tools.brew);
}

void SettingsWindow::chooseVolume(int index)
{
    m_otherVolumeChosen = index == kOtherVolumeRow;
    if (m_otherVolumeChosen) {
        // The size in force, or else the one typed last, to start from.
        if (const std::uint64_t bytes = m_model.volumeSize(); bytes > 0) {
            const QSignalBlocker blocker(m_volumeOther);
            m_volumeOther->setValue(static_cast<int>((bytes + kMegabyte - 1) / kMegabyte));
        }
        m_model.setVolumeSize(static_cast<std::uint64_t>(m_volumeOther->value()) * kMegabyte);
        updateVolume();
        m_volumeOther->setFocus(Qt::OtherFocusReason);
        m_volumeOther->selectAll();
        return;
    }
    m_model.setVolumeSize(index == 0 ? 0 : m_volume->itemData(index).toULongLong());
    updateVolume();
}

void SettingsWindow::updateVolume()
{
    const std::uint64_t bytes = m_model.volumeSize();
    int row = bytes == 0 ? 0 : kOtherVolumeRow;
    for (int preset = 1; preset < kOtherVolumeRow && !m_otherVolumeChosen; ++preset) {
        if (m_volume->itemData(preset).toULongLong() == bytes) {
            row = preset;
        }
    }
    if (bytes == 0) {
        m_otherVolumeChosen = false;
    }
    const QSignalBlocker comboBlocker(m_volume);
    m_volume->setCurrentIndex(row);
    m_volumeOther->setVisible(row == kOtherVolumeRow);
    if (row == kOtherVolumeRow) {
        // Sizes are whole megabytes here; one given in bytes elsewhere shows rounded up.
        const auto megabytes = static_cast<int>(std::min<std::uint64_t>(
            (bytes + kMegabyte - 1) / kMegabyte, static_cast<std::uint64_t>(m_volumeOther->maximum())));
        const QSignalBlocker spinBlocker(m_volumeOther);
        m_volumeOther->setValue(megabytes);
    }
}

void SettingsWindow::updateLogin()
{
    const std::optional<QString>& note = m_model.loginNote();
    m_loginNote->setVisible(note.has_value());
    m_loginNote->setText(note.value_or(QString()));
}

} // namespace tarvo::ui

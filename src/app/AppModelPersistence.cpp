// SPDX-License-Identifier: GPL-3.0-or-later

// Settings and history that survive a restart, and the login item.
#include "AppModel.h"
#include "engine/history/HistoryStore.h"
#include "engine/l10n/L10n.h"

#include <QSettings>

namespace tarvo::app {

using namespace engine;

namespace {

const QString kFormatKey = QStringLiteral("tarvo.format");
const QString kRevealKey = QStringLiteral("tarvo.reveal");
const QString kAskKey = QStringLiteral("tarvo.ask");
const QString kSkipJunkKey = QStringLiteral("tarvo.skipJunk");
const QString kVerifyKey = QStringLiteral("tarvo.verifyAfterCreating");
const QString kLevelKey = QStringLiteral("tarvo.level");
const QString kLanguageKey = QStringLiteral("tarvo.language");
const QString kZipEncryptionKey = QStringLiteral("tarvo.zipEncryption");
const QString kPreviewSizeKey = QStringLiteral("tarvo.previewSize");
const QString kVolumeSizeKey = QStringLiteral("tarvo.volumeSize");

// The stored text, or nothing when the key is absent or holds something that is not text.
std::optional<std::string> storedText(const QSettings& settings, const QString& key)
{
    const QVariant value = settings.value(key);
    if (!value.isValid() || value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

void readBool(const QSettings& settings, const QString& key, bool& field)
{
    const QVariant value = settings.value(key);
    if (value.isValid()) {
        field = value.toBool();
    }
}

} // namespace

void AppModel::loadSettings()
{
    if (const auto raw = storedText(*m_settings, kFormatKey)) {
        if (const auto format = ArchiveFormat::fromRaw(*raw)) {
            m_format = *format;
        }
    }
    readBool(*m_settings, kRevealKey, m_revealInFinder);
    readBool(*m_settings, kAskKey, m_askForDestination);
    readBool(*m_settings, kSkipJunkKey, m_skipJunk);
    readBool(*m_settings, kVerifyKey, m_verifyAfterCreating);
    if (const auto raw = storedText(*m_settings, kLevelKey)) {
        if (const auto level = CompressionLevel::fromRaw(*raw)) {
            m_level = *level;
        }
    }
    if (const auto raw = storedText(*m_settings, kZipEncryptionKey)) {
        m_zipEncryption = zipEncryptionFrom(*raw).value_or(m_zipEncryption);
    }
    // Bytes; anything that is no whole number leaves new archives uncut.
    bool isNumber = false;
    if (const qulonglong bytes = m_settings->value(kVolumeSizeKey).toULongLong(&isNumber); isNumber) {
        m_volumeSize = bytes;
    }
    if (const QSize size = m_settings->value(kPreviewSizeKey).toSize(); size.isValid() && !size.isEmpty()) {
        m_previewSize = size;
    }
    if (const auto raw = storedText(*m_settings, kLanguageKey)) {
        if (const auto language = AppLanguage::fromRaw(*raw)) {
            m_language = *language;
        }
    }
    L10n::setLanguage(m_language);
}

void AppModel::loadHistory()
{
    m_records = HistoryStore::load();
}

void AppModel::persist()
{
    if (!m_ready) {
        return;
    }
    m_settings->setValue(kFormatKey, QString::fromUtf8(m_format.rawValue()));
    m_settings->setValue(kRevealKey, m_revealInFinder);
    m_settings->setValue(kAskKey, m_askForDestination);
    m_settings->setValue(kSkipJunkKey, m_skipJunk);
    m_settings->setValue(kVerifyKey, m_verifyAfterCreating);
    m_settings->setValue(kLevelKey, QString::fromUtf8(m_level.rawValue()));
    m_settings->setValue(kLanguageKey, QString::fromUtf8(m_language.rawValue()));
    const std::string_view encryption = rawValue(m_zipEncryption);
    m_settings->setValue(kZipEncryptionKey,
                         QString::fromUtf8(encryption.data(), static_cast<qsizetype>(encryption.size())));
    m_settings->setValue(kVolumeSizeKey, static_cast<qulonglong>(m_volumeSize));
    if (m_previewSize.isValid()) {
        m_settings->setValue(kPreviewSizeKey, m_previewSize);
    }
    // Written at once and atomically (QSettings replaces the file through a temporary one).
    m_settings->sync();
}

void AppModel::saveHistory()
{
    HistoryStore::save(m_records);
}

void AppModel::remove(const ArchiveRecord& record)
{
    std::vector<ArchiveRecord> records;
    records.reserve(m_records.size());
    for (const ArchiveRecord& kept : m_records) {
        if (kept.id != record.id) {
            records.push_back(kept);
        }
    }
    assignObserved(*this, m_records, std::move(records), &AppModel::recordsChanged);
    saveHistory();
}

void AppModel::clearHistory()
{
    assignObserved(*this, m_records, {}, &AppModel::recordsChanged);
    saveHistory();
}

void AppModel::reveal(const ArchiveRecord& record)
{
    revealPaths({record.outputPath});
}

void AppModel::setLaunchAtLogin(bool enabled)
{
    if (const std::optional<QString> error = m_platform.loginItem->setEnabled(enabled)) {
        setAlert({.text = *error});
    }
    readLoginStatus();
}

void AppModel::readLoginStatus()
{
    const auto status = m_platform.loginItem->status();
    using Status = platform::LoginItem::Status;
    assignObserved(*this, m_launchAtLogin, status == Status::enabled || status == Status::requiresApproval,
                   &AppModel::launchAtLoginChanged);
    const std::optional<QString> note =
        status == Status::requiresApproval
            ? std::optional<QString>(QString::fromStdString(L10n::text(Text::allowLoginItem)))
            : std::nullopt;
    assignObserved(*this, m_loginNote, note, &AppModel::loginNoteChanged);
}

std::optional<QString> AppModel::addToFileManager()
{
    return m_platform.fileManagerMenus->addForUser();
}

} // namespace tarvo::app

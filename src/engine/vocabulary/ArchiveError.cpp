// SPDX-License-Identifier: GPL-3.0-or-later

#include "ArchiveError.h"

#include "engine/l10n/L10n.h"
#include "engine/util/TextUtil.h"

namespace tarvo::engine {

namespace {

const char* caseName(ArchiveError::Case errorCase)
{
    switch (errorCase) {
    case ArchiveError::Case::toolFailed:
        return "toolFailed";
    case ArchiveError::Case::noInputs:
        return "noInputs";
    case ArchiveError::Case::notAnArchive:
        return "notAnArchive";
    case ArchiveError::Case::rarUnavailable:
        return "rarUnavailable";
    case ArchiveError::Case::sevenZipUnavailable:
        return "sevenZipUnavailable";
    case ArchiveError::Case::wrongPassword:
        return "wrongPassword";
    case ArchiveError::Case::cancelled:
        return "cancelled";
    case ArchiveError::Case::extractorUnavailable:
        return "extractorUnavailable";
    case ArchiveError::Case::destinationInsideSource:
        return "destinationInsideSource";
    case ArchiveError::Case::entryCannotBeExtracted:
        return "entryCannotBeExtracted";
    case ArchiveError::Case::everyArchiveFailed:
        return "everyArchiveFailed";
    case ArchiveError::Case::notEnoughSpace:
        return "notEnoughSpace";
    case ArchiveError::Case::unpacksBeyondDeclared:
        return "unpacksBeyondDeclared";
    case ArchiveError::Case::aesNeedsSevenZip:
        return "aesNeedsSevenZip";
    case ArchiveError::Case::aesPasswordTooLong:
        return "aesPasswordTooLong";
    case ArchiveError::Case::zipPasswordTooLong:
        return "zipPasswordTooLong";
    case ArchiveError::Case::partMissing:
        return "partMissing";
    case ArchiveError::Case::cannotEdit:
        return "cannotEdit";
    case ArchiveError::Case::partsCannotChange:
        return "partsCannotChange";
    case ArchiveError::Case::entryExists:
        return "entryExists";
    case ArchiveError::Case::entryMissing:
        return "entryMissing";
    case ArchiveError::Case::badEntryName:
        return "badEntryName";
    case ArchiveError::Case::addsItself:
        return "addsItself";
    case ArchiveError::Case::archiveChanged:
        return "archiveChanged";
    case ArchiveError::Case::editNotVerified:
        return "editNotVerified";
    case ArchiveError::Case::volumesUnsupported:
        return "volumesUnsupported";
    }
    return "unknown";
}

std::string quoted(const std::string& text)
{
    std::string result = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            result += '\\';
        }
        result += c;
    }
    return result + "\"";
}

} // namespace

ArchiveError::ArchiveError(Case errorCase)
    : ArchiveError(errorCase, {}, 0, {})
{}

ArchiveError::ArchiveError(Case errorCase, std::string tool, std::int32_t status, std::string message)
    : m_case(errorCase)
    , m_tool(std::move(tool))
    , m_status(status)
    , m_message(std::move(message))
    , m_plain(caseName(errorCase))
{
    if (m_case == Case::toolFailed) {
        m_plain += "(tool: " + quoted(m_tool) + ", status: " + std::to_string(m_status) +
                   ", message: " + quoted(m_message) + ")";
    } else if (m_case == Case::everyArchiveFailed) {
        m_plain += "(message: " + quoted(m_message) + ")";
    } else if (m_case == Case::partMissing) {
        m_plain += "(number: " + std::to_string(m_status) + ", name: " + quoted(m_message) + ")";
    } else if (m_case == Case::entryExists || m_case == Case::entryMissing) {
        m_plain += "(name: " + quoted(m_message) + ")";
    }
}

ArchiveError ArchiveError::toolFailed(std::string tool, std::int32_t status, std::string message)
{
    return ArchiveError(Case::toolFailed, std::move(tool), status, std::move(message));
}

ArchiveError ArchiveError::partMissing(std::int32_t number, std::string name)
{
    return ArchiveError(Case::partMissing, {}, number, std::move(name));
}

ArchiveError ArchiveError::entryExists(std::string name)
{
    return ArchiveError(Case::entryExists, {}, 0, std::move(name));
}

ArchiveError ArchiveError::entryMissing(std::string name)
{
    return ArchiveError(Case::entryMissing, {}, 0, std::move(name));
}

ArchiveError ArchiveError::everyArchiveFailed(std::string firstFailure)
{
    return ArchiveError(Case::everyArchiveFailed, {}, 0, std::move(firstFailure));
}

std::string ArchiveError::errorDescription() const
{
    switch (m_case) {
    case Case::toolFailed:
        return m_message.empty() ? L10n::toolExited(m_tool, m_status) : m_message;
    case Case::noInputs:
        return L10n::text(Text::nothingToArchive);
    case Case::notAnArchive:
        return L10n::text(Text::notAnArchive);
    case Case::rarUnavailable:
        return L10n::text(Text::rarUnavailable);
    case Case::sevenZipUnavailable:
        return L10n::text(Text::sevenZipUnavailable);
    case Case::wrongPassword:
        return L10n::text(Text::wrongPassword);
    case Case::cancelled:
        return L10n::text(Text::cancelled);
    case Case::extractorUnavailable:
        return L10n::text(Text::extractorUnavailable);
    case Case::destinationInsideSource:
        return L10n::text(Text::destinationInsideSource);
    case Case::entryCannotBeExtracted:
        return L10n::text(Text::pathCannotBeExtracted);
    case Case::everyArchiveFailed:
        return m_message;
    case Case::notEnoughSpace:
        return L10n::text(Text::notEnoughSpaceToUnpack);
    case Case::unpacksBeyondDeclared:
        return L10n::text(Text::unpacksBeyondDeclared);
    case Case::aesNeedsSevenZip:
        return L10n::text(Text::aesNeedsSevenZip);
    case Case::aesPasswordTooLong:
        return L10n::text(Text::aesPasswordTooLong);
    case Case::zipPasswordTooLong:
        return L10n::text(Text::zipPasswordTooLong);
    case Case::partMissing:
        return replacingAll(replacingAll(L10n::text(Text::partMissing), "%1", std::to_string(m_status)), "%2",
                            m_message);
    case Case::cannotEdit:
        return L10n::text(Text::cannotEditKind);
    case Case::partsCannotChange:
        return L10n::text(Text::partsCannotChange);
    case Case::badEntryName:
        return L10n::text(Text::badEntryName);
    case Case::addsItself:
        return L10n::text(Text::addsItself);
    case Case::archiveChanged:
        return L10n::text(Text::archiveChanged);
    case Case::editNotVerified:
        return L10n::text(Text::editNotVerified);
    case Case::volumesUnsupported:
        return L10n::text(Text::volumesUnsupported);
    case Case::entryExists:
        return replacingAll(L10n::text(Text::entryExists), "%1", m_message);
    case Case::entryMissing:
        return replacingAll(L10n::text(Text::entryMissing), "%1", m_message);
    }
    return {};
}

} // namespace tarvo::engine

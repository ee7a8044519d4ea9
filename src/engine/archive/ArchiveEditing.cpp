// Changing an archive in place: adding, removing and renaming entries.
#include "ArchiveEngine.h"

namespace tarvo::engine {

namespace fs = std::filesystem;

std::optional<ArchiveError> ArchiveEngine::editBlocker(const fs::path&, const RarSupport&)
{
    return ArchiveError(ArchiveError::Case::cannotEdit);
}

std::vector<std::string> ArchiveEngine::addClashes(const EditRequest&)
{
    return {};
}

void ArchiveEngine::add(const EditRequest&)
{
    throw ArchiveError(ArchiveError::Case::cannotEdit);
}

void ArchiveEngine::remove(const EditRequest&)
{
    throw ArchiveError(ArchiveError::Case::cannotEdit);
}

void ArchiveEngine::rename(const EditRequest&)
{
    throw ArchiveError(ArchiveError::Case::cannotEdit);
}

} // namespace tarvo::engine

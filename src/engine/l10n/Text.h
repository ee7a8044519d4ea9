// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarvo::engine {

// Every fixed text of the interface. Each has a Russian and an English form; the English form is
// also the key under which the other five languages are looked up in the catalog.
enum class Text : std::uint8_t
{
    language,
    compress,
    extract,
    chooseFilesAndMakeArchive,
    chooseArchiveAndExtract,
    moveYourFileHere,
    dropToStart,
    tagline,
    resultSavedNextToFiles,
    recent,
    clear,
    nothingYet,
    historyEmptyHint,
    revealInFinderWhenFinished,
    askWhereToSave,
    askWhereToSaveCaption,
    format,
    launchAtLogin,
    allowLoginItem,
    createRar,
    extractRar,
    ready,
    notFound,
    zipWorksImmediately,
    installRar,
    installing,
    rarLicenseNote,
    rarUnavailable,
    somethingWentWrong,
    ok,
    openTarvo,
    quitTarvo,
    settings,
    compressOrExtractHint,
    showInFinder,
    removeFromList,
    choose,
    whereToSaveResult,
    whatToCompress,
    whichArchiveToExtract,
    failed,
    done,
    oneMoment,
    archive,
    general,
    cancel,
    passwordIfNeeded,
    passwordNeverSaved,
    archiveContents,
    reviewThenExtract,
    enterPasswordForProtected,
    showContents,
    listingUnreadable,
    readingArchive,
    sevenZipUnavailable,
    installSevenZip,
    createSevenZip,
    extractSevenZip,
    homebrewNotFound,
    finderHint,
    archiveHasNoFiles,
    archiveName,
    compression,
    fast,
    normal,
    maximum,
    leaveOutHousekeeping,
    housekeepingCaption,
    dropOnMenuBarHint,
    extractThisFile,
    extractThisFolder,
    doubleClickRowHint,
    tarGzNoPassword,
    about,
    developer,
    questionsAndSuggestions,
    aboutDescription,
    nothingToArchive,
    notAnArchive,
    wrongPassword,
    cancelled,
    extractorUnavailable,
    destinationInsideSource,
    nothingToCompress,
    pathCannotBeExtracted,
    lsarNotFound,
    listingEmpty,
    couldNotDownloadRar,
    rarlabError,
    // The texts that replace the ones naming macOS facilities on Linux.
    revealInFileManagerWhenFinished,
    showInFileManager,
    fileManagerHint,
    addToFileManager,
    aboutDescriptionLinux,
    dropOnTrayHint,
    homebrewNotFoundLinux,
    fileManager,
    // Texts of the Linux windows and start-up.
    menu,
    noDisplay,
    fileManagerAdded,
    fileManagerNotAdded,
    // What a listing tells before anything is written; "%1" and "%2" are filled in by the caller.
    outOfMemory,
    entriesOutsideFolder,
    linksOutsideFolder,
    unpacksBeyondFreeSpace,
    unpacksHundredfold,
    // What an extraction tells of its result; "%1" is filled in by the caller.
    specialFilesLeftOut,
    notEnoughSpaceToUnpack,
    unpacksBeyondDeclared,
    // What a test of an archive found; "%1" is filled in by the caller.
    testFoundNoErrors,
    testDamaged,
    testDamagedUnnamed,
    verifyFailed,
    // The preview's button that tests one archive.
    testArchive,
    // The setting that tests each new archive.
    verifyAfterCreating,
    // The preview's picker of the encoding a ZIP's names are read in; "%1" is the one detected.
    nameEncoding,
    automaticEncoding,
    // What a test of several archives from the file manager found when all are sound.
    testFoundNoErrorsInAny,
    // The setting of how a new ZIP with a password is encrypted, and what refuses a password.
    zipEncryption,
    zipCryptoChoice,
    zipEncryptionCaption,
    aesNeedsSevenZip,
    aesPasswordTooLong,
    zipPasswordTooLong,
    findInArchive,
    extractSelected,
    partMissing,
    openEntry,
    shownInsteadOfRun,
    addToArchive,
    deleteEntries,
    renameEntry,
    deleteQuestion,
    entryAlreadyThere,
    replaceEntry,
    keepBoth,
    splitIntoParts,
    splitNone,
    splitOther,
    splitCaption,
    cannotEditKind,
    partsCannotChange,
    entryExists,
    entryMissing,
    badEntryName,
    addsItself,
    archiveChanged,
    editNotVerified,
    volumesUnsupported,
    changedArchive,
    changingArchive,
};

inline constexpr std::size_t kTextCount = static_cast<std::size_t>(Text::changingArchive) + 1;

struct TextForms
{
    std::string_view russian;
    std::string_view english;
};

// The two hand-written forms of a text.
TextForms forms(Text text);

} // namespace tarvo::engine

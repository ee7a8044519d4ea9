// SPDX-License-Identifier: GPL-3.0-or-later

#include "Text.h"

#include <array>

namespace tarvo::engine {

namespace {

// clang-format off
constexpr std::array<TextForms, kTextCount> kForms = std::to_array<TextForms>({
    // language
    {"Язык", "Language"},
    // compress
    {"Сжать", "Compress"},
    // extract
    {"Распаковать", "Extract"},
    // chooseFilesAndMakeArchive
    {"Выбрать файлы и собрать архив", "Choose files and make an archive"},
    // chooseArchiveAndExtract
    {"Выбрать архив и распаковать", "Choose an archive and extract it"},
    // moveYourFileHere
    {"Перетащите файл сюда", "Move your file here"},
    // dropToStart
    {"Отпустите, чтобы начать", "Drop to start"},
    // tagline
    {"Удобный архиватор медиафайлов с простым управлением", "A handy media archiver with simple controls"},
    // resultSavedNextToFiles
    {"Результат сохраняется рядом с файлами.", "The result is saved next to the files."},
    // recent
    {"Недавние", "Recent"},
    // clear
    {"Очистить", "Clear"},
    // nothingYet
    {"Пока пусто", "Nothing yet"},
    // historyEmptyHint
    {"Сожмите или распакуйте что-нибудь, и оно появится здесь.",
     "Compress or extract something and it will show up here."},
    // revealInFinderWhenFinished
    {"Показать в Finder по завершении", "Reveal in Finder when finished"},
    // askWhereToSave
    {"Спрашивать, куда сохранить", "Ask where to save"},
    // askWhereToSaveCaption
    {"Если выключено, результат сохраняется рядом с файлами.",
     "When this is off, the result is saved next to the files."},
    // format
    {"Формат", "Format"},
    // launchAtLogin
    {"Запускать при входе в систему", "Launch at login"},
    // allowLoginItem
    {"Разрешите запуск в Системных настройках → Основные → Объекты входа.",
     "Allow it in System Settings → General → Login Items."},
    // createRar
    {"Создание RAR", "Create RAR"},
    // extractRar
    {"Распаковка RAR", "Extract RAR"},
    // ready
    {"Доступно", "Ready"},
    // notFound
    {"Не найдено", "Not found"},
    // zipWorksImmediately
    {"ZIP работает сразу, через системную утилиту.", "ZIP works immediately, using the system tool."},
    // installRar
    {"Установить RAR", "Install RAR"},
    // installing
    {"Установка…", "Installing…"},
    // rarLicenseNote
    {"Для создания RAR нужна утилита RARLAB: 40 дней пробного периода, затем лицензия. Распаковка бесплатна.",
     "Creating RAR uses the RARLAB tool: a 40-day trial, then a license. Extraction is free."},
    // rarUnavailable
    {"Чтобы собирать RAR, нужна утилита rar. Её можно поставить в настройках.",
     "Creating RAR needs the rar tool. You can install it from Settings."},
    // somethingWentWrong
    {"Что-то пошло не так", "Something went wrong"},
    // ok
    {"ОК", "OK"},
    // openTarvo
    {"Открыть Tarvo", "Open Tarvo"},
    // quitTarvo
    {"Завершить Tarvo", "Quit Tarvo"},
    // settings
    {"Настройки", "Settings"},
    // compressOrExtractHint
    {"Сжать файлы или распаковать архив", "Compress files or extract an archive"},
    // showInFinder
    {"Показать в Finder", "Show in Finder"},
    // removeFromList
    {"Убрать из списка", "Remove from list"},
    // choose
    {"Выбрать", "Choose"},
    // whereToSaveResult
    {"Куда сохранить результат", "Where to save the result"},
    // whatToCompress
    {"Что сжать", "What to compress"},
    // whichArchiveToExtract
    {"Какой архив распаковать", "Which archive to extract"},
    // failed
    {"Не вышло", "Failed"},
    // done
    {"Готово", "Done"},
    // oneMoment
    {"Минутку…", "One moment…"},
    // archive
    {"Архив", "Archive"},
    // general
    {"Основные", "General"},
    // cancel
    {"Отменить", "Cancel"},
    // passwordIfNeeded
    {"Пароль, если нужен", "Password, if needed"},
    // passwordNeverSaved
    {"Пароль хранится только в памяти и никогда не сохраняется.", "The password stays in memory and is never saved."},
    // archiveContents
    {"Содержимое архива", "Archive contents"},
    // reviewThenExtract
    {"Проверьте список и распакуйте.", "Review the list, then extract."},
    // enterPasswordForProtected
    {"Введите пароль от защищённого архива.", "Enter the password for the protected archive."},
    // showContents
    {"Показать содержимое", "Show contents"},
    // listingUnreadable
    {"Не удалось прочитать список файлов. Распаковать всё равно можно.",
     "The file list could not be read. You can still extract."},
    // readingArchive
    {"Читаю архив…", "Reading the archive…"},
    // sevenZipUnavailable
    {"Чтобы собирать 7Z, нужна утилита 7zz. Её можно поставить в настройках.",
     "Creating 7Z needs the 7zz tool. You can install it from Settings."},
    // installSevenZip
    {"Установить 7-Zip", "Install 7-Zip"},
    // createSevenZip
    {"Создание 7Z", "Create 7Z"},
    // extractSevenZip
    {"Распаковка 7Z", "Extract 7Z"},
    // homebrewNotFound
    {"Homebrew не найден. Установите 7-Zip командой brew install sevenzip.",
     "Homebrew was not found. Install 7-Zip with brew install sevenzip."},
    // finderHint
    {"В Finder нажмите на файлы правой кнопкой: «Сжать в Tarvo» или «Распаковать в Tarvo». Если пунктов нет, включите TarvoFinder в Системных настройках → Основные → Объекты входа и расширения.",
     "In Finder, right-click files for Compress with Tarvo or Extract with Tarvo. If the items are missing, enable TarvoFinder in System Settings → General → Login Items & Extensions."},
    // archiveHasNoFiles
    {"В архиве нет файлов.", "The archive has no files."},
    // archiveName
    {"Имя архива", "Archive name"},
    // compression
    {"Сжатие", "Compression"},
    // fast
    {"Быстрое", "Fast"},
    // normal
    {"Обычное", "Normal"},
    // maximum
    {"Максимальное", "Maximum"},
    // leaveOutHousekeeping
    {"Не добавлять служебные файлы Mac", "Leave out Mac housekeeping files"},
    // housekeepingCaption
    {".DS_Store и подобные файлы Finder не попадут в архив.",
     ".DS_Store and similar Finder files stay out of the archive."},
    // dropOnMenuBarHint
    {"Файлы можно бросить на значок-молнию в строке меню.",
     "You can drop files on the lightning icon in the menu bar."},
    // extractThisFile
    {"Распаковать этот файл", "Extract this file"},
    // extractThisFolder
    {"Распаковать эту папку", "Extract this folder"},
    // doubleClickRowHint
    {"Дважды щёлкните по строке, чтобы выбрать файл для распаковки",
     "Double-click a row to choose which file to extract"},
    // tarGzNoPassword
    {"tar.gz не поддерживает пароль.", "tar.gz does not use a password."},
    // about
    {"О программе", "About"},
    // developer
    {"Разработчик", "Developer"},
    // questionsAndSuggestions
    {"Вопросы и предложения", "Questions and suggestions"},
    // aboutDescription
    {"Бесплатный архиватор для macOS. Создаёт и распаковывает ZIP, RAR, 7Z и tar.gz.",
     "A free archiver for macOS. It creates and extracts ZIP, RAR, 7Z, and tar.gz."},
    // nothingToArchive
    {"Нечего архивировать.", "There is nothing to archive."},
    // notAnArchive
    {"Это не ZIP, RAR, 7Z и не tar.gz.", "That is not a ZIP, RAR, 7Z, or tar.gz archive."},
    // wrongPassword
    {"Неверный пароль.", "Wrong password."},
    // cancelled
    {"Отменено.", "Cancelled."},
    // extractorUnavailable
    {"Чтобы распаковать RAR, нужна утилита unrar или unar.", "Extracting RAR needs unrar or unar."},
    // destinationInsideSource
    {"Архив нельзя сохранить внутрь папки, которую он сам сжимает.",
     "The archive cannot be saved inside the folder it is compressing."},
    // nothingToCompress
    {"Нечего сжимать.", "There is nothing to compress."},
    // pathCannotBeExtracted
    {"Этот путь нельзя распаковать.", "That path cannot be extracted."},
    // lsarNotFound
    {"Утилита lsar не найдена.", "The lsar tool was not found."},
    // listingEmpty
    {"Список содержимого архива пуст.", "The archive listing was empty."},
    // couldNotDownloadRar
    {"Не удалось скачать RAR.", "Could not download RAR."},
    // rarlabError
    {"Сайт RARLAB ответил ошибкой.", "RARLAB returned an error."},
    // revealInFileManagerWhenFinished
    {"Показать в файловом менеджере по завершении", "Show in the file manager when finished"},
    // showInFileManager
    {"Показать в файловом менеджере", "Show in File Manager"},
    // fileManagerHint
    {"В файловом менеджере нажмите на файлы правой кнопкой: «Сжать в Tarvo» или «Распаковать в Tarvo». Если пунктов нет, нажмите «Добавить в файловый менеджер».",
     "In your file manager, right-click files for Compress with Tarvo or Extract with Tarvo. If the items are missing, press Add to file manager."},
    // addToFileManager
    {"Добавить в файловый менеджер", "Add to file manager"},
    // aboutDescriptionLinux
    {"Бесплатный архиватор для Linux. Создаёт и распаковывает ZIP, RAR, 7Z и tar.gz.",
     "A free archiver for Linux. It creates and extracts ZIP, RAR, 7Z, and tar.gz."},
    // dropOnTrayHint
    {"Файлы можно бросить на панель значка-молнии в трее.",
     "You can drop files on the panel of the lightning icon in the tray."},
    // homebrewNotFoundLinux
    {"Homebrew не найден. Установите 7-Zip менеджером пакетов (sudo apt install 7zip) или командой brew install sevenzip.",
     "Homebrew was not found. Install 7-Zip with your package manager (sudo apt install 7zip) or with brew install sevenzip."},
    // fileManager
    {"Файловый менеджер", "File manager"},
    // menu
    {"Меню", "Menu"},
    // noDisplay
    {"Tarvo не может открыть окно: нет графического экрана. Без него работает командная строка: tarvo --help",
     "Tarvo cannot open its window: there is no display. Without one, use the command line: tarvo --help"},
    // fileManagerAdded
    {"Добавлено в Dolphin и Nemo для вашей учётной записи. В Nautilus пункты появятся, когда Tarvo будет установлен для всех.",
     "Added to Dolphin and Nemo for your account. Nautilus shows the items once Tarvo is installed for everyone."},
    // fileManagerNotAdded
    {"Не удалось добавить пункты:", "Could not add the items:"},
    // outOfMemory
    {"Чтобы прочитать этот архив, нужно больше памяти, чем позволяет Tarvo.",
     "Reading this archive needs more memory than Tarvo allows."},
    // entriesOutsideFolder
    {"Записи за пределами папки (../ или полный путь): %1. Туда они записаны не будут.",
     "Entries outside the folder (../ or a full path): %1. They will not be written there."},
    // linksOutsideFolder
    {"Ссылки за пределы папки: %1.", "Links pointing outside the folder: %1."},
    // unpacksBeyondFreeSpace
    {"Распакованное займёт %1, а на диске свободно %2.", "Unpacks to %1, more than the %2 free on this disk."},
    // unpacksHundredfold
    {"Распакованное займёт %1 — в сто с лишним раз больше архива.",
     "Unpacks to %1, over 100 times the size of the archive."},
    // specialFilesLeftOut
    {"Пропущены особые файлы (каналы, сокеты, устройства): %1.",
     "Special files left out (pipes, sockets, devices): %1."},
    // notEnoughSpaceToUnpack
    {"Недостаточно свободного места, чтобы распаковать этот архив.",
     "There is not enough free space to unpack this archive."},
    // unpacksBeyondDeclared
    {"Этот архив распаковывается в больший объём, чем заявляет; ничего не сохранено.",
     "This archive unpacks to more than it says it holds; nothing was kept."},
    // testFoundNoErrors
    {"Ошибок не найдено.", "No errors found."},
    // testDamaged
    {"Повреждено: %1.", "Damaged: %1."},
    // testDamagedUnnamed
    {"Архив повреждён; инструмент не сообщил, какой элемент.", "Damaged; the tool could not tell which entry."},
    // verifyFailed
    {"Архив создан, но проверка нашла повреждения. %1", "The archive was made, but its test found damage. %1"},
    // testArchive
    {"Проверить", "Test"},
    // verifyAfterCreating
    {"Проверять каждый новый архив после создания", "Test each new archive after creating it"},
    // nameEncoding
    {"Кодировка имён:", "Name encoding:"},
    // automaticEncoding
    {"Авто (%1)", "Auto (%1)"},
    // testFoundNoErrorsInAny
    {"Ни в одном из архивов ошибок не найдено.", "No errors found in any of the archives."},    // zipEncryption
    {"Шифрование ZIP",
     "ZIP encryption"},
    // zipCryptoChoice
    {"ZipCrypto — для старых программ unzip и проводника Windows",
     "ZipCrypto, for older unzip programs and the Windows file manager"},
    // zipEncryptionCaption
    {"AES-256 не открывают unzip и проводник Windows.", "unzip and the Windows file manager cannot open AES-256."},
    // aesNeedsSevenZip
    {"Для шифрования AES-256 нужен 7-Zip. Установите 7-Zip или выберите шифрование ZipCrypto.",
     "AES-256 encryption needs 7-Zip. Install 7-Zip, or choose ZipCrypto as the ZIP encryption."},
    // aesPasswordTooLong
    {"Пароль ZIP с AES-256 может быть не длиннее 99 знаков, и только из латинских букв, цифр и знаков ASCII.",
     "A password for an AES-256 ZIP can have at most 99 characters, all of them ASCII letters, digits or signs."},
    // zipPasswordTooLong
    {"zip и unzip принимают пароль не длиннее 80 знаков; 7-Zip принимает и длиннее, из латинских букв, цифр и знаков ASCII.",
     "zip and unzip take a password of at most 80 characters; 7-Zip takes longer ones of ASCII letters, digits and signs."},
    // findInArchive
    {"Найти в архиве", "Find in archive"},
    // extractSelected
    {"Извлечь выбранное", "Extract selected"},
    // partMissing
    {"Часть %1 этого архива отсутствует: %2.", "Part %1 of this archive is missing: %2."},
    // openEntry
    {"Открыть", "Open"},
    // shownInsteadOfRun
    {"%1 может запустить программу: Tarvo показывает его в файловом менеджере, а не открывает.",
     "%1 could run a program: Tarvo shows it in the file manager instead of opening it."},
    // addToArchive
    {"Добавить…", "Add…"},
    // deleteEntries
    {"Удалить", "Delete"},
    // renameEntry
    {"Переименовать", "Rename"},
    // deleteQuestion
    {"Будет удалено записей из «%1»: %2. Это нельзя отменить.", "Entries to remove from “%1”: %2. This cannot be undone."},
    // entryAlreadyThere
    {"В «%1» уже есть «%2».", "“%1” already holds “%2”."},
    // replaceEntry
    {"Заменить", "Replace"},
    // keepBoth
    {"Оставить оба", "Keep both"},
    // splitIntoParts
    {"Разделить на части по", "Split into parts of"},
    // splitNone
    {"Не разделять", "None"},
    // splitOther
    {"Другой размер…", "Other size…"},
    // splitCaption
    {"Для ZIP, 7Z и RAR: предел вложения в письмо или флешки FAT32.", "For ZIP, 7Z and RAR: the limit of a mail attachment or a FAT32 stick."},
    // cannotEditKind
    {"Tarvo не умеет изменять архивы такого типа на месте.", "Tarvo cannot change this kind of archive in place."},
    // partsCannotChange
    {"Архив, разделённый на части, изменить нельзя.", "An archive cut into parts cannot be changed."},
    // entryExists
    {"В архиве уже есть «%1».", "The archive already holds “%1”."},
    // entryMissing
    {"В архиве нет «%1».", "The archive holds no “%1”."},
    // badEntryName
    {"Имя не может быть пустым, «.» или «..» и не может содержать «/».", "A name cannot be empty, “.” or “..”, or contain “/”."},
    // addsItself
    {"Архив нельзя добавить в него самого.", "An archive cannot be added to itself."},
    // archiveChanged
    {"Другая программа тем временем изменила архив; он оставлен как есть.", "Another program changed the archive meanwhile; it was left as it is."},
    // editNotVerified
    {"Изменённый архив прочитался не так, как ожидалось; исходный сохранён.", "The changed archive did not read back as expected; the original was kept."},
    // volumesUnsupported
    {"На части можно разделить только архивы ZIP, 7Z и RAR.", "Only ZIP, 7Z and RAR archives can be split into parts."},
    // changedArchive
    {"Изменён", "Changed"},
    // changingArchive
    {"Архив изменяется…", "Changing the archive…"},
});
// clang-format on

static_assert(kForms.size() == kTextCount);

} // namespace

TextForms forms(Text text)
{
    return kForms[static_cast<std::size_t>(text)];
}

} // namespace tarvo::engine

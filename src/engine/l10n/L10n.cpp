// SPDX-License-Identifier: GPL-3.0-or-later

#include "L10n.h"

#include "Catalog.h"

#include <atomic>

namespace tarvo::engine {

namespace {

std::atomic<std::uint8_t>& currentLanguage() noexcept
{
    // A function-local static: initialised once even when several threads arrive together.
    static std::atomic<std::uint8_t> language{static_cast<std::uint8_t>(AppLanguage::matchingSystem())};
    return language;
}

std::string joined(std::string_view a, std::string_view b, std::string_view c = {}, std::string_view d = {})
{
    std::string result;
    result.reserve(a.size() + b.size() + c.size() + d.size());
    result.append(a).append(b).append(c).append(d);
    return result;
}

} // namespace

AppLanguage L10n::language() noexcept
{
    return static_cast<AppLanguage::Value>(currentLanguage().load(std::memory_order_relaxed));
}

void L10n::setLanguage(AppLanguage language) noexcept
{
    currentLanguage().store(static_cast<std::uint8_t>(language), std::memory_order_relaxed);
}

std::string L10n::localized(std::string_view russian, std::string_view english)
{
    const AppLanguage current = language();
    if (current == AppLanguage::russian) {
        return std::string(russian);
    }
    return std::string(Catalog::text(english, current));
}

std::string L10n::text(Text text)
{
    const TextForms both = forms(text);
    return localized(both.russian, both.english);
}

std::string L10n::extracting(std::string_view name)
{
    switch (language()) {
    case AppLanguage::russian:
        return joined("Распаковываю ", name);
    case AppLanguage::english:
        return joined("Extracting ", name);
    case AppLanguage::german:
        return joined("Entpacke ", name);
    case AppLanguage::chinese:
        return joined("正在解压 ", name);
    case AppLanguage::japanese:
        return joined(name, " を展開中");
    case AppLanguage::french:
        return joined("Extraction de ", name);
    case AppLanguage::spanish:
        return joined("Extrayendo ", name);
    }
    return joined("Extracting ", name);
}

std::string L10n::compressing(std::string_view name)
{
    switch (language()) {
    case AppLanguage::russian:
        return joined("Собираю ", name);
    case AppLanguage::english:
        return joined("Archiving ", name);
    case AppLanguage::german:
        return joined("Archiviere ", name);
    case AppLanguage::chinese:
        return joined("正在压缩 ", name);
    case AppLanguage::japanese:
        return joined(name, " を圧縮中");
    case AppLanguage::french:
        return joined("Archivage de ", name);
    case AppLanguage::spanish:
        return joined("Comprimiendo ", name);
    }
    return joined("Archiving ", name);
}

std::string L10n::testing(std::string_view name)
{
    switch (language()) {
    case AppLanguage::russian:
        return joined("Проверяю ", name);
    case AppLanguage::english:
        return joined("Testing ", name);
    case AppLanguage::german:
        return joined("Teste ", name);
    case AppLanguage::chinese:
        return joined("正在测试 ", name);
    case AppLanguage::japanese:
        return joined(name, " をテスト中");
    case AppLanguage::french:
        return joined("Test de ", name);
    case AppLanguage::spanish:
        return joined("Probando ", name);
    }
    return joined("Testing ", name);
}

std::string L10n::made(std::string_view name)
{
    switch (language()) {
    case AppLanguage::russian:
        return joined("Готово: ", name);
    case AppLanguage::english:
        return joined("Ready: ", name);
    case AppLanguage::german:
        return joined("Fertig: ", name);
    case AppLanguage::chinese:
        return joined("完成：", name);
    case AppLanguage::japanese:
        return joined("完了: ", name);
    case AppLanguage::french:
        return joined("Terminé : ", name);
    case AppLanguage::spanish:
        return joined("Listo: ", name);
    }
    return joined("Ready: ", name);
}

std::string L10n::rarBundleMissing(std::string_view name)
{
    switch (language()) {
    case AppLanguage::russian:
        return joined("В архиве RARLAB нет ", name, ".");
    case AppLanguage::english:
        return joined("The RARLAB archive has no ", name, ".");
    case AppLanguage::german:
        return joined("Im RARLAB-Archiv fehlt ", name, ".");
    case AppLanguage::chinese:
        return joined("RARLAB 压缩包中没有 ", name, "。");
    case AppLanguage::japanese:
        return joined("RARLAB のアーカイブに ", name, " がありません。");
    case AppLanguage::french:
        return joined("L'archive RARLAB ne contient pas ", name, ".");
    case AppLanguage::spanish:
        return joined("El archivo de RARLAB no contiene ", name, ".");
    }
    return joined("The RARLAB archive has no ", name, ".");
}

std::string L10n::toolExited(std::string_view tool, std::int32_t status)
{
    const std::string code = std::to_string(status);
    switch (language()) {
    case AppLanguage::russian:
        return joined(tool, " завершилась с кодом ", code, ".");
    case AppLanguage::english:
        return joined(tool, " exited with status ", code, ".");
    case AppLanguage::german:
        return joined(tool, " wurde mit Code ", code, " beendet.");
    case AppLanguage::chinese:
        return joined(tool, " 已退出，代码 ", code, "。");
    case AppLanguage::japanese:
        return joined(tool, " はコード ", code, " で終了しました。");
    case AppLanguage::french:
        return joined(tool, " s'est terminé avec le code ", code, ".");
    case AppLanguage::spanish:
        return joined(tool, " finalizó con el código ", code, ".");
    }
    return joined(tool, " exited with status ", code, ".");
}

std::string L10n::progress(std::int64_t done, std::int64_t total)
{
    const std::string a = std::to_string(done);
    const std::string b = std::to_string(total);
    switch (language()) {
    case AppLanguage::russian:
        return joined(a, " из ", b);
    case AppLanguage::english:
        return joined(a, " of ", b);
    case AppLanguage::german:
        return joined(a, " von ", b);
    case AppLanguage::chinese:
    case AppLanguage::japanese:
        return joined(a, "/", b);
    case AppLanguage::french:
        return joined(a, " sur ", b);
    case AppLanguage::spanish:
        return joined(a, " de ", b);
    }
    return joined(a, " of ", b);
}

} // namespace tarvo::engine

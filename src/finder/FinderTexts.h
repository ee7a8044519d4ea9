// SPDX-License-Identifier: GPL-3.0-or-later

/* The menu titles of the file-manager entries, in the application's seven interface languages. Plain C,
   so that the Nautilus module and the helper's rules share one copy; the service menus and Nemo actions
   carry the same words (a test compares them). */
#pragma once

typedef struct TarvoFinderTitles
{
    /* The locale as the entries' Name[...] keys spell it; its first two letters name the language. */
    const char* locale;
    const char* compress;
    const char* extract;
    const char* test;
} TarvoFinderTitles;

/* English first: the titles for any language not listed. */
static const TarvoFinderTitles tarvo_finder_titles[] = {
    {"", "Compress with Tarvo", "Extract with Tarvo", "Test with Tarvo"},
    {"ru", "Сжать в Tarvo", "Распаковать в Tarvo", "Проверить в Tarvo"},
    {"de", "Mit Tarvo komprimieren", "Mit Tarvo entpacken", "Mit Tarvo testen"},
    {"zh_CN", "用 Tarvo 压缩", "用 Tarvo 解压", "用 Tarvo 测试"},
    {"ja", "Tarvo で圧縮", "Tarvo で展開", "Tarvo でテスト"},
    {"fr", "Compresser avec Tarvo", "Extraire avec Tarvo", "Tester avec Tarvo"},
    {"es", "Comprimir con Tarvo", "Extraer con Tarvo", "Probar con Tarvo"},
};

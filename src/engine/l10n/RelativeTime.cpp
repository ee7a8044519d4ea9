// SPDX-License-Identifier: GPL-3.0-or-later

#include "RelativeTime.h"

#include "L10n.h"

#include <array>
#include <string_view>

namespace tarvo::engine {

namespace {

enum class Unit
{
    minute,
    hour,
    day,
    week,
    month,
    year,
};

// A unit's amount, or the named moment that stands for it ("yesterday" for one day).
struct Span
{
    Unit unit;
    long long amount;
};

// Russian nouns take one of three forms after a number: 1 минуту, 3 минуты, 5 минут.
std::string_view russianNoun(Unit unit, long long n)
{
    static constexpr std::array<std::array<std::string_view, 3>, 6> kForms = {{
        {"минуту", "минуты", "минут"},
        {"час", "часа", "часов"},
        {"день", "дня", "дней"},
        {"неделю", "недели", "недель"},
        {"месяц", "месяца", "месяцев"},
        {"год", "года", "лет"},
    }};
    const long long tens = n % 100;
    const long long ones = n % 10;
    const std::size_t form = (ones == 1 && tens != 11)                              ? 0
                             : (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14)) ? 1
                                                                                    : 2;
    return kForms[static_cast<std::size_t>(unit)][form];
}

// Singular and plural, for the languages that have just these two.
std::string_view noun(const std::array<std::array<std::string_view, 2>, 6>& forms, Unit unit, long long n)
{
    return forms[static_cast<std::size_t>(unit)][n == 1 ? 0 : 1];
}

// "yesterday", "last week", "last month", "last year"; none for minutes and hours.
std::string_view named(AppLanguage language, Unit unit)
{
    static constexpr std::array<std::array<std::string_view, 4>, 7> kNamed = {{
        {"вчера", "на прошлой неделе", "в прошлом месяце", "в прошлом году"},
        {"yesterday", "last week", "last month", "last year"},
        {"gestern", "letzte Woche", "letzten Monat", "letztes Jahr"},
        {"昨天", "上周", "上个月", "去年"},
        {"昨日", "先週", "先月", "昨年"},
        {"hier", "la semaine dernière", "le mois dernier", "l'année dernière"},
        {"ayer", "la semana pasada", "el mes pasado", "el año pasado"},
    }};
    return kNamed[static_cast<std::size_t>(language)][static_cast<std::size_t>(unit) - 2];
}

std::string counted(AppLanguage language, Unit unit, long long n)
{
    const std::string number = std::to_string(n);
    switch (language) {
    case AppLanguage::russian:
        return number + " " + std::string(russianNoun(unit, n)) + " назад";
    case AppLanguage::german: {
        static constexpr std::array<std::array<std::string_view, 2>, 6> kForms = {{
            {"Minute", "Minuten"},
            {"Stunde", "Stunden"},
            {"Tag", "Tagen"},
            {"Woche", "Wochen"},
            {"Monat", "Monaten"},
            {"Jahr", "Jahren"},
        }};
        return "vor " + number + " " + std::string(noun(kForms, unit, n));
    }
    case AppLanguage::chinese: {
        static constexpr std::array<std::string_view, 6> kUnits = {"分钟前", "小时前", "天前",
                                                                   "周前",   "个月前", "年前"};
        return number + std::string(kUnits[static_cast<std::size_t>(unit)]);
    }
    case AppLanguage::japanese: {
        static constexpr std::array<std::string_view, 6> kUnits = {" 分前",   " 時間前", " 日前",
                                                                   " 週間前", " か月前", " 年前"};
        return number + std::string(kUnits[static_cast<std::size_t>(unit)]);
    }
    case AppLanguage::french: {
        static constexpr std::array<std::array<std::string_view, 2>, 6> kForms = {{
            {"minute", "minutes"},
            {"heure", "heures"},
            {"jour", "jours"},
            {"semaine", "semaines"},
            {"mois", "mois"},
            {"an", "ans"},
        }};
        return "il y a " + number + " " + std::string(noun(kForms, unit, n));
    }
    case AppLanguage::spanish: {
        static constexpr std::array<std::array<std::string_view, 2>, 6> kForms = {{
            {"minuto", "minutos"},
            {"hora", "horas"},
            {"día", "días"},
            {"semana", "semanas"},
            {"mes", "meses"},
            {"año", "años"},
        }};
        return "hace " + number + " " + std::string(noun(kForms, unit, n));
    }
    case AppLanguage::english:
        break;
    }
    static constexpr std::array<std::array<std::string_view, 2>, 6> kForms = {{
        {"minute", "minutes"},
        {"hour", "hours"},
        {"day", "days"},
        {"week", "weeks"},
        {"month", "months"},
        {"year", "years"},
    }};
    return number + " " + std::string(noun(kForms, unit, n)) + " ago";
}

std::string justNow(AppLanguage language)
{
    static constexpr std::array<std::string_view, 7> kNow = {"только что", "just now",    "gerade eben", "刚刚",
                                                             "たった今",   "à l'instant", "ahora mismo"};
    return std::string(kNow[static_cast<std::size_t>(language)]);
}

} // namespace

std::string RelativeTime::ago(std::chrono::seconds elapsed)
{
    const AppLanguage language = L10n::language();
    const long long seconds = elapsed.count();
    if (seconds < 60) {
        return justNow(language);
    }
    const long long minutes = seconds / 60;
    const long long hours = minutes / 60;
    const long long days = hours / 24;
    Span span{Unit::minute, minutes};
    if (hours < 1) {
        span = {Unit::minute, minutes};
    } else if (days < 1) {
        span = {Unit::hour, hours};
    } else if (days < 7) {
        span = {Unit::day, days};
    } else if (days < 30) {
        span = {Unit::week, days / 7};
    } else if (days < 365) {
        span = {Unit::month, days / 30};
    } else {
        span = {Unit::year, days / 365};
    }
    // One day, week, month or year back has a name of its own.
    if (span.amount == 1 && span.unit >= Unit::day) {
        return std::string(named(language, span.unit));
    }
    return counted(language, span.unit, span.amount);
}

} // namespace tarvo::engine

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "Catalog.h"

#include <span>

namespace tarvo::engine {

// The translation tables, one file each; Catalog::table chooses among them.
std::span<const CatalogPair> germanTable();
std::span<const CatalogPair> chineseTable();
std::span<const CatalogPair> japaneseTable();
std::span<const CatalogPair> frenchTable();
std::span<const CatalogPair> spanishTable();

} // namespace tarvo::engine

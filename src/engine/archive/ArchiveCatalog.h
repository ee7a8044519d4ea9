// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/tools/ArchiveSession.h"
#include "engine/tools/RarSupport.h"
#include "engine/vocabulary/ArchiveListing.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// An archive to list, and how.
struct ListRequest
{
    std::filesystem::path archive = {};
    // As typed; blank: none.
    std::string password = {};
    RarSupport tools = {};
    std::shared_ptr<ArchiveSession> session = {};
    // The listing must carry unar's entry numbers, which only lsar knows; a streamed one carries none.
    bool unarNumbers = false;
    // What a ZIP's names that are not UTF-8 are read in; empty: detected.
    std::string encoding = {};
};

// Lists what an archive holds. ZIP, 7Z and the tar family go to Tarvo's own lister (tarvo-lister,
// on libarchive), which is many times faster than lsar; lsar stays for what only it reads: RAR
// (libarchive does not tell its encrypted entries), archives whose headers are encrypted, single
// compressed files, archives the own lister cannot read, and unar's entry numbers. Every lister
// runs under a memory ceiling.
class ArchiveCatalog
{
public:
    // Fails with toolFailed (no lister, unreadable output, out of memory), wrongPassword (a
    // protected archive, header-encrypted ones included, listed without its password or with a
    // wrong one), notAnArchive (no lister recognises an archive), cancelled, or a launch error.
    static ArchiveListing list(const ListRequest& request);

    // Takes each entry, in the lister's order, with its link when it is one.
    using EntrySink = std::function<void(const ArchiveEntry& entry, const ArchiveListing::Link* link)>;
    // list(), handing the entries to `sink` as they arrive instead of keeping them, so that a listing
    // of millions of entries costs little memory: the listing returned holds none, nor links or
    // numbers. Tarvo's own lister and bsdtar stream; lsar's entries come when it is done. The first
    // entries are held back a while, so that another lister can still take over from one that fails.
    static ArchiveListing list(const ListRequest& request, const EntrySink& sink);

    // The legacy encoding a listing reads a ZIP's names in: `encoding` when given, else the one
    // detected; empty when the names need none, for other kinds, and without Tarvo's own lister
    // (which tells it from the central directory alone).
    static std::string nameEncoding(const std::filesystem::path& archive, const RarSupport& support,
                                    std::string_view encoding, const std::shared_ptr<ArchiveSession>& session = {});
};

} // namespace tarvo::engine

// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ArchiveEngine.h"
#include "engine/tools/RarSupport.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveKind.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::engine {

// What to take out of the archive: everything, or some entries (a folder with all below it).
struct Selection
{
    struct Chosen
    {
        std::string entry; // as the listing shows it
        bool isDirectory = false;
        bool hasDescendants = false;
        bool found = false;
        // The name as the archive stores it, when the listing shows it otherwise.
        std::string stored = {};
        // The lister's numbers of the entry and of everything below it.
        std::vector<std::int64_t> indexes = {};

        // What the tools are told: the stored name, which is what they match.
        const std::string& toolEntry() const { return stored.empty() ? entry : stored; }
    };
    std::vector<Chosen> entries; // none: everything
    // unar is to take the entries, by the lister's numbers.
    bool viaUnar = false;
    // The legacy encoding a ZIP's names are read in; empty when they need none.
    std::string encoding;

    bool everything() const { return entries.empty(); }
    // Whether each entry has the lister's numbers, which unar needs to take exactly it.
    bool numbered() const;
};

// One extraction: the archive and its kind, the tools found, its password and what to take.
struct Unpacking
{
    ArchiveKind kind;
    std::filesystem::path archive;
    RarSupport tools;
    std::optional<std::string> password;
    Selection selection;
};

// Which tool unpacks what: the first choice for each kind, and a second tool where the first may
// not read an archive at all.
class ExtractionRoutes
{
public:
    using Route = std::function<void(const std::filesystem::path& destination)>;

    // Runs the first tool for the archive into `destination`.
    static void run(const Unpacking& unpacking, const std::filesystem::path& destination, const RunControl& control);
    // The second tool for an archive the first could not read, when there is one: 7-Zip's family
    // for a ZIP member unzip lacks, bsdtar for a RAR unar failed on. A password failure, a cancel or
    // a launch error never gets one: those are the archive's or the user's answer, not the tool's
    // limit. The route refers to its arguments, which must outlive it.
    static Route second(const Unpacking& unpacking, const ArchiveError& failure, const RunControl& control);

    // RAR goes to unar: RARLAB's unrar was not found.
    static bool rarByUnar(const RarSupport& tools);
    static std::optional<std::filesystem::path> bsdtar();
};

} // namespace tarvo::engine

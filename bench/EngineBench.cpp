// SPDX-License-Identifier: GPL-3.0-or-later

// Tarvo's compress, extract and list against the raw tools on the same data, side by side.
//
//   tarvo_engine_bench [pairs] [only]
//
// `only` runs just the measurements whose label contains that text.
//
// Each measurement runs the raw command and Tarvo's operation as a pair, alternating which goes
// first, and reports the median of the pairs' ratios: the machine's load changes from second to
// second, a ratio taken within a pair much less.
#include "BenchSupport.h"
#include "engine/archive/ArchiveCatalog.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/archive/ArchiveSafety.h"
#include "engine/archive/EntryTable.h"
#include "engine/tools/FileWalk.h"
#include "engine/tools/ProgressStep.h"
#include "engine/tools/ToolLocator.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvo;
namespace fs = std::filesystem;

extern char** environ;

namespace {

int g_pairs = 3;
std::string g_only;

bool selected(const std::string& label)
{
    return g_only.empty() || label.find(g_only) != std::string::npos;
}

struct Cost
{
    double wall = 0;
    double cpu = 0; // this process and its reaped children, user and system
};

double cpuSeconds()
{
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

Cost measure(const std::function<void()>& work)
{
    const double cpu = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    work();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), cpuSeconds() - cpu};
}

double seconds(const std::function<void()>& work)
{
    return measure(work).wall;
}

void runRaw(const std::vector<std::string>& argv, const fs::path& folder)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ) != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        throw std::runtime_error(argv[0] + " failed");
    }
}

// Median of raw/Tarvo pairs; `reset` runs before each side to remove the last result.
void compare(const std::string& label, const std::function<void()>& raw, const std::function<void()>& tarvo,
             const std::function<void()>& reset, double target)
{
    if (!selected(label)) {
        return;
    }
    // Wall time is what the user waits; CPU time (the tool's and Tarvo's own) is steadier when
    // other work shares the machine.
    std::vector<double> wallRatios;
    std::vector<double> cpuRatios;
    double rawTotal = 0;
    for (int i = 0; i < g_pairs; ++i) {
        Cost rawCost;
        Cost tarvoCost;
        auto doRaw = [&] {
            reset();
            rawCost = measure(raw);
        };
        auto doTarvo = [&] {
            reset();
            tarvoCost = measure(tarvo);
        };
        if (i % 2 == 0) {
            doRaw();
            doTarvo();
        } else {
            doTarvo();
            doRaw();
        }
        rawTotal += rawCost.wall;
        wallRatios.push_back(tarvoCost.wall / rawCost.wall);
        cpuRatios.push_back(tarvoCost.cpu / rawCost.cpu);
    }
    reset();
    std::sort(wallRatios.begin(), wallRatios.end());
    std::sort(cpuRatios.begin(), cpuRatios.end());
    std::printf("%-40s raw %6.2f s | Tarvo/raw wall median %.3fx (%.3f-%.3f) | cpu median %.3fx (%.3f-%.3f) | "
                "target <= %.2fx\n",
                label.c_str(), rawTotal / g_pairs, wallRatios[wallRatios.size() / 2], wallRatios.front(),
                wallRatios.back(), cpuRatios[cpuRatios.size() / 2], cpuRatios.front(), cpuRatios.back(), target);
    std::fflush(stdout);
}

void writeBytes(const fs::path& path, std::size_t size, bool compressible, std::mt19937_64& random)
{
    fs::create_directories(path.parent_path());
    std::string bytes(size, '\0');
    if (compressible) {
        static const char* const words[] = {"archive ", "folder ", "holiday ", "photo ", "report ", "the ",
                                            "and ",     "2024 ",   "\n",       "Tarvo ", "data ",   "line "};
        std::size_t at = 0;
        while (at < size) {
            const char* word = words[random() % std::size(words)];
            for (const char* c = word; *c && at < size; ++c) {
                bytes[at++] = *c;
            }
        }
    } else {
        for (std::size_t i = 0; i + 8 <= size; i += 8) {
            const std::uint64_t value = random();
            std::memcpy(bytes.data() + i, &value, 8);
        }
    }
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// About 200 MB: incompressible "photos", compressible texts and small documents in nested folders.
void makeLargeTree(const fs::path& root, std::mt19937_64& random)
{
    for (int i = 0; i < 40; ++i) {
        writeBytes(root / "Photos" / ("IMG_" + std::to_string(i) + ".jpg"), (2 + i % 3) << 20, false, random);
    }
    for (int i = 0; i < 20; ++i) {
        writeBytes(root / "Logs" / ("log" + std::to_string(i) + ".txt"), (2 + i % 3) << 20, true, random);
    }
    for (int i = 0; i < 300; ++i) {
        writeBytes(root / "Docs" / ("d" + std::to_string(i % 7)) / ("note" + std::to_string(i) + ".txt"),
                   10000 + (random() % 90000), i % 2 == 0, random);
    }
}

void makeSmallFiles(const fs::path& root, std::mt19937_64& random)
{
    for (int i = 0; i < 20000; ++i) {
        writeBytes(root / ("folder" + std::to_string(i / 200)) / ("file" + std::to_string(i) + ".txt"),
                   200 + random() % 1800, true, random);
    }
}

engine::RunControl counting(std::atomic<long long>& ticks)
{
    return {nullptr,
            [&](const engine::ProgressStep& step) { ticks.fetch_add(step.entries, std::memory_order_relaxed); }};
}

void compressAndExtract(const std::string& name, const fs::path& tree, const fs::path& out, double target,
                        double pigzTarget)
{
    const engine::RarSupport tools = engine::ToolLocator::rarSupport();
    const fs::path parent = tree.parent_path();
    const std::string item = tree.filename().string();
    struct Format
    {
        engine::ArchiveFormat format;
        std::vector<std::string> raw;
        double compressTarget;
    };
    const fs::path archive = out / "raw";
    // Against bsdtar's own single-threaded gzip: with pigz, on the cores it has.
    const auto tar = engine::ToolLocator::systemTar();
    const double tarGzTarget = tar && tar->parallelGzip ? pigzTarget : target;
    const std::vector<Format> formats = {
        {engine::ArchiveFormat::zip, {"/usr/bin/zip", "-r", "-y", "-6", archive.string() + ".zip", item}, target},
        {engine::ArchiveFormat::tarGz,
         {"/usr/bin/bsdtar", "-czf", archive.string() + ".tar.gz", "--options", "gzip:compression-level=6", item},
         tarGzTarget},
        {engine::ArchiveFormat::sevenZip,
         {tools.sevenZip->string(), "a", "-mx5", archive.string() + ".7z", item},
         target},
    };
    for (const Format& format : formats) {
        const std::string extension(format.format.rawValue());
        auto reset = [&] {
            for (const auto& entry : fs::directory_iterator(out)) {
                fs::remove_all(entry.path());
            }
        };
        std::atomic<long long> ticks{0};
        compare(
            name + " compress " + extension, [&] { runRaw(format.raw, parent); },
            [&] {
                engine::CompressRequest request;
                request.items = {tree};
                request.format = format.format;
                request.directory = out;
                request.skipJunk = false;
                request.tools = tools;
                request.control = counting(ticks);
                ticks = engine::FileWalk::count(request.items) * 0;
                engine::ArchiveEngine::compress(request);
            },
            reset, format.compressTarget);

        if (!selected(name + " extract " + extension)) {
            continue;
        }
        // One archive made once, unpacked by both.
        const fs::path packed = out.parent_path() / ("packed." + extension);
        fs::remove(packed);
        engine::CompressRequest request;
        request.items = {tree};
        request.format = format.format;
        request.directory = out;
        request.tools = tools;
        fs::rename(engine::ArchiveEngine::compress(request), packed);
        const fs::path target_dir = out / "raw-extract";
        std::vector<std::string> rawExtract;
        switch (format.format) {
        case engine::ArchiveFormat::zip:
            rawExtract = {"/usr/bin/unzip", "-o", packed.string(), "-d", target_dir.string()};
            break;
        case engine::ArchiveFormat::tarGz:
            rawExtract = {"/usr/bin/bsdtar", "-xzf", packed.string(), "-C", target_dir.string()};
            break;
        default:
            rawExtract = {tools.sevenZip->string(), "x", "-y", "-o" + target_dir.string(), packed.string()};
            break;
        }
        const fs::path copy = out / ("packed." + extension);
        compare(
            name + " extract " + extension,
            [&] {
                fs::create_directories(target_dir);
                runRaw(rawExtract, out);
            },
            [&] { engine::ArchiveEngine::extract(copy, tools, std::nullopt, counting(ticks)); },
            [&] {
                for (const auto& entry : fs::directory_iterator(out)) {
                    fs::remove_all(entry.path());
                }
                // Tarvo unpacks beside the archive: give it its own copy in the output folder.
                fs::create_hard_link(packed, copy);
            },
            target);
        fs::remove(packed);
    }
}

std::uint64_t freeBytes(const fs::path& folder)
{
    return fs::space(folder).available;
}

void staging(const fs::path& tree, const fs::path& scratch)
{
    if (!selected("staging")) {
        return;
    }
    // Two folders of about 200 MB each, packed together: Tarvo stages them into one folder beside
    // the archive. Side by side: the way it was done before, a full copy into the temporary folder.
    const fs::path a = scratch / "stage-a";
    const fs::path b = scratch / "stage-b";
    for (const fs::path& folder : {a, b}) {
        fs::create_directories(folder);
        for (const char* name : {"Photos", "Logs", "Docs"}) {
            fs::copy(tree / name, folder / name, fs::copy_options::recursive);
        }
    }
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(a)) {
        bytes += entry.is_regular_file() ? entry.file_size() : 0;
    }
    bytes *= 2;
    const std::vector<fs::path> items = {a / "Photos", a / "Logs", a / "Docs", b / "Photos", b / "Logs", b / "Docs"};
    std::vector<double> copyTimes;
    std::vector<double> linkTimes;
    std::uint64_t copyCost = 0;
    std::uint64_t linkCost = 0;
    for (int i = 0; i < std::max(3, g_pairs); ++i) {
        const fs::path copied = scratch / "stage-copy";
        const std::uint64_t before = freeBytes(scratch);
        copyTimes.push_back(seconds([&] {
            fs::create_directory(copied);
            for (const fs::path& item : items) {
                fs::copy(item, copied / (item.parent_path().filename().string() + item.filename().string()),
                         fs::copy_options::recursive);
            }
        }));
        copyCost = std::max<std::uint64_t>(copyCost, before - std::min(before, freeBytes(scratch)));
        fs::remove_all(copied);
        fs::path staged;
        const std::uint64_t beforeLinks = freeBytes(scratch);
        linkTimes.push_back(seconds([&] { staged = engine::ArchiveEngine::stage(items, scratch); }));
        linkCost = std::max<std::uint64_t>(linkCost, beforeLinks - std::min(beforeLinks, freeBytes(scratch)));
        fs::remove_all(staged);
    }
    std::sort(copyTimes.begin(), copyTimes.end());
    std::sort(linkTimes.begin(), linkTimes.end());
    const double copyTime = copyTimes[copyTimes.size() / 2];
    const double linkTime = linkTimes[linkTimes.size() / 2];
    std::printf("%-44s %.0f MB: a full copy %.2f s and %.0f MB of disk, staging %.3f s and %.0f KB; "
                "%.0fx faster\n",
                "staging items from two folders", static_cast<double>(bytes) / 1e6, copyTime,
                static_cast<double>(copyCost) / 1e6, linkTime, static_cast<double>(linkCost) / 1e3,
                copyTime / std::max(linkTime, 1e-6));
    fs::remove_all(a);
    fs::remove_all(b);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// `count` file entries of no size, described for bsdtar so that no files need to exist.
void writeSpec(const fs::path& spec, int count, const char* name)
{
    std::ofstream out(spec);
    out << "#mtree\n";
    for (int i = 0; i < count; ++i) {
        out << "./Folder" << (i / 1000) << "/" << name << i << ".txt type=file size=0\n";
    }
}

// How far one listing of `archive` raises the peak memory (MB), in a fresh process where no earlier
// listing has left freed memory to reuse; `mode` is --list-memory or --stream-memory.
double peakGrowth(const char* mode, const fs::path& archive, const fs::path& scratch)
{
    const fs::path growth = scratch / "growth.txt";
    bench::runToFile({fs::read_symlink("/proc/self/exe").string(), mode, archive.string()}, growth);
    std::int64_t bytes = 0;
    std::ifstream(growth) >> bytes;
    return static_cast<double>(bytes) / 1e6;
}

// Tarvo's own memory for a listing of 3,000,000 entries: held whole, as every listing was before,
// and streamed, as tarvo list and the preview read one now.
void listingMemory(const fs::path& scratch)
{
    if (!selected("list 3,000,000 entries")) {
        return;
    }
    const fs::path spec = scratch / "huge.mtree";
    writeSpec(spec, 3'000'000, "some-longer-file-name-");
    const fs::path archive = scratch / "huge.tar.gz";
    runRaw({"/usr/bin/bsdtar", "--format", "ustar", "-czf", archive.string(), "-s", ",^\\./,,", "@" + spec.string()},
           scratch);
    fs::remove(spec);
    const double held = peakGrowth("--list-memory", archive, scratch);
    const double streamed = peakGrowth("--stream-memory", archive, scratch);
    const double table = peakGrowth("--table-memory", archive, scratch);
    std::printf("list 3,000,000 entries, tar.gz (%.1f MB): peak memory growth held whole %.0f MB, streamed %.0f MB "
                "(%.0fx less), target < 300 MB; held as the preview holds it, every entry in its table and "
                "searched, %.0f MB\n",
                static_cast<double>(fs::file_size(archive)) / 1e6, held, streamed, held / std::max(streamed, 0.001),
                table);
    fs::remove(archive);
}

// Tarvo's listing of 100,000 entries against every raw lister of the same archive, one after the
// other in each round, so that they share the machine's state.
void listing(const fs::path& scratch)
{
    if (!selected("list 100,000 entries")) {
        return;
    }
    const fs::path spec = scratch / "spec.mtree";
    writeSpec(spec, 100000, "entry-");
    const engine::RarSupport tools = engine::ToolLocator::rarSupport();
    if (!tools.entryLister) {
        std::printf("list 100,000 entries: tarvo-lister not found\n");
        return;
    }
    struct Kind
    {
        const char* name;
        const char* bsdtarFormat; // what bsdtar writes
        const char* listerFormat;
        double target;
    };
    for (const Kind& kind :
         {Kind{"zip", "zip", "zip", 1.3}, Kind{"7z", "7zip", "7z", 1.3}, Kind{"tar.gz", "pax", "tar", 1.3}}) {
        const fs::path archive = scratch / (std::string("many.") + kind.name);
        std::vector<std::string> make = {"/usr/bin/bsdtar", "--format", kind.bsdtarFormat, "-cf",
                                         archive.string(),  "-s",       ",^\\./,,"};
        if (std::string(kind.name) == "tar.gz") {
            make.push_back("-z");
        }
        make.push_back("@" + spec.string());
        runRaw(make, scratch);
        const std::string path = archive.string();
        std::vector<std::pair<std::string, std::vector<std::string>>> raws = {
            {"tarvo-lister", {tools.entryLister->string(), "--format", kind.listerFormat, "--", path}},
            {"bsdtar -tv", {"/usr/bin/bsdtar", "-tvf", path}}};
        if (std::string(kind.name) != "tar.gz" && tools.sevenZip) {
            raws.push_back({"7zz l -slt", {tools.sevenZip->string(), "l", "-slt", path}});
        }
        if (std::string(kind.name) == "zip" && fs::exists("/usr/bin/zipinfo")) {
            raws.push_back({"zipinfo", {"/usr/bin/zipinfo", path}});
        }
        std::vector<std::vector<double>> rawTimes(raws.size());
        std::vector<double> tarvoTimes;
        std::size_t entries = 0;
        for (int round = 0; round < std::max(3, g_pairs); ++round) {
            for (std::size_t i = 0; i < raws.size(); ++i) {
                rawTimes[i].push_back(seconds([&] { runRaw(raws[i].second, scratch); }));
            }
            tarvoTimes.push_back(seconds(
                [&] { entries = engine::ArchiveCatalog::list({.archive = archive, .tools = tools}).entries.size(); }));
        }
        const double peak = peakGrowth("--list-memory", archive, scratch) * 1e6;
        double fastest = 1e9;
        std::string fastestName;
        std::printf("list 100,000 entries, %s (%.1f MB):", kind.name,
                    static_cast<double>(fs::file_size(archive)) / 1e6);
        for (std::size_t i = 0; i < raws.size(); ++i) {
            const double time = median(rawTimes[i]);
            std::printf(" %s %.3f s;", raws[i].first.c_str(), time);
            if (time < fastest) {
                fastest = time;
                fastestName = raws[i].first;
            }
        }
        const double tarvo = median(tarvoTimes);
        std::printf(" Tarvo %.3f s = %.2fx the fastest (%s), target <= %.1fx\n", tarvo, tarvo / fastest,
                    fastestName.c_str(), kind.target);
        const fs::path output = scratch / "lister.out";
        bench::runToFile(raws[0].second, output);
        const auto size = static_cast<double>(fs::file_size(output));
        std::printf("list 100,000 entries, %s: memory: %zu entries, lister output %.1f MB, peak memory growth %.1f MB "
                    "= %.2fx the output (target <= 2x)\n",
                    kind.name, entries, size / 1e6, peak / 1e6, peak / size);
        if (std::string(kind.name) == "zip" && tools.lister) {
            // What lsar, the lister before tarvo-lister, printed for the same archive.
            bench::runToFile({tools.lister->string(), "-json", path}, output);
            const auto json = static_cast<double>(fs::file_size(output));
            std::printf("list 100,000 entries, zip: lsar's JSON for it %.1f MB; the peak is %.2fx that\n", json / 1e6,
                        peak / json);
        }
        std::fflush(stdout);
    }
}

// The preview's search: a table of every entry, and the time from a keystroke to its matches, for
// each query as a person types it (each after the one before, as the preview narrows).
// Adding a small file to a large archive and deleting one, against 7-Zip doing the same on its own:
// what Tarvo adds is the listing before and after, the check that nobody wrote the archive meanwhile
// and one rename. TARVO_BENCH_EDIT_MB sets the archive's size (a gigabyte by default).
void editing(const fs::path& scratch, std::mt19937_64& random)
{
    const char* sizeText = std::getenv("TARVO_BENCH_EDIT_MB");
    const std::size_t megabytes = sizeText ? static_cast<std::size_t>(std::atol(sizeText)) : 1024;
    const fs::path folder = scratch / "edit";
    const auto tools = engine::ToolLocator::rarSupport();
    for (const std::string extension : {"zip", "7z"}) {
        const std::string add = "edit: add 1 KB to " + std::to_string(megabytes) + " MB " + extension;
        const std::string remove = "edit: delete 1 entry of " + std::to_string(megabytes) + " MB " + extension;
        if (!selected(add) && !selected(remove)) {
            continue;
        }
        fs::remove_all(folder);
        for (std::size_t i = 0; i < megabytes / 64; ++i) {
            writeBytes(folder / "Data" / ("part-" + std::to_string(i) + ".bin"), 64 << 20, false, random);
        }
        writeBytes(folder / "small" / "note.txt", 1000, true, random);
        const fs::path pristine = folder / ("pristine." + extension);
        const fs::path archive = folder / ("archive." + extension);
        // Stored: the noise would not shrink, and the edit copies what is packed either way.
        runRaw({tools.sevenZip->string(), "a", "-mx0", "-t" + extension, pristine.string(), "Data"}, folder);
        fs::remove_all(folder / "Data");
        // Each side starts with nothing waiting to be written: the copy's pages would otherwise be
        // written out by whichever side flushes first.
        const auto reset = [&] {
            fs::remove(archive);
            fs::copy_file(pristine, archive);
            ::sync();
        };
        compare(
            add,
            [&] {
                runRaw({tools.sevenZip->string(), "u", "-y", archive.string(), "note.txt"}, folder / "small");
            },
            [&] {
                engine::ArchiveEngine::add(
                    {.archive = archive, .tools = tools, .items = {folder / "small" / "note.txt"}});
            },
            reset, 1.1);
        compare(
            remove,
            [&] {
                runRaw({tools.sevenZip->string(), "d", "-y", archive.string(), "Data/part-0.bin"}, folder);
            },
            [&] {
                engine::ArchiveEngine::remove({.archive = archive, .tools = tools, .entries = {"Data/part-0.bin"}});
            },
            reset, 1.1);
    }
    fs::remove_all(folder);
}

void entrySearch()
{
    if (!selected("search")) {
        return;
    }
    for (const std::uint32_t count : {250'000u, 1'000'000u}) {
        engine::EntryTable table;
        const char* words[] = {"reports", "photos", "invoices", "Música", "backup", "src", "docs", "Übersicht"};
        const char* kinds[] = {".pdf", ".jpg", ".txt", ".cpp", ".xlsx"};
        for (std::uint32_t i = 0; i < count; ++i) {
            // As archives hold them: files by the folder, 200 to a folder.
            const std::uint32_t f = i / 200;
            const std::string folder = std::string(words[f % 8]) + "/" + std::to_string(2000 + f % 25) + "/" +
                                       words[(f / 8) % 8] + "-" + std::to_string(f);
            table.add(
                {.path = folder + "/file-" + std::to_string(i * 7919 % count) + "-" + words[(i / 3) % 8] + kinds[i % 5],
                 .byteSize = i});
        }
        table.finish();
        std::printf("search %u entries: the table holds %.1f MB;", count, static_cast<double>(table.footprint()) / 1e6);
        std::vector<engine::EntryTable::Row> earlier;
        std::optional<engine::SearchQuery> previous;
        double slowest = 0;
        for (const char* typed : {"r", "re", "rep", "repo", "report", "ubers", "*.pdf", "file-1?3*", "2024/q3"}) {
            const engine::SearchQuery query(typed);
            std::vector<engine::EntryTable::Row> found;
            const double time = seconds([&] {
                const bool narrow = previous && query.narrows(*previous);
                found = table.matching(query, narrow ? &earlier : nullptr);
            });
            slowest = std::max(slowest, time);
            std::printf(" \"%s\" %.1f ms (%zu)", typed, time * 1e3, found.size());
            earlier = std::move(found);
            previous = query;
        }
        std::printf("; slowest %.1f ms, target %d ms\n", slowest * 1e3, count > 250'000 ? 100 : 30);
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--stream-memory") {
        // The same, listed as tarvo list --json and the preview do: streamed, counted, inspected.
        const std::int64_t before = bench::residentBytes();
        bench::resetPeakResident();
        engine::SafetyWalk safety;
        std::int64_t count = 0;
        engine::ArchiveCatalog::list({.archive = argv[2], .tools = engine::ToolLocator::rarSupport()},
                                     [&](const engine::ArchiveEntry& entry, const engine::ArchiveListing::Link* link) {
                                         ++count;
                                         safety.add(entry, link ? &link->target : nullptr, link && link->hard);
                                     });
        if (safety.report(argv[2]).entries != count) {
            return 1;
        }
        std::printf("%lld\n", static_cast<long long>(bench::peakResidentBytes() - before));
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--table-memory") {
        // As the preview lists: every entry into its table, the first 200 kept, the safety report
        // made; then a search over the table.
        const std::int64_t before = bench::residentBytes();
        bench::resetPeakResident();
        engine::SafetyWalk safety;
        engine::EntryTable table;
        std::vector<engine::ArchiveEntry> first;
        engine::ArchiveCatalog::list({.archive = argv[2], .tools = engine::ToolLocator::rarSupport()},
                                     [&](const engine::ArchiveEntry& entry, const engine::ArchiveListing::Link* link) {
                                         safety.add(entry, link ? &link->target : nullptr, link && link->hard);
                                         if (first.size() < 200) {
                                             first.push_back(entry);
                                         }
                                         table.add(entry);
                                     });
        table.finish();
        const auto found = table.matching(engine::SearchQuery("name-1"));
        if (safety.report(argv[2]).entries != static_cast<std::int64_t>(table.size()) || found.empty()) {
            return 1;
        }
        std::printf("%lld\n", static_cast<long long>(bench::peakResidentBytes() - before));
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--list-memory") {
        // The child of the listing's memory measurement: how far one listing raises the peak.
        const std::int64_t before = bench::residentBytes();
        bench::resetPeakResident();
        engine::ArchiveCatalog::list({.archive = argv[2], .tools = engine::ToolLocator::rarSupport()});
        std::printf("%lld\n", static_cast<long long>(bench::peakResidentBytes() - before));
        return 0;
    }
    if (argc > 1) {
        g_pairs = std::max(1, std::atoi(argv[1]));
    }
    if (argc > 2) {
        g_only = argv[2];
    }
    entrySearch();
    bench::useBuiltLister();
    const fs::path scratch = bench::scratchDirectory();
    std::mt19937_64 random(2026);
    std::printf("Generating data in %s ...\n", scratch.c_str());
    std::fflush(stdout);
    makeLargeTree(scratch / "large" / "Tree", random);
    makeSmallFiles(scratch / "small" / "Files", random);
    fs::create_directories(scratch / "out");

    listing(scratch);
    listingMemory(scratch);
    editing(scratch, random);
    staging(scratch / "large" / "Tree", scratch);
    // Small files keep tar busy reading them: pigz gains little there.
    compressAndExtract("200 MB tree", scratch / "large" / "Tree", scratch / "out", 1.03, 0.6);
    compressAndExtract("20,000 small files", scratch / "small" / "Files", scratch / "out", 1.15, 1.15);
    fs::remove_all(scratch);
    return 0;
}

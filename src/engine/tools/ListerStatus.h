// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// tarvo-lister's exit statuses, shared by the lister and the engine that reads them. Plain C++:
// the lister links nothing of Tarvo's.
namespace tarvo::lister {

enum ListerStatus : int
{
    listed = 0,
    // The archive could not be read: the reason on standard error, after the entries read so far.
    unreadable = 1,
    // It is not an archive of the format asked for.
    notAnArchive = 2,
    // Its headers are encrypted and nothing could be listed.
    headersEncrypted = 3,
    // Listed, but some names are in another encoding than UTF-8, which lsar can tell.
    foreignNames = 4,
    usage = 64,
};

} // namespace tarvo::lister

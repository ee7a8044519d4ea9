#pragma once

#include <QStringList>

namespace tarvo::platform {

// Shows files selected in a file-manager window.
class FileReveal
{
public:
    virtual ~FileReveal() = default;
    // Absolute paths. Returns at once; a file manager that cannot be reached is not an error.
    virtual void reveal(const QStringList& paths) = 0;
};

} // namespace tarvo::platform

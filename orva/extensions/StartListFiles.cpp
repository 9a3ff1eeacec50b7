#include "StartListFiles.h"

#include "ExtensionPaths.h"
#include "Platform.h"

#include <QDir>

namespace extensions {

bool createEmptyStartLists()
{
    // mkdir reports an existing folder as failure; that is no error here.
    QDir current = QDir::current();
    const QString folder = platform::processPath(kStartFolder);
    current.mkdir(folder);

    bool allCreated = QFileInfo(folder).isDir();
    for (const char* path : kStartListPaths)
        allCreated = platform::createFileIfMissing(path) && allCreated;
    return allCreated;
}

} // namespace extensions

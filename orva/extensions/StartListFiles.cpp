#include "StartListFiles.h"

#include "ExtensionLayout.h"
#include "platform/Platform.h"

#include <QDir>

namespace extensions {

bool createEmptyStartLists()
{
    // mkdir reports an existing folder as failure; that is no error here.
    const QString folder = platform::processPath(startFolderPath());
    QDir::current().mkdir(folder);

    bool allCreated = QFileInfo(folder).isDir();
    for (const Role role : kAllRoles)
        allCreated = platform::createFileIfMissing(startListPath(role)) && allCreated;
    return allCreated;
}

} // namespace extensions

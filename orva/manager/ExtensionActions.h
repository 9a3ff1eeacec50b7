#pragma once

#include <QByteArray>
#include <QString>

namespace manager {

// "删除": asks whether to remove the extension, then runs the installer's
// removal (`packsetup --remove <id>`) and waits for it. True when the
// installer ran to its end, so the start lists may have changed.
bool removeExtension(const QByteArray& id, const QString& name);

// "配置": opens the extension's folder in the system's file manager; a folder
// that is missing or cannot be opened is reported.
void openExtensionFolder(const QByteArray& id);

} // namespace manager

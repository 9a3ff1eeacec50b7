#include "ExtensionPaths.h"

namespace extensions {
namespace {

QByteArray extensionFilePath(const QByteArray& id, const QByteArray& fileName)
{
    return QByteArrayLiteral(".\\Extensions\\") + id + '\\' + fileName;
}

} // namespace

QByteArray nameFilePath(const QByteArray& id)
{
    return extensionFilePath(id, QByteArrayLiteral("ExtensionName.etn"));
}

QByteArray programFilePath(const QByteArray& id, const QByteArray& name)
{
    return extensionFilePath(id, name + QByteArrayLiteral(".exe"));
}

QByteArray controlFilePath(const QByteArray& id, const QByteArray& name)
{
    return extensionFilePath(id, name + QByteArrayLiteral(".control"));
}

} // namespace extensions

#include "StartListRole.h"

#include <QStringList>

namespace extensions {

QByteArray roleName(Role role)
{
    switch (role) {
    case Role::Listener:
        return QByteArrayLiteral("Listener");
    case Role::Controller:
        return QByteArrayLiteral("Controller");
    case Role::Runner:
        return QByteArrayLiteral("Runner");
    case Role::Structure:
        return QByteArrayLiteral("Structure");
    case Role::MainControllerExtension:
        return QByteArrayLiteral("MainControllerExtension");
    }
    return {};
}

QString allRoleNames()
{
    QStringList names;
    for (const Role role : kAllRoles)
        names.append(QString::fromLatin1(roleName(role)));
    return names.join(QStringLiteral("、"));
}

} // namespace extensions

#pragma once

#include <QByteArray>
#include <QString>
#include <array>

namespace extensions {

// The five start lists, in the layout's order. A role's name is the list's
// base name in Start/ and the word install pack headers use for it.
enum class Role { Listener, Controller, Runner, Structure, MainControllerExtension };
inline constexpr std::array<Role, 5> kAllRoles = {Role::Listener, Role::Controller, Role::Runner,
                                                  Role::Structure, Role::MainControllerExtension};

// "Listener", "Controller", ...
QByteArray roleName(Role role);
// "Listener、Controller、...": all five, in the layout's order, for messages.
QString allRoleNames();

} // namespace extensions

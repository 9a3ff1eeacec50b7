#pragma once

// The question packsetup asks before it writes anything, when it runs with
// its windows: what is installed, where it goes, what it replaces and who
// signed it. --quiet never asks.

#include "installer/InstallPlan.h"

#include <QString>

namespace packsetup {

// The box's text, in Chinese, plain text.
QString confirmationText(const installer::InstallPlan& plan);

// Shows the box with 安装 (the default) and 取消 (also Escape and the close
// control); true for 安装.
bool askToInstall(const installer::InstallPlan& plan, const QString& title);

} // namespace packsetup

#include "InstallConfirmation.h"

#include "gui/MessageBox.h"

#include <QMessageBox>
#include <QPushButton>

namespace packsetup {
namespace {

// A header may hold megabytes of description: the box shows the start.
constexpr int kMaxFieldCharacters = 300;

QString field(const std::optional<QByteArray>& value, const QString& missing)
{
    if (!value)
        return missing;
    const QString text = QString::fromUtf8(*value).simplified();
    return text.size() > kMaxFieldCharacters ? text.left(kMaxFieldCharacters) + QStringLiteral("…") : text;
}

// The start lists as the extension manager names them.
QString listCaption(extensions::Role role)
{
    switch (role) {
    case extensions::Role::Listener:
        return QStringLiteral("监听器");
    case extensions::Role::Controller:
        return QStringLiteral("控制器");
    case extensions::Role::Runner:
        return QStringLiteral("执行器");
    case extensions::Role::Structure:
        return QStringLiteral("结构包");
    case extensions::Role::MainControllerExtension:
        return QStringLiteral("控制扩展器");
    }
    return {};
}

QString listsText(const QList<extensions::Role>& roles)
{
    if (roles.isEmpty())
        return QStringLiteral("启动列表：不加入任何启动列表。\n");
    QStringList names;
    for (const extensions::Role role : roles)
        names.append(QStringLiteral("%1（%2）")
                         .arg(listCaption(role), QString::fromLatin1(extensions::roleName(role))));
    QString text = QStringLiteral("启动列表：") + names.join(QStringLiteral("、")) + QStringLiteral("。\n");
    if (roles.contains(extensions::Role::Listener))
        text += QStringLiteral("监听器会在ORVA每次启动时自动运行。\n");
    return text;
}

QString signatureText(const installer::InstallPlan& plan)
{
    if (!plan.signer)
        return QStringLiteral("签名：这个安装包没有签名，无法确认它的作者。请只安装来源可信的安装包。");
    QString text = QStringLiteral("签名：作者密钥%1，签名有效。").arg(plan.signer->fingerprint());
    if (plan.signerPinned)
        return text + QStringLiteral("这个扩展以前就是用同一密钥安装的。");
    if (plan.upgrade)
        text += QStringLiteral("已安装的版本没有签名。");
    else
        text += QStringLiteral("这个扩展以前没有用这个密钥安装过。");
    return text + QStringLiteral("安装后，只有同一密钥签名的更新才能替换它。");
}

} // namespace

QString confirmationText(const installer::InstallPlan& plan)
{
    const pack::PackInfo& info = plan.info;
    const QString unknown = QStringLiteral("（未注明）");
    QString text = QStringLiteral("要安装扩展\"%1\"吗？\n\n").arg(QString::fromUtf8(info.name));
    text += QStringLiteral("标识：%1\n").arg(QString::fromLatin1(info.id));
    text += QStringLiteral("版本：%1\n").arg(field(info.version, unknown));
    text += QStringLiteral("作者：%1\n").arg(field(info.author, unknown));
    text += QStringLiteral("说明：%1\n\n").arg(field(info.description, QStringLiteral("（无）")));
    text += listsText(info.roles);
    text += plan.upgrade ? QStringLiteral("它将替换已安装的同名扩展：已安装版本%1，新版本%2。\n")
                               .arg(field(plan.installedVersion, unknown), field(info.version, unknown))
                         : QStringLiteral("这是新安装。\n");
    if (!plan.running.isEmpty())
        text += QStringLiteral("正在运行：%1，安装前会先结束它们。\n").arg(plan.running);
    return text + signatureText(plan);
}

bool askToInstall(const installer::InstallPlan& plan, const QString& title)
{
    QMessageBox box;
    box.setWindowTitle(title);
    box.setIcon(plan.signer ? QMessageBox::Question : QMessageBox::Warning);
    box.setTextFormat(Qt::PlainText); // names and descriptions come from the pack
    box.setText(confirmationText(plan));
    box.setDefaultButton(gui::MessageBox::addButton(box, gui::MessageBox::Button::Install));
    box.setEscapeButton(gui::MessageBox::addButton(box, gui::MessageBox::Button::Cancel));
    return gui::MessageBox::exec(box) == gui::MessageBox::Button::Install;
}

} // namespace packsetup

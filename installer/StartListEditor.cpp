#include "StartListEditor.h"

#include "orva/extensions/ExtensionLayout.h"
#include "orva/extensions/StartListReader.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace installer {
namespace {

QString listPath(extensions::Role role)
{
    return platform::processPath(extensions::startListPath(role));
}

QByteArray withoutToken(const QByteArray& bytes, const QByteArray& id)
{
    QByteArray out;
    out.reserve(bytes.size());
    int i = 0;
    while (i < bytes.size()) {
        if (extensions::isStartListSeparator(bytes.at(i))) {
            out.append(bytes.at(i++));
            continue;
        }
        int end = i;
        while (end < bytes.size() && !extensions::isStartListSeparator(bytes.at(end)))
            ++end;
        const QByteArray token = bytes.mid(i, end - i);
        if (token != id) {
            out.append(token);
        } else if (bytes.mid(end, 2) == "\r\n") {
            end += 2;
        } else if (end < bytes.size()) {
            ++end;
        }
        i = end;
    }
    return out;
}

} // namespace

bool StartListEditor::read(extensions::Role role, Planned& list, QString& error)
{
    list.path = listPath(role);
    const QFileInfo info(list.path);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isDir()) {
        error = QStringLiteral("启动列表\"%1\"是文件夹，不是文件。").arg(QDir::toNativeSeparators(list.path));
        return false;
    }
    QFile file(list.path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("无法读取启动列表\"%1\"：%2。")
                    .arg(QDir::toNativeSeparators(list.path), file.errorString());
        return false;
    }
    list.original = file.readAll();
    list.updated = list.original;
    list.existed = true;
    return true;
}

ListChange StartListEditor::add(const QByteArray& id, const QList<extensions::Role>& roles) const
{
    ListChange change;
    QList<Planned> lists;
    for (const extensions::Role role : roles) {
        Planned list;
        if (!read(role, list, change.error)) {
            change.ok = false;
            return change;
        }
        if (extensions::startListTokens(list.original).contains(id))
            continue;
        if (!list.updated.isEmpty() && !extensions::isStartListSeparator(list.updated.back()))
            list.updated.append('\n');
        list.updated.append(id + '\n');
        lists.append(list);
    }
    const QString folder = platform::processPath(extensions::startFolderPath());
    if (!lists.isEmpty() && !QDir().mkpath(folder)) {
        change.ok = false;
        change.error = QStringLiteral("无法创建文件夹\"%1\"。").arg(QDir::toNativeSeparators(folder));
        return change;
    }
    return commit(lists);
}

ListChange StartListEditor::remove(const QByteArray& id) const
{
    ListChange change;
    QList<Planned> lists;
    for (const extensions::Role role : extensions::kAllRoles) {
        Planned list;
        if (!read(role, list, change.error)) {
            change.ok = false;
            return change;
        }
        list.updated = withoutToken(list.original, id);
        if (list.updated != list.original)
            lists.append(list);
    }
    return commit(lists);
}

bool StartListEditor::isListed(const QByteArray& id) const
{
    for (const extensions::Role role : extensions::kAllRoles) {
        QFile file(listPath(role));
        if (file.open(QIODevice::ReadOnly) && extensions::startListTokens(file.readAll()).contains(id))
            return true;
    }
    return false;
}

ListChange StartListEditor::commit(const QList<Planned>& lists)
{
    ListChange change;
    for (int i = 0; i < lists.size(); ++i) {
        QString error;
        if (platform::saveWholeFile(lists[i].path, lists[i].updated, error))
            continue;
        change.ok = false;
        change.error = QStringLiteral("无法写入启动列表\"%1\"：%2。")
                           .arg(QDir::toNativeSeparators(lists[i].path), error);
        // Put back what was written, so that the lists stay as they were.
        for (int j = 0; j < i; ++j) {
            QString ignored;
            if (lists[j].existed)
                platform::saveWholeFile(lists[j].path, lists[j].original, ignored);
            else
                QFile::remove(lists[j].path);
        }
        return change;
    }
    return change;
}

} // namespace installer

#include "StartListEditor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>

namespace packsetup {
namespace {

// The separators of the start-up launcher's reading (the C locale's).
bool isSeparator(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r';
}

QList<QByteArray> tokensOf(const QByteArray& bytes)
{
    QList<QByteArray> tokens;
    QByteArray token;
    for (const char byte : bytes) {
        if (!isSeparator(byte)) {
            token.append(byte);
        } else if (!token.isEmpty()) {
            tokens.append(token);
            token.clear();
        }
    }
    if (!token.isEmpty())
        tokens.append(token);
    return tokens;
}

QByteArray withoutToken(const QByteArray& bytes, const QByteArray& id)
{
    QByteArray out;
    out.reserve(bytes.size());
    int i = 0;
    while (i < bytes.size()) {
        if (isSeparator(bytes.at(i))) {
            out.append(bytes.at(i++));
            continue;
        }
        int end = i;
        while (end < bytes.size() && !isSeparator(bytes.at(end)))
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

bool saveWholeFile(const QString& path, const QByteArray& bytes, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    // A write cut short by a full disk or a size limit sets no error of
    // Qt's own, and a failed commit() says "Unknown error": the reason is
    // the failed system call's.
    errno = 0;
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    const int writeErrno = errno;
    if (written && file.commit())
        return true;
    error = !written && writeErrno != 0 ? qt_error_string(writeErrno) : file.errorString();
    return false;
}

StartListEditor::StartListEditor(const QString& startFolder) : m_startFolder(startFolder) {}

bool StartListEditor::read(const QString& path, Planned& list, QString& error) const
{
    list.path = path;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isDir()) {
        error = QStringLiteral("启动列表\"%1\"是文件夹，不是文件。").arg(QDir::toNativeSeparators(path));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("无法读取启动列表\"%1\"：%2。")
                    .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    list.original = file.readAll();
    list.updated = list.original;
    list.existed = true;
    return true;
}

ListChange StartListEditor::add(const QByteArray& id, const QList<pack::Role>& roles) const
{
    ListChange change;
    QList<Planned> lists;
    for (const pack::Role role : roles) {
        Planned list;
        if (!read(QDir(m_startFolder).filePath(pack::startListFileName(role)), list, change.error)) {
            change.ok = false;
            return change;
        }
        if (tokensOf(list.original).contains(id))
            continue;
        if (!list.updated.isEmpty() && !isSeparator(list.updated.back()))
            list.updated.append('\n');
        list.updated.append(id + '\n');
        lists.append(list);
    }
    if (!lists.isEmpty() && !QDir().mkpath(m_startFolder)) {
        change.ok = false;
        change.error = QStringLiteral("无法创建文件夹\"%1\"。").arg(QDir::toNativeSeparators(m_startFolder));
        return change;
    }
    return commit(lists);
}

ListChange StartListEditor::remove(const QByteArray& id) const
{
    ListChange change;
    QList<Planned> lists;
    for (const pack::Role role : pack::kAllRoles) {
        Planned list;
        if (!read(QDir(m_startFolder).filePath(pack::startListFileName(role)), list, change.error)) {
            change.ok = false;
            return change;
        }
        list.updated = withoutToken(list.original, id);
        if (list.updated != list.original)
            lists.append(list);
    }
    ListChange committed = commit(lists);
    committed.wasListed = !lists.isEmpty();
    return committed;
}

bool StartListEditor::isListed(const QByteArray& id) const
{
    for (const pack::Role role : pack::kAllRoles) {
        QFile file(QDir(m_startFolder).filePath(pack::startListFileName(role)));
        if (file.open(QIODevice::ReadOnly) && tokensOf(file.readAll()).contains(id))
            return true;
    }
    return false;
}

ListChange StartListEditor::commit(const QList<Planned>& lists) const
{
    ListChange change;
    for (int i = 0; i < lists.size(); ++i) {
        QString error;
        if (saveWholeFile(lists[i].path, lists[i].updated, error)) {
            change.changed.append(QFileInfo(lists[i].path).fileName());
            continue;
        }
        change.ok = false;
        change.error = QStringLiteral("无法写入启动列表\"%1\"：%2。")
                           .arg(QDir::toNativeSeparators(lists[i].path), error);
        // Put back what was written, so that the lists stay as they were.
        for (int j = 0; j < i; ++j) {
            QString ignored;
            if (lists[j].existed)
                saveWholeFile(lists[j].path, lists[j].original, ignored);
            else
                QFile::remove(lists[j].path);
        }
        change.changed.clear();
        return change;
    }
    return change;
}

} // namespace packsetup

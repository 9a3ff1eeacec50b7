#include "ExtensionChangeNotice.h"

#include "ExtensionLayout.h"
#include "platform/Platform.h"

#include <QFile>

namespace extensions {
namespace {

// The first format had no state line: its notices read as in progress.
const QByteArray kFirstFormatLine = "orva-extension-change 1";
const QByteArray kFirstLine = "orva-extension-change 2";
const QByteArray kChanging = "changing";
const QByteArray kDone = "done";
// More than any notice holds: it names one extension.
constexpr int kMaxNoticeBytes = 4096;

} // namespace

std::optional<ExtensionChangeNotice> ExtensionChangeNotice::read()
{
    const std::optional<QByteArray> bytes = platform::readFileStart(changeNoticePath(), kMaxNoticeBytes);
    if (!bytes)
        return std::nullopt;
    // "<first line>\n<pid> <start> <since>\n<id> <id> ...\n<changing|done>\n"
    const QList<QByteArray> lines = bytes->split('\n');
    const QList<QByteArray> numbers = lines.value(1).split(' ');
    const bool firstFormat = lines.value(0) == kFirstFormatLine;
    const QByteArray state = firstFormat ? kChanging : lines.value(3);
    ExtensionChangeNotice notice;
    bool valid = (firstFormat || lines.value(0) == kFirstLine) && lines.size() == (firstFormat ? 4 : 5) &&
                 lines.back().isEmpty() && numbers.size() == 3 && (state == kChanging || state == kDone);
    notice.done = state == kDone;
    bool ok = false;
    notice.changer.pid = numbers.value(0).toLongLong(&ok);
    valid = valid && ok;
    notice.changer.started = numbers.value(1).toULongLong(&ok);
    valid = valid && ok;
    notice.since = numbers.value(2).toLongLong(&ok);
    valid = valid && ok;
    for (const QByteArray& id : lines.value(2).split(' ')) {
        valid = valid && isExtensionId(id);
        notice.ids.append(id);
    }
    return valid ? std::optional<ExtensionChangeNotice>(notice) : std::nullopt;
}

bool ExtensionChangeNotice::write(QString& error) const
{
    const QByteArray bytes = kFirstLine + '\n' + QByteArray::number(changer.pid) + ' ' +
                             QByteArray::number(changer.started) + ' ' + QByteArray::number(since) + '\n' +
                             ids.join(' ') + '\n' + (done ? kDone : kChanging) + '\n';
    return platform::saveWholeFile(platform::processPath(changeNoticePath()), bytes, error);
}

void ExtensionChangeNotice::settle(bool changed)
{
    std::optional<ExtensionChangeNotice> notice = read();
    const platform::ProcessIdentity self = platform::currentProcessIdentity();
    if (!notice || notice->changer.pid != self.pid || notice->changer.started != self.started)
        return;
    QString error;
    notice->done = true;
    // A done mark that cannot be written leaves the pairs to the end of this process.
    if (changed)
        notice->write(error);
    else
        QFile::remove(platform::processPath(changeNoticePath()));
}

bool ExtensionChangeNotice::names(const QList<QByteArray>& pairIds) const
{
    for (const QByteArray& id : pairIds) {
        if (ids.contains(id))
            return true;
    }
    return false;
}

bool ExtensionChangeNotice::inProgress() const
{
    return !done && platform::processRuns(changer);
}

bool ExtensionChangeNotice::concerns(const QList<QByteArray>& pairIds, qint64 runStarted) const
{
    return runStarted < since && names(pairIds);
}

} // namespace extensions

#include "ExtensionChangeNotice.h"

#include "ExtensionLayout.h"
#include "platform/Platform.h"

namespace extensions {
namespace {

const QByteArray kFirstLine = "orva-extension-change 1";
// More than any notice holds: it names one extension.
constexpr int kMaxNoticeBytes = 4096;

} // namespace

std::optional<ExtensionChangeNotice> ExtensionChangeNotice::read()
{
    const std::optional<QByteArray> bytes = platform::readFileStart(changeNoticePath(), kMaxNoticeBytes);
    if (!bytes)
        return std::nullopt;
    // "<first line>\n<pid> <start> <since>\n<id> <id> ...\n"
    const QList<QByteArray> lines = bytes->split('\n');
    const QList<QByteArray> numbers = lines.value(1).split(' ');
    ExtensionChangeNotice notice;
    bool valid = lines.size() == 4 && lines[0] == kFirstLine && numbers.size() == 3 && lines[3].isEmpty();
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
                             ids.join(' ') + '\n';
    return platform::saveWholeFile(platform::processPath(changeNoticePath()), bytes, error);
}

bool ExtensionChangeNotice::concerns(const QList<QByteArray>& pairIds, qint64 runStarted) const
{
    if (runStarted >= since)
        return false;
    for (const QByteArray& id : pairIds) {
        if (ids.contains(id))
            return true;
    }
    return false;
}

} // namespace extensions

#include "PairLog.h"

#include "ExtensionLayout.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <QDir>
#include <QLoggingCategory>
#include <atomic>

namespace extensions {
namespace {

Q_LOGGING_CATEGORY(lcPairLog, PairLog::kLoggingCategory)
std::atomic<bool> g_skipReported{false};

} // namespace

qint64 PairLog::limitFromEnvironment()
{
    bool ok = false;
    const qint64 limit = qEnvironmentVariable(kLimitVariable).toLongLong(&ok);
    return ok && limit > 0 ? limit : kDefaultLimitBytes;
}

PairLog::PairLog(const QByteArray& listenerId, qint64 limitBytes)
    : m_listenerId(listenerId), m_limit(limitBytes), m_file(platform::processPath(logFilePath(listenerId)))
{}

void PairLog::note(const QString& text)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString time = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
    append((time + QLatin1Char(' ') + text + QLatin1Char('\n')).toUtf8());
}

void PairLog::append(const QByteArray& lines)
{
    for (int from = 0; from < lines.size();) {
        if (m_stuck || !open())
            return;
        // Its size counts what others wrote meanwhile (the control program).
        const qint64 size = m_file.size();
        int end = lines.size();
        if (size + (end - from) > m_limit) {
            const qint64 room = m_limit - size;
            const int cut = room > 0 ? lines.lastIndexOf('\n', from + static_cast<int>(room) - 1) : -1;
            if (cut >= from) {
                end = cut + 1;
            } else if (size > 0) {
                if (!moveFullLogAside())
                    return;
                continue;
            } else { // a line longer than the whole limit: only tests set one that small
                const int lineEnd = lines.indexOf('\n', from);
                end = lineEnd < 0 ? lines.size() : lineEnd + 1;
            }
        }
        if (m_file.write(lines.constData() + from, end - from) != end - from) {
            skip(m_file.errorString());
            m_file.close();
            return;
        }
        from = end;
    }
}

QString PairLog::pathForProgram()
{
    if (m_stuck || !open() || (m_file.size() >= m_limit && !moveFullLogAside()))
        return {};
    m_file.close();
    return m_file.fileName();
}

bool PairLog::open()
{
    if (m_file.isOpen())
        return true;
    QDir().mkpath(platform::processPath(logsFolderPath()));
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    skip(m_file.errorString());
    return false;
}

bool PairLog::moveFullLogAside()
{
    m_file.close();
    // The older one goes first: ext4 writes a file renamed over another out
    // to disk at once, which made every byte of a flooding listener a disk write.
    const QString full = platform::processPath(fullLogFilePath(m_listenerId));
    QFile::remove(full);
    if (!platform::moveFileOver(m_file.fileName(), full)) {
        m_stuck = true;
        skip(QStringLiteral("无法移到%1").arg(QString::fromLatin1(kFullLogSuffix)));
        return false;
    }
    return open();
}

void PairLog::skip(const QString& reason)
{
    if (g_skipReported.exchange(true))
        return;
    const QString message = QStringLiteral("无法写入日志\"%1\"：%2。日志暂不记录，程序照常运行。")
                                .arg(QDir::toNativeSeparators(m_file.fileName()), reason);
    qCWarning(lcPairLog, "%s", qUtf8Printable(message));
}

} // namespace extensions

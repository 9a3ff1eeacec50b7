#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace extensions {

// The log of one listener pair, Logs/<listener id>.log, UTF-8. ORVA, the
// launcher and packsetup each append to it: lines of the system's own
// (note) and the listener's output (append). A log that would grow past the
// limit first moves to <listener id>.1.log, replacing the one before, so
// that a pair holds at most about twice the limit on disk. A log that cannot
// be written (a full disk, an unwritable Logs/) is skipped, and the process
// says so once in its debug output: the pair runs on without it.
class PairLog
{
public:
    static constexpr qint64 kDefaultLimitBytes = qint64(1) << 20;
    // Sets a smaller limit, in bytes, for tests.
    static constexpr char kLimitVariable[] = "ORVA_LOG_LIMIT_BYTES";
    // The listener id whose log a launcher writes: set by ORVA for each
    // launcher alone, and taken away by the launcher before it starts the
    // pair's programs.
    static constexpr char kListenerVariable[] = "ORVA_PAIR_LOG";
    // The logging category of the one message that a log is skipped.
    static constexpr char kLoggingCategory[] = "orva.log";

    // The default limit, or the one kLimitVariable sets.
    static qint64 limitFromEnvironment();

    explicit PairLog(const QByteArray& listenerId, qint64 limitBytes = limitFromEnvironment());

    // A line of the system's own: the local time (ISO 8601), then `text`.
    void note(const QString& text);
    // Whole lines, each ending in a line break. Each write holds only whole
    // lines, so that programs writing to the log at once never cut into
    // each other's lines.
    void append(const QByteArray& lines);
    // The log's path for a program that writes to it itself (the control
    // program), once a full log has moved aside; empty when it is skipped.
    QString pathForProgram();

private:
    bool open();
    bool moveFullLogAside();
    void skip(const QString& reason);

    QByteArray m_listenerId;
    qint64 m_limit;
    QFile m_file;
    // A full log that could not move aside: nothing more is written by this
    // object, and the next start tries again.
    bool m_stuck = false;
};

} // namespace extensions

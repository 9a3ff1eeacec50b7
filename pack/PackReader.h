#pragma once

// One read of a pack file from its first byte to its last. The header is
// split off and checked; then the body goes through the archive reader,
// unpacked into a folder or only checked; every byte on the way also goes to
// the signature check. What is checked, verified and unpacked are thus the
// same bytes, read once: a file rewritten meanwhile can change what is read,
// never make the parts disagree.

#include "PackCheck.h"

#include <QFile>
#include <functional>
#include <memory>

namespace pack {

// Told the bytes of the pack file read so far and the file's size.
using ReadProgress = std::function<void(qint64 read, qint64 total)>;

class PackReader : private BodyStream
{
public:
    PackReader(const QString& path, const ArchiveLimits& limits = {});
    ~PackReader() override;
    PackReader(const PackReader&) = delete;
    PackReader& operator=(const PackReader&) = delete;

    void setProgress(ReadProgress progress) { m_progress = std::move(progress); }

    // Reads the header and checks it and the form of its signature. False
    // when the verdict is already a refusal.
    bool readHeader();

    // Reads the rest of the file: the body through the archive's rules,
    // written into `folder` when one is given (it must exist), then what
    // follows the archive; then the signature is verified. The body is read
    // under a refused header too, as far as the header ends, for a report.
    void readBody(const QString* folder);

    // The header, signature and archive as far as read, and the verdict:
    // the first problem in that order, the contents' rules last.
    const PackCheck& check() const { return m_check; }

private:
    qint64 next(const char** block) override;
    QString readError() const override { return m_readError; }
    // Reads the next block of the file into the buffer; its size, 0 at the end, -1 on failure.
    qint64 readBlock();

    QString m_path;
    ArchiveLimits m_limits;
    ReadProgress m_progress;
    QFile m_file;
    qint64 m_size = 0;
    qint64 m_read = 0;
    qint64 m_reported = 0;
    QByteArray m_buffer;
    QByteArray m_pending; // body bytes read with the header's last block
    bool m_pendingSent = false;
    QString m_readError;
    std::unique_ptr<SignatureCheck> m_signature;
    PackCheck m_check;
};

} // namespace pack

#include "PackReader.h"

#include "HeaderSplitter.h"

#include <QFileInfo>

namespace pack {
namespace {

// Progress is told every this many blocks: a megabyte at the usual size.
constexpr qint64 kBlocksPerProgressStep = 16;

Outcome signatureVerdict(SignatureProblemCode problem)
{
    return Outcome{problem == SignatureProblemCode::CannotRead ? ExitCode::PackUnreadable
                                                               : ExitCode::SignatureRefused,
                   signatureProblemMessage(problem)};
}

} // namespace

PackReader::PackReader(const QString& path, const ArchiveLimits& limits)
    : m_path(path), m_limits(limits), m_file(path)
{}

PackReader::~PackReader() = default;

bool PackReader::readHeader()
{
    HeaderProblem problem;
    // A FIFO would block the installer; a folder has no bytes.
    if (!QFileInfo(m_path).isFile() || !m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        problem.code = HeaderProblemCode::CannotOpen;
    } else {
        m_size = m_file.size();
        if (m_progress)
            m_progress(0, m_size);
    }
    HeaderSplitter splitter;
    QByteArray header;
    while (problem.ok() && !splitter.finished()) {
        const qint64 got = readBlock();
        if (got < 0)
            problem.code = HeaderProblemCode::CannotOpen;
        if (got <= 0)
            break;
        const qint64 taken = splitter.feed(m_buffer.constData(), got);
        if (header.size() + taken > kMaxHeaderBytes) {
            problem.code = HeaderProblemCode::TooLarge;
            break;
        }
        header.append(m_buffer.constData(), static_cast<int>(taken));
        if (splitter.finished()) {
            const qint64 body = taken + (splitter.endedAtSeparator() ? 1 : 0);
            m_pending = QByteArray(m_buffer.constData() + body, static_cast<int>(got - body));
        }
    }
    CheckedHeader& checked = m_check.header;
    if (problem.ok())
        checked = checkHeader(header);
    else
        checked.problem = problem;
    if (problem.ok() && splitter.finished())
        checked.bodyOffset = header.size() + (splitter.endedAtSeparator() ? 1 : 0);
    checked.bytes = header;
    if (!checked.ok()) {
        m_check.verdict = Outcome{exitCodeFor(checked.problem), headerProblemMessage(checked.problem)};
        return false;
    }

    m_signature = std::make_unique<SignatureCheck>(header, checked.info);
    m_signature->add(header.constData(), header.size());
    if (splitter.endedAtSeparator())
        m_signature->add("~", 1);
    if (m_signature->problem() != SignatureProblemCode::None) {
        m_check.signature.problem = m_signature->problem();
        m_check.verdict = signatureVerdict(m_signature->problem());
    }
    return m_check.verdict.ok();
}

void PackReader::readBody(const QString* folder)
{
    const bool headerOk = m_check.header.ok();
    if (m_check.header.bodyOffset < 0) {
        if (headerOk)
            m_check.archive.problem.code = ArchiveProblemCode::NoBody;
    } else {
        PackArchive archive(*this, m_limits);
        m_check.archive = folder ? archive.extractTo(*folder) : archive.scan();
        if (headerOk && m_check.archive.ok())
            m_check.archive.problem = checkPackContents(m_check.archive.entries, m_check.header.info.name);
    }
    if (!headerOk)
        return;

    // The signature covers every byte to the end of the file, also those the
    // archive reader had no use for (or stopped before, at a problem of its
    // own, when a changed byte is the likelier cause).
    if (m_signature->expectsBytes()) {
        const char* block = nullptr;
        qint64 got = 0;
        while ((got = next(&block)) > 0) {
        }
        m_check.signature =
            got < 0 ? PackSignature{SignatureProblemCode::CannotRead, std::nullopt} : m_signature->finish();
    }
    if (!m_check.signature.ok())
        m_check.verdict = signatureVerdict(m_check.signature.problem);
    else if (!m_check.archive.ok())
        m_check.verdict =
            Outcome{exitCodeFor(m_check.archive.problem), archiveProblemMessage(m_check.archive.problem)};
}

qint64 PackReader::next(const char** block)
{
    if (!m_pendingSent) {
        m_pendingSent = true;
        if (!m_pending.isEmpty()) {
            *block = m_pending.constData();
            if (m_signature)
                m_signature->add(m_pending.constData(), m_pending.size());
            return m_pending.size();
        }
    }
    const qint64 got = readBlock();
    *block = m_buffer.constData();
    if (got > 0 && m_signature)
        m_signature->add(m_buffer.constData(), got);
    return got;
}

qint64 PackReader::readBlock()
{
    if (m_buffer.isEmpty())
        m_buffer.resize(static_cast<int>(qBound(qint64(1), m_limits.readBlockBytes, qint64(1) << 30)));
    const qint64 got = m_file.read(m_buffer.data(), m_buffer.size());
    if (got < 0) {
        m_readError = m_file.errorString();
        return -1;
    }
    m_read += got;
    if (m_progress && (m_read - m_reported >= m_buffer.size() * kBlocksPerProgressStep ||
                       (got == 0 && m_reported < m_read))) {
        m_reported = m_read;
        m_progress(m_read, m_size);
    }
    return got;
}

} // namespace pack

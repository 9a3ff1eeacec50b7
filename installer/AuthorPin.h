#pragma once

// The author key an installed extension was installed with, kept beside its
// manifest, and the rule for updates: once an extension came signed, only
// packs signed by the same key replace it.

#include "pack/AuthorKey.h"
#include "pack/Outcome.h"

#include <QByteArray>
#include <optional>

namespace installer {

struct AuthorPin
{
    enum class State { None, Pinned, Unreadable };
    State state = State::None;
    std::optional<pack::AuthorKey> key; // Pinned

    // The pin of the extension installed in `folder`.
    static AuthorPin read(const QString& folder);
    // The file's content for `key`.
    static QByteArray fileContent(const pack::AuthorKey& key);

    // Whether a pack by `signer` may replace the extension "<name>" (<id>);
    // AuthorChanged with a message naming both keys when not.
    pack::Outcome admits(const std::optional<pack::AuthorKey>& signer, const QByteArray& name,
                         const QByteArray& id) const;
};

} // namespace installer

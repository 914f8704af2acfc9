// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "removal.h"

bool isWorthRemoving(const QString &candidate, const FileIdentity &kept)
{
    // A candidate whose identity cannot be read, or that names nothing, stays.
    FileIdentity identity;
    return readIdentity(candidate, &identity) && identity != kept;
}

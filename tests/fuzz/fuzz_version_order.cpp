// Fuzz target for the version ordering: the input is two version texts split
// at the first newline, any bytes at all. The ordering must not crash and must
// stay reflexive and total (of two versions, one is the same as or newer than
// the other).

#include "version_order.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const int cut = bytes.indexOf('\n');
    const QString first = QString::fromUtf8(cut < 0 ? bytes : bytes.left(cut));
    const QString second = cut < 0 ? QString() : QString::fromUtf8(bytes.mid(cut + 1));
    if (!isSameOrNewer(first, first) || !isSameOrNewer(second, second))
        abort();
    if (!isSameOrNewer(first, second) && !isSameOrNewer(second, first))
        abort();
    return 0;
}

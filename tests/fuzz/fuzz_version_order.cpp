// Fuzz target for the version ordering: the input is two version texts split
// at the first newline, any bytes at all. The ordering must not crash, must
// agree with the plain way of comparing (split both at every dot, compare the
// components' QString::toInt values, missing ones being 0), kept here as the
// reference, and must stay reflexive and total.

#include "version_order.h"

#include <QByteArray>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

static bool referenceIsSameOrNewer(const QString &current, const QString &candidate)
{
    const QStringList a = current.split(QLatin1Char('.'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    const QStringList b = candidate.split(QLatin1Char('.'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    for (int i = 0; i < qMax(a.size(), b.size()); ++i) {
        const int x = i < a.size() ? a.at(i).toInt() : 0;
        const int y = i < b.size() ? b.at(i).toInt() : 0;
        if (x != y)
            return y > x;
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const int cut = bytes.indexOf('\n');
    const QString first = QString::fromUtf8(cut < 0 ? bytes : bytes.left(cut));
    const QString second = cut < 0 ? QString() : QString::fromUtf8(bytes.mid(cut + 1));
    const bool forward = isSameOrNewer(first, second);
    const bool backward = isSameOrNewer(second, first);
    if (forward != referenceIsSameOrNewer(first, second) || backward != referenceIsSameOrNewer(second, first))
        abort();
    if (!isSameOrNewer(first, first) || !isSameOrNewer(second, second) || !(forward || backward))
        abort();
    return 0;
}

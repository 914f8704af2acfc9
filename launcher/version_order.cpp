#include "version_order.h"

#include <QStringRef>
#include <QVector>

static int componentValue(const QVector<QStringRef> &components, int index)
{
    // A component the version does not have, or one that is not a number, counts as 0.
    return index < components.size() ? components.at(index).toInt() : 0;
}

bool isSameOrNewer(const QString &current, const QString &candidate)
{
    // References into the texts, so no component is copied; QStringRef::toInt
    // reads a component exactly as QString::toInt would.
    const QVector<QStringRef> currentComponents = current.splitRef(QLatin1Char('.'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    const QVector<QStringRef> candidateComponents = candidate.splitRef(QLatin1Char('.'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    const int count = qMax(currentComponents.size(), candidateComponents.size());
    for (int i = 0; i < count; ++i) {
        const int currentValue = componentValue(currentComponents, i);
        const int candidateValue = componentValue(candidateComponents, i);
        if (candidateValue != currentValue)
            return candidateValue > currentValue;
    }
    return true;
}

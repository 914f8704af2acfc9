// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#include "version_order.h"

#include <QStringRef>

// Returns the value of the dot-separated component of `version` that starts
// at `*position`, and moves `*position` past it and its dot. Past the last
// component the value is 0. A component that is not a valid base-10 int
// counts as 0; QStringRef::toInt reads it exactly as QString::toInt would.
static int takeComponentValue(const QString &version, int *position)
{
    if (*position > version.size())
        return 0;
    int end = version.indexOf(QLatin1Char('.'), *position);
    if (end < 0)
        end = version.size();
    // Up to nine plain digits always make a valid int: read them directly,
    // which is most components; anything else goes to Qt's full reading.
    int value = 0;
    int digit = *position;
    while (digit < end && end - *position <= 9 && version.at(digit) >= QLatin1Char('0') && version.at(digit) <= QLatin1Char('9'))
        value = value * 10 + (version.at(digit++).unicode() - '0');
    if (digit < end || end == *position)
        value = version.midRef(*position, end - *position).toInt();
    *position = end + 1;
    return value;
}

bool isSameOrNewer(const QString &current, const QString &candidate)
{
    // Walking the texts in place, so no component is copied. A text is used up
    // once its position passes its end; even the empty text has one (empty)
    // component, as splitting it would give.
    int currentPosition = 0;
    int candidatePosition = 0;
    while (currentPosition <= current.size() || candidatePosition <= candidate.size()) {
        const int currentValue = takeComponentValue(current, &currentPosition);
        const int candidateValue = takeComponentValue(candidate, &candidatePosition);
        if (candidateValue != currentValue)
            return candidateValue > currentValue;
    }
    return true;
}

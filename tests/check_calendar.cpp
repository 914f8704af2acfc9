// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

// The toolkit's calendar code, replaced by Qt 6's adapted to Qt 5.15: a few
// rows of calendar arithmetic and look-up by name and system, run against the
// toolkit itself (under Wine). It checks the adaptation, not Qt's arithmetic.

#include <QCalendar>
#include <QDate>
#include <QStringList>

#include <cstdio>

int main()
{
    const QCalendar gregorian, julian(QCalendar::System::Julian), milankovic(QCalendar::System::Milankovic);
    const QDate reform = gregorian.dateFromParts(1582, 10, 15);
    const struct { const char *name; QString actual, expected; } rows[] = {
        {"default is Gregorian", gregorian.name() + QString::number(gregorian.isGregorian()), "Gregorian1"},
        {"February 2023, 2024, 1900", QString("%1 %2 %3").arg(gregorian.daysInMonth(2, 2023))
             .arg(gregorian.daysInMonth(2, 2024)).arg(gregorian.daysInMonth(2, 1900)), "28 29 28"},
        {"Julian 1900 is leap", QString::number(julian.daysInMonth(2, 1900)), "29"},
        {"Milankovic 2800 is not, 2400 is", QString("%1 %2").arg(milankovic.daysInMonth(2, 2800))
             .arg(milankovic.daysInMonth(2, 2400)), "28 29"},
        {"reform day in Julian", QString("%1-%2-%3").arg(julian.partsFromDate(reform).year)
             .arg(julian.partsFromDate(reform).month).arg(julian.partsFromDate(reform).day), "1582-10-5"},
        {"same day both ways", QString::number(julian.dateFromParts(1582, 10, 5) == reform), "1"},
        {"day of week", QString::number(julian.dayOfWeek(reform)), "5"},
        {"by name, any case", QCalendar(QStringView(u"JULIAN")).name() + QCalendar(QLatin1String("gregory")).name(),
         "JulianGregorian"},
        {"unknown name", QString::number(QCalendar(QLatin1String("lunar-x")).isValid()), "0"},
        {"names listed", QString::number(QCalendar::availableCalendars().contains("Milankovic")), "1"},
    };
    int failed = 0;
    for (const auto &row : rows) {
        if (row.actual != row.expected) {
            std::printf("FAIL %s: expected %s, got %s\n", row.name, qPrintable(row.expected), qPrintable(row.actual));
            ++failed;
        }
    }
    std::printf("%d passed, %d failed\n", int(sizeof rows / sizeof *rows) - failed, failed);
    return failed != 0;
}

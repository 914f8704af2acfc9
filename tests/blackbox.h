#ifndef BLACKBOX_H
#define BLACKBOX_H

// Helpers of the black-box tests, which read what the stand-in releases
// (standin.c) record in their log.

#include <QList>
#include <QString>
#include <QStringList>

using Records = QList<QStringList>;

// Returns the records of the stand-ins' log, one string list each; an absent log gives none.
Records readRecords(const QString &logPath);

// Returns the records as one line of text for failure messages.
QString describeRecords(const Records &records);

// Waits until the log holds at least `expected` records (30 s at most), then
// `graceMs` more so that a start that should not happen has time to show;
// returns the records then.
Records awaitRecords(const QString &logPath, int expected, int graceMs);

// Returns the names of every entry of `directory`, hidden ones included, sorted.
QStringList entriesOf(const QString &directory);

#endif

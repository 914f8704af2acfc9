#include "blackbox.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

Records readRecords(const QString &logPath)
{
    Records records;
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return records;
    // A count line, then each field as "<byte length>:<bytes>\n".
    while (!file.atEnd()) {
        const int count = file.readLine().trimmed().toInt();
        QStringList fields;
        for (int i = 0; i < count && !file.atEnd(); ++i) {
            QByteArray length;
            char c;
            while (file.getChar(&c) && c != ':')
                length.append(c);
            fields.append(QString::fromUtf8(file.read(length.toInt())));
            file.getChar(&c);
        }
        records.append(fields);
    }
    return records;
}

QString describeRecords(const Records &records)
{
    QStringList lines;
    for (const QStringList &record : records)
        lines.append(record.join(QStringLiteral(" | ")));
    return lines.isEmpty() ? QStringLiteral("(nothing)") : lines.join(QStringLiteral("; "));
}

Records awaitRecords(const QString &logPath, int expected, int graceMs)
{
    QDeadlineTimer deadline(30000);
    while (readRecords(logPath).size() < expected && !deadline.hasExpired())
        QThread::msleep(5);
    QThread::msleep(graceMs);
    return readRecords(logPath);
}

QStringList entriesOf(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                     QDir::Name);
}

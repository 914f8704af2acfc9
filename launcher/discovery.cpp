#include "discovery.h"

#include "version_order.h"

QString releaseFileName(const QString &version)
{
    return QStringLiteral("Pellimantor.") + version + QStringLiteral(".exe");
}

QStringList listReleases(const QDir &directory)
{
    // NoFilter and NoSort defer to the directory object's own defaults.
    return directory.entryList(QStringList(QStringLiteral("Pellimantor*")), QDir::NoFilter, QDir::NoSort);
}

static QString versionTextOf(const QStringList &parts)
{
    // The first part (product word) and the last (extension) are dropped, and a
    // separator goes in only once the text is non-empty, so leading empty parts vanish.
    QString version;
    for (int i = 1; i < parts.size() - 1; ++i) {
        if (!version.isEmpty())
            version.append(QLatin1Char('.'));
        version.append(parts.at(i));
    }
    return version;
}

void selectRelease(const QStringList &listedNames, QString *chosenVersion, QStringList *candidates)
{
    for (const QString &name : listedNames) {
        const QStringList parts = name.split(QLatin1Char('.'), Qt::KeepEmptyParts, Qt::CaseSensitive);
        // The launcher's own "Pellimantor.exe" splits into two parts and carries no version.
        if (parts.size() <= 2)
            continue;
        const QString version = versionTextOf(parts);
        candidates->append(releaseFileName(version));
        if (isSameOrNewer(*chosenVersion, version))
            *chosenVersion = version;
    }
}

// Pellimantor launcher: starts the newest release found in the working
// directory and deletes the releases it supersedes. It takes no arguments,
// prints nothing and always exits with status 1.

#include "discovery.h"
#include "launch.h"
#include "removal.h"

#include <QDir>
#include <QString>
#include <QStringList>

int main(int, char **)
{
    const QDir directory(QStringLiteral("."));
    QString chosenVersion = QStringLiteral("0.0");
    QStringList candidates;

    selectRelease(listReleases(directory), &chosenVersion, &candidates);
    removeSuperseded(candidates, chosenVersion);
    // Whether the start succeeded changes nothing: there is no one to tell.
    startRelease(chosenVersion);
    return 1;
}

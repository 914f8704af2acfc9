#ifndef REMOVAL_H
#define REMOVAL_H

#include <QString>
#include <QStringList>

// Deletes, in list order, every candidate release file other than the one of
// `chosenVersion` (the kept release), relative to the working directory.
// Removes nothing at all when the kept release is not an existing file (a
// folder does not count), so that superseded builds are never deleted in a
// run that has nothing to start. A candidate that reaches the kept release's
// own file is never removed: through another spelling (letter case on a file
// system that ignores it) or through a link either way (so the target of a
// kept link stays). Failed removals are ignored. Unix decides "the same file"
// by device and inode (so a hard link of the kept release stays too) and asks
// for no removal of a name that reaches nothing; Windows compares canonical
// paths, ignoring case.
void removeSuperseded(const QStringList &candidates, const QString &chosenVersion);

#endif

// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

/* The benchmark's floor: the launcher's job done with plain POSIX calls and
 * nothing else, to show what the job costs at the least. It lists ".", keeps
 * the names that begin with "pellimantor" in any letter case, sorts them by
 * their lower-cased names, takes the middle dot-separated parts as the
 * version, picks the newest (the later of equals), starts the kept release
 * "Pellimantor.<version>.exe" detached and, once it has started, removes the
 * other release names built that way that do not reach the kept file, and
 * exits with status 1. Used only by scripts/bench. */

#define _GNU_SOURCE /* pipe2 */

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static int byLowerName(const void *a, const void *b)
{
    return strcasecmp(*(char *const *)a, *(char *const *)b);
}

static long componentValue(const char *text, size_t length)
{
    char buffer[64];
    if (length == 0 || length >= sizeof buffer)
        return 0;
    memcpy(buffer, text, length);
    buffer[length] = '\0';
    char *end;
    errno = 0;
    long value = strtol(buffer, &end, 10);
    while (isspace((unsigned char)*end))
        ++end;
    return (*end || errno || value > INT_MAX || value < INT_MIN) ? 0 : value;
}

/* Whether `candidate` is the same version as `current` or newer. A text is
 * used up once its position passes its end; even the empty text has one
 * (empty) component. */
static int isSameOrNewer(const char *current, const char *candidate)
{
    size_t a = 0, b = 0, lengthA = strlen(current), lengthB = strlen(candidate);
    while (a <= lengthA || b <= lengthB) {
        long x = 0, y = 0;
        if (a <= lengthA) {
            size_t n = strcspn(current + a, ".");
            x = componentValue(current + a, n);
            a += n + 1;
        }
        if (b <= lengthB) {
            size_t n = strcspn(candidate + b, ".");
            y = componentValue(candidate + b, n);
            b += n + 1;
        }
        if (x != y)
            return y > x;
    }
    return 1;
}

/* The middle parts of a name, rejoined; NULL for a name of two parts or fewer. */
static char *versionText(const char *name)
{
    const char *first = strchr(name, '.'), *last = strrchr(name, '.');
    if (!first || first == last)
        return NULL;
    while (*first == '.' && first < last)
        ++first;
    size_t length = first < last ? (size_t)(last - first) : 0;
    char *version = malloc(length + 1);
    memcpy(version, first, length);
    version[length] = '\0';
    return version;
}

static char *releaseName(const char *version)
{
    char *name = malloc(strlen(version) + 17);
    sprintf(name, "Pellimantor.%s.exe", version);
    return name;
}

/* Starts `path` detached (a double fork) and returns whether it started: a
 * failed exec reports itself through a pipe that a successful one closes. */
static int startDetached(const char *path)
{
    int report[2];
    char failed = 1;
    if (pipe2(report, O_CLOEXEC) != 0)
        return 0;
    pid_t child = fork();
    if (child == 0) {
        pid_t grandchild = fork();
        if (grandchild == 0) {
            char *arguments[] = {(char *)path, NULL};
            execv(path, arguments);
        }
        if (grandchild <= 0 && write(report[1], &failed, 1) < 0)
            _exit(1);
        _exit(0);
    }
    close(report[1]);
    if (child > 0)
        waitpid(child, NULL, 0);
    ssize_t reported = child > 0 ? read(report[0], &failed, 1) : 1;
    close(report[0]);
    return reported == 0;
}

int main(void)
{
    size_t count = 0, capacity = 64;
    char **names = malloc(capacity * sizeof *names);
    DIR *dir = opendir(".");
    for (struct dirent *entry; dir && (entry = readdir(dir));) {
        if (strncasecmp(entry->d_name, "pellimantor", 11) != 0)
            continue;
        if (count == capacity)
            names = realloc(names, (capacity *= 2) * sizeof *names);
        names[count++] = strdup(entry->d_name);
    }
    if (dir)
        closedir(dir);
    qsort(names, count, sizeof *names, byLowerName);

    char *chosen = strdup("0.0");
    char **candidates = malloc((count + 1) * sizeof *candidates);
    size_t candidateCount = 0;
    for (size_t i = 0; i < count; ++i) {
        char *version = versionText(names[i]);
        if (!version)
            continue;
        candidates[candidateCount++] = releaseName(version);
        if (isSameOrNewer(chosen, version)) {
            free(chosen);
            chosen = version;
        } else {
            free(version);
        }
    }

    char *kept = releaseName(chosen);
    char path[PATH_MAX];
    snprintf(path, sizeof path, "./%s", kept);
    struct stat keptStatus, status;
    if (startDetached(path) && stat(kept, &keptStatus) == 0) {
        for (size_t i = 0; i < candidateCount; ++i) {
            if (strcmp(candidates[i], kept) == 0 || (lstat(candidates[i], &status) != 0 && errno == ENOENT))
                continue;
            if (stat(candidates[i], &status) == 0 && status.st_ino == keptStatus.st_ino
                && status.st_dev == keptStatus.st_dev)
                continue;
            unlink(candidates[i]);
        }
    }
    return 1;
}

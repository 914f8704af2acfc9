// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

/* Preloaded into the launcher: when it forks to start a release, first
 * renames the file PELLIMANTOR_SWAP_FROM over PELLIMANTOR_SWAP_TO, as an
 * updater's rename between the launcher's check and its start would. */

#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

pid_t fork(void)
{
    const char *from = getenv("PELLIMANTOR_SWAP_FROM"), *to = getenv("PELLIMANTOR_SWAP_TO");
    if (from && to)
        rename(from, to);
    return ((pid_t(*)(void))dlsym(RTLD_NEXT, "fork"))();
}

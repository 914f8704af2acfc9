// SPDX-FileCopyrightText: 2026 The Pellimantor developers
// SPDX-License-Identifier: MIT

#ifndef MARK_H
#define MARK_H

#include "identity.h"

#include <QtGlobal>

// The mark every build of the launcher carries, and nothing else does: an ELF
// note of name "Pellimantor", type 0x50454c4c and descriptor "launcher", in the byte
// order of the program that carries it. ELF programs hold it in a PT_NOTE
// segment, PE programs as the whole of a section named ".plmark". Fixed for
// good: a launcher that carries another mark is another program to this one.
struct LauncherMark
{
    quint32 nameSize;
    quint32 descriptorSize;
    quint32 type;
    char name[12];
    char descriptor[8];
};
constexpr LauncherMark launcherMark = {12, 8, 0x50454c4c, "Pellimantor", {'l', 'a', 'u', 'n', 'c', 'h', 'e', 'r'}};

enum class Mark { Absent, Present, Unknown };

// Reads whether `file`, held, of `size` bytes, is an ELF or PE program that
// carries the launcher's mark where its headers lead. Unknown when its
// headers are cut short or cannot be read; only what `size` covers is read.
Mark readMark(HeldFile file, qint64 size);

#endif

#pragma once

#include "link/fileinfo.h"

#include <QByteArrayView>

// The grammar of a "mmem:cat?" reply, read in place from the reply's bytes
// (Latin-1, one byte one character) without copying its rest: the memory
// figures "used,free", then entries `,"NAME",TYPE,SIZE`, and nothing else.
// Whatever stands after the figures and is not a whole entry (a name without
// quotes, text after the figures or after an entry, a reply that ends in the
// middle of an entry or just after its comma) is no entry and no end: a
// listing holding it cannot be the folder. Blanks at the end are no text.

enum class CatalogStep
{
    Entry,     // an entry was read
    End,       // the reply is over: the listing is complete
    NotAnEntry // text that is not a whole entry
};

// Reads "used,free" at the start of the reply; `pos` then stands after them.
// False, with nothing changed, when two numbers are not there.
bool ReadCatalogFigures(QByteArrayView reply, double& used, double& freeBytes, qsizetype& pos);

// Reads the entry at `pos` (which stands after the figures or after an
// entry) into `entry` and moves `pos` past it. A name holding "/" is a folder
// named by the part before it. An entry is NotAnEntry when its name is empty,
// holds a comma or a control character, its type a quote or a control
// character, or its size is not a byte count (a fraction, a sign, 0x64, ...):
// a wrong size would fetch a wrong file. `pos` moves only with an entry.
CatalogStep ReadCatalogEntry(QByteArrayView reply, qsizetype& pos, CFileInfo& entry);

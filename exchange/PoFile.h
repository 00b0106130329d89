#pragma once
// A language's rows as a gettext PO file, written and read through the
// gettext library Debian ships (libgettextpo), never by a parser of our own
// (docs/exchange.md): msgctxt "PROGRAM/COMPONENT", msgid the source text,
// msgstr the translation, "fuzzy" for a doubtful row, an extracted comment
// "id: u..." with the row's stable id, and the language and export time in
// the header.
#include "ExchangeTypes.h"
#include "XliffWriter.h"

#include <string>
#include <vector>

namespace trd::exchange {

// Writes the file at `path` (UTF-8 path), on the disk when it returns, as the
// XLIFF files are. Throws FileError when gettext cannot write it.
// `pieces` 0 lets a large file be written in two halves on two threads, 1 keeps
// one writer; either way the bytes are the same.
void writePo(const ExportHeader& header, const std::vector<Row>& rows, const std::string& path, int pieces = 0);

// Reads the PO file at `path`, whose whole content is `bytes` (checked for
// UTF-8 first, and searched for the lines that gettext does not report).
// Throws FileError with the line and reason for a file gettext refuses, a
// charset other than UTF-8, or an id used twice.
Document readPo(const std::string& path, std::string_view bytes);

} // namespace trd::exchange

#pragma once

#include "cli/buildrequest.h"
#include "cli/options.h"
#include "request/request.h"

#include <QString>
#include <QStringList>

namespace qm {
namespace cli {

// Reads the font back out of the output just written (the -o file, the xbf-bin pair, or
// the text sent to standard output), draws the sample and saves it as the --preview PNG;
// the file is replaced only by a complete picture. False with *error when the output
// cannot be read as a font or the picture cannot be written; *notes gets the sample's
// characters that the font lacks and what the drawing noticed.
bool writePreview(const Options &options, const PreparedConversion &prepared,
                  const ConversionResult &result, QStringList *notes, QString *error);

// --preview-file: reads an existing output (the .c, and the --bin of the XBF bin kind)
// through the same reader and draws --preview-text, or the first characters the font
// lists, into the --preview PNG. The exit status: 0 drawn, 2 an input file is missing,
// 1 it cannot be read as a font or the picture cannot be written (*error says why).
int writePreviewOfFile(const Options &options, QStringList *notes, QString *error);

} // namespace cli
} // namespace qm

#pragma once

#include "cli/options.h"
#include "request/request.h"

#include <QFont>
#include <QString>
#include <QStringList>

namespace qm {
namespace cli {

// The icon font and catalogue, loaded the way the window loads them at start.
struct IconSupport {
    QFont font;
    QString catalogue;
    bool fontLoaded = false;
};
IconSupport loadIconSupport();

// A request ready to run, with notes for the user about questionable options.
struct PreparedConversion {
    GeneratorKind kind = GeneratorKind::SortedInternal;
    ConversionRequest request;
    QStringList warnings;
    QString previewSample;   // --preview-text, or the first characters asked for
};

// The window's option texts and indexes for an output type.
int typeIndex(OutputType type);
QString typeText(OutputType type);  // "内部字体", "XBF字体,内部大数组", "XBF字体,外部bin文件"
GeneratorKind generatorFor(const Options &options);

// `text` as the window's plain-text panes hold it after typing or pasting: line and
// paragraph separators become U+000A (a CR LF pair one), a no-break space a space.
QString asPaneText(const QString &text);

// The characters of every --text, then of every --text-file (a file, a pipe, or "-"
// for standard input, decoded as the window's import decodes), as the input pane would
// hold them, then the sets and ranges asked for. False with *error for a folder, a file
// that cannot be read or that is not text.
bool gatherInputText(const Options &options, QString *text, QString *error);

// The conversion font for --font/--style/--size; registers a font file when one is
// named. Needs a QGuiApplication. False with *error for a missing or unusable file.
bool buildConversionFont(const Options &options, QFont *font, QStringList *warnings,
                         QString *error);

// Builds the request exactly as the window does for the same options, with the window's
// refusals (empty set, empty font name, empty include text) and the command line's own
// checks. Needs a QGuiApplication. On false, *error is the message for the user.
bool buildRequest(const Options &options, const IconSupport &icons, PreparedConversion *out,
                  QString *error);

} // namespace cli
} // namespace qm

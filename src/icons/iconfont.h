#pragma once

#include <QFont>
#include <QString>

class QIODevice;
class QTextStream;

namespace qm {

// Where the window has always looked for the icon font and its stylesheet,
// relative to the working directory.
QString iconFontRelativePath();        // "./awesome/fonts/fontawesome-webfont.ttf"
QString iconStylesheetRelativePath();  // "./awesome/css/font-awesome.css"

// The first of: the relative path as given, the same path beside the executable,
// the copy of the Debian package fonts-font-awesome. When none exists the relative
// path is returned, so that loading fails the way it always has.
QString iconFontPath();
QString iconStylesheetPath();

// Registers the icon font and returns `base` with its family set to the first family
// the file provides. A file that does not register logs "fontawesome false" and
// leaves `base` as it is; so does a file without family names.
QFont loadIconFont(const QString &path = iconFontPath(), const QFont &base = QFont());

// The icon catalogue: one UTF-16 unit per icon, in file order, repeats kept. Only lines
// containing "content" count; the first "f" on such a line starts up to four
// hexadecimal digits. Anything that does not parse is skipped.
QString parseIconCatalogue(QTextStream &stream);
QString parseIconCatalogue(QIODevice *device);
// Empty when the file cannot be read.
QString readIconCatalogue(const QString &path = iconStylesheetPath());

} // namespace qm

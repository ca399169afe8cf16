#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace qmtest {

struct CRun {
    bool compiled = false;
    QString compileLog;   // gcc's messages (warnings too)
    int exitCode = -1;
    QByteArray output;    // standard output of the program
    QString errors;       // standard error of the program
};

// Folder of a stand-in LVGL header set: "v6" (6.1), "v7" (7.11), "v8.0" (8.0 and 8.1),
// "v8.3" (8.2 and 8.3), "v9.0", "v9.1", "v9.2", "v9.3" (9.3 to 9.5) with lvgl.h, or "v5"
// with lv_misc/lv_font.h.
QString lvglIncludeDir(const QString &variant);

// Writes `files` (name -> content) into a fresh temporary folder, compiles every *.c
// with the given include folders and flags, and runs the program in that folder. Test
// code may read files placed there through `files` too. `standard` is a C standard
// for gcc ("c99", "c11", "c2x") or a C++ one ("c++17"), for which g++ compiles the
// same *.c files as C++. With -fsyntax-only among the flags nothing is built or run.
CRun compileAndRun(const QMap<QString, QByteArray> &files, const QStringList &includeDirs,
                   const QStringList &extraFlags = {}, const QStringList &runArgs = {},
                   const QString &standard = QStringLiteral("c99"));

// One build for compileAndRunAll, with compileAndRun's arguments.
struct CBuild {
    QMap<QString, QByteArray> files;
    QStringList includeDirs;
    QStringList extraFlags;
    QStringList runArgs;
    QString standard = QStringLiteral("c99");
};

// The builds side by side, as many at a time as there are cores; the results in the
// order of `builds`.
QList<CRun> compileAndRunAll(const QList<CBuild> &builds);

// Several generated files (font name -> text) as one translation unit, so that one
// compiler process builds them all. Each file keeps its own file-local names apart by
// taking its font name as a prefix (static objects and functions, typedefs; members
// reached through "." or "->" keep theirs); a name with external linkage other than
// the font object is left as it is, so that two files defining it collide here as they
// would at the user's link. Files that include system headers come last, so that no
// other file compiles only thanks to their includes.
QByteArray oneTranslationUnit(const QMap<QString, QString> &files);

// A C text without its comments and include lines.
QString codeOf(QString text);

// The names a C text defines at file scope, from objects and functions ("static const
// uint8_t glyph_bitmap[] = {") and typedefs ("}x_header_t;"), with the type each
// definition starts with.
QMap<QString, QString> fileScopeNames(const QString &text);

// Parses lines "key value value ..." printed by a test program into a map of key -> values.
QMap<QString, QStringList> parseKeyedLines(const QByteArray &output);

} // namespace qmtest

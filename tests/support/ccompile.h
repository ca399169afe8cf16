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

// Folder of a stand-in LVGL header set: "v6", "v8" (lvgl.h) or "v5" (lv_misc/lv_font.h).
QString lvglIncludeDir(const QString &variant);

// Writes `files` (name -> content) into a fresh temporary folder, compiles every *.c
// with gcc -std=c99 and the given include folders and flags, and runs the program
// in that folder. Test code may read files placed there through `files` too.
CRun compileAndRun(const QMap<QString, QByteArray> &files, const QStringList &includeDirs,
                   const QStringList &extraFlags = {}, const QStringList &runArgs = {});

// Parses lines "key value value ..." printed by a test program into a map of key -> values.
QMap<QString, QStringList> parseKeyedLines(const QByteArray &output);

} // namespace qmtest

#include "ccompile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace qmtest {

QString lvglIncludeDir(const QString &variant)
{
    return QStringLiteral(QM_TEST_LVGL_DIR) + QLatin1Char('/') + variant;
}

CRun compileAndRun(const QMap<QString, QByteArray> &files, const QStringList &includeDirs,
                   const QStringList &extraFlags, const QStringList &runArgs, const QString &standard)
{
    CRun run;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        run.compileLog = QStringLiteral("no temporary folder");
        return run;
    }
    QStringList sources;
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        QFile f(dir.filePath(it.key()));
        if (!f.open(QIODevice::WriteOnly)) {
            run.compileLog = QStringLiteral("cannot write ") + f.fileName();
            return run;
        }
        f.write(it.value());
        f.close();
        if (it.key().endsWith(QLatin1String(".c")))
            sources << it.key();
    }

    const bool cxx = standard.startsWith(QLatin1String("c++"));
    QStringList args{QStringLiteral("-std=") + standard, QStringLiteral("-Wall"), QStringLiteral("-O1"),
                     QStringLiteral("-o"), QStringLiteral("prog")};
    for (const QString &inc : includeDirs)
        args << QStringLiteral("-I") + inc;
    args << extraFlags;
    if (cxx)
        args << QStringLiteral("-x") << QStringLiteral("c++");
    args << sources;

    QProcess gcc;
    gcc.setWorkingDirectory(dir.path());
    gcc.setProcessChannelMode(QProcess::MergedChannels);
    gcc.start(cxx ? QStringLiteral("g++") : QStringLiteral("gcc"), args);
    gcc.waitForFinished(300000);
    run.compileLog = QString::fromLocal8Bit(gcc.readAll());
    if (gcc.exitStatus() != QProcess::NormalExit || gcc.exitCode() != 0)
        return run;
    run.compiled = true;
    if (extraFlags.contains(QLatin1String("-fsyntax-only")))
        return run;

    QProcess prog;
    prog.setWorkingDirectory(dir.path());
    prog.start(dir.filePath(QStringLiteral("prog")), runArgs);
    prog.waitForFinished(300000);
    run.exitCode = prog.exitStatus() == QProcess::NormalExit ? prog.exitCode() : -1;
    run.output = prog.readAllStandardOutput();
    run.errors = QString::fromLocal8Bit(prog.readAllStandardError());
    return run;
}

QMap<QString, QStringList> parseKeyedLines(const QByteArray &output)
{
    QMap<QString, QStringList> map;
    for (const QByteArray &line : output.split('\n')) {
        const QStringList parts = QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.isEmpty())
            continue;
        map.insert(parts.first(), parts.mid(1));
    }
    return map;
}

} // namespace qmtest

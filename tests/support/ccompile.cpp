#include "ccompile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <thread>
#include <vector>

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

QList<CRun> compileAndRunAll(const QList<CBuild> &builds)
{
    std::vector<CRun> runs(size_t(builds.size()));
    std::atomic<int> next{0};
    auto work = [&] {
        for (int i = next++; i < builds.size(); i = next++) {
            const CBuild &b = builds.at(i);
            runs[size_t(i)] = compileAndRun(b.files, b.includeDirs, b.extraFlags, b.runArgs, b.standard);
        }
    };
    const int workers = qBound(1, QThread::idealThreadCount(), int(builds.size()));
    std::vector<std::thread> helpers;
    for (int w = 1; w < workers; ++w)
        helpers.emplace_back(work);
    work();
    for (std::thread &t : helpers)
        t.join();
    return QList<CRun>(runs.begin(), runs.end());
}

QString codeOf(QString text)
{
    static const QRegularExpression comments(QStringLiteral("/\\*.*?\\*/|//[^\\n]*|^#include[^\\n]*"),
                                             QRegularExpression::DotMatchesEverythingOption
                                                 | QRegularExpression::MultilineOption);
    return text.remove(comments);
}

QMap<QString, QString> fileScopeNames(const QString &text)
{
    static const QRegularExpression definition(
        QStringLiteral("^(?:static |extern )?(?:const )?(\\w+)\\s*\\*?\\s*(?:const\\s+)?(\\w+)\\s*[\\[(=;]"),
        QRegularExpression::MultilineOption);
    static const QRegularExpression typedefName(QStringLiteral("^\\}(\\w+);"), QRegularExpression::MultilineOption);
    const QString code = codeOf(text);
    QMap<QString, QString> names;
    for (auto m = definition.globalMatch(code); m.hasNext();) {
        const QRegularExpressionMatch d = m.next();
        names.insert(d.captured(2), d.captured(1));
    }
    for (auto m = typedefName.globalMatch(code); m.hasNext();)
        names.insert(m.next().captured(1), QString());
    return names;
}

namespace {

// The names only this text can see: static objects and functions (an anonymous struct
// type included: "static const struct __attribute__((packed)) { ... } x = {"), typedefs.
QSet<QString> fileLocalNames(const QString &text)
{
    static const QRegularExpression staticDefinition(
        QStringLiteral("^static\\s+(?:inline\\s+)?(?:const\\s+)?(?:struct\\b[^{;\\n]*\\{[^}]*\\}|\\w+)"
                       "\\s*\\*?\\s*(?:const\\s+)?(\\w+)\\s*[\\[(=;]"),
        QRegularExpression::MultilineOption);
    static const QRegularExpression typedefName(QStringLiteral("^\\}\\s*(\\w+)\\s*;"),
                                                QRegularExpression::MultilineOption);
    const QString code = codeOf(text);
    QSet<QString> names;
    for (auto m = staticDefinition.globalMatch(code); m.hasNext();)
        names << m.next().captured(1);
    for (auto m = typedefName.globalMatch(code); m.hasNext();)
        names << m.next().captured(1);
    return names;
}

} // namespace

QByteArray oneTranslationUnit(const QMap<QString, QString> &files)
{
    static const QRegularExpression macro(QStringLiteral("^#\\s*define\\s+(\\w+)"), QRegularExpression::MultilineOption);
    static const QRegularExpression systemInclude(QStringLiteral("^#\\s*include\\s*<"), QRegularExpression::MultilineOption);
    QString plain, withSystemHeaders;
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        QString text = it.value();
        for (const QString &name : fileLocalNames(text)) {
            if (name != it.key())
                text.replace(QRegularExpression(QStringLiteral("(?<![.\\w])(?<!->)%1(?!\\w)").arg(name)),
                             it.key() + QLatin1Char('_') + name);
        }
        // A macro of one file must not reach the next.
        text += QLatin1Char('\n');
        for (auto m = macro.globalMatch(text); m.hasNext();)
            text += QStringLiteral("#undef %1\n").arg(m.next().captured(1));
        (text.contains(systemInclude) ? withSystemHeaders : plain) += text;
    }
    return (plain + withSystemHeaders).toUtf8();
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

#include "cli.h"

#include "cli/buildrequest.h"
#include "cli/options.h"
#include "cli/previewoutput.h"
#include "cli/terminalprogress.h"
#include "files/atomicfile.h"
#include "conversion/conversion.h"
#include "render/fonts.h"

#include <QGuiApplication>
#include <QTextCodec>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>

#include <unistd.h>

namespace qm {
namespace cli {

namespace {

bool g_verbose = false;
QtMessageHandler g_defaultHandler = nullptr;

// Qt's own noise about fonts it draws anyway ("OpenType support missing for ..."), and
// about glyphs it cannot load, which the conversion's warning names by character.
bool isFontEngineNoise(const QString &message)
{
    const QString line = message.trimmed();
    return line.startsWith(QLatin1String("OpenType support missing for"))
        || line.startsWith(QLatin1String("load glyph failed err="));
}

// The engine's debug lines ("fontawesome false", metrics) are for developers; a
// script's log only gets them on request. Qt's warnings always pass.
void filterMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!g_verbose && (type == QtDebugMsg || type == QtInfoMsg))
        return;
    // Containers and build machines often lack a session; that changes nothing here.
    if (!g_verbose && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (!g_verbose && isFontEngineNoise(message))
        return;
    if (g_defaultHandler)
        g_defaultHandler(type, context, message);
}

void printError(const QString &message)
{
    std::fprintf(stderr, "quillmark-cli: %s\n", message.toUtf8().constData());
}

void printWarnings(const QStringList &warnings)
{
    for (const QString &warning : warnings)
        std::fprintf(stderr, "warning: %s\n", warning.toUtf8().constData());
}

bool writeStdout(const QByteArray &data)
{
    if (!data.isEmpty() && std::fwrite(data.constData(), 1, size_t(data.size()), stdout)
                               != size_t(data.size()))
        return false;
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

// A large font's text is written in pieces rather than copied whole into UTF-8 first.
bool writeTextToStdout(const QString &text, QString *reason)
{
    if (std::fflush(stdout) != 0) {
        *reason = qt_error_string(errno);
        return false;
    }
    return writeUtf8To(STDOUT_FILENO, text, reason);
}

// An argument as the user meant it. Under a UTF-8 locale, bytes that are not UTF-8 are
// taken as GB 18030 when they are that, as a text file is read; anything else would
// become U+FFFD characters, so the caller refuses it.
QString decodeArgument(const char *arg, bool *ok)
{
    const QByteArray bytes(arg);
    *ok = true;
    if (QTextCodec::codecForLocale()->mibEnum() != 106)
        return QString::fromLocal8Bit(bytes);
    QTextCodec::ConverterState state;
    const QString utf8 = QTextCodec::codecForMib(106)->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return utf8;
    QTextCodec *gb = QTextCodec::codecForName("GB18030");
    const QString text = gb->toUnicode(bytes);
    if (gb->fromUnicode(text) == bytes)
        return text;
    *ok = false;
    return utf8;
}

// The bytes of an argument that is not text, printable in a message.
QString escapedBytes(const QByteArray &bytes)
{
    QString out;
    for (const char c : bytes) {
        const uchar u = uchar(c);
        out += (u >= 0x20 && u < 0x7F && u != '\\') ? QString(QLatin1Char(c))
                                                   : QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace

int runCli(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        bool ok = true;
        arguments << decodeArgument(argv[i], &ok);
        if (!ok) {
            printError(QStringLiteral("argument %1 (\"%2\") is not text: neither UTF-8 nor GB 18030")
                           .arg(i)
                           .arg(escapedBytes(argv[i])));
            return ExitUsage;
        }
    }

    Options options;
    QString error;
    if (!parseArguments(arguments, &options, &error)) {
        printError(error);
        return ExitUsage;
    }
    if (options.help) {
        writeStdout(helpText().toUtf8());
        return ExitOk;
    }
    if (options.version) {
        writeStdout(versionText().toUtf8());
        return ExitOk;
    }

    // No display is needed to render glyphs; conversions draw at 96 dpi whatever the
    // platform says.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Past a file size limit a write should fail with a reason the user can read, not
    // end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    g_verbose = options.verbose;
    g_defaultHandler = qInstallMessageHandler(filterMessages);

    // Qt would take arguments such as -platform or -reverse out of a real argv; ours
    // are parsed above, so the application sees only the program name.
    int appArgc = 1;
    char *appArgv[] = {argv[0], nullptr};
    QGuiApplication app(appArgc, appArgv);

    if (!options.previewSourceFile.isEmpty()) {
        QStringList notes;
        const int status = writePreviewOfFile(options, &notes, &error);
        printWarnings(notes);
        if (status != ExitOk)
            printError(error);
        return status;
    }

    installFontSubstitutions();

    const IconSupport icons = loadIconSupport();
    PreparedConversion prepared;
    if (!buildRequest(options, icons, &prepared, &error)) {
        printError(error);
        return ExitUsage;
    }
    printWarnings(prepared.warnings);

    std::unique_ptr<ConversionProgress> progress;
    if (!options.quiet && stderrIsTerminal())
        progress = std::make_unique<TerminalProgress>(stderr);
    else
        progress = std::make_unique<NoProgress>();

    const ConversionResult result = runConversion(prepared.kind, prepared.request, *progress);
    printWarnings(result.warnings);
    if (!result.ok) {
        printError(result.error.isEmpty() ? QStringLiteral("the conversion failed") : result.error);
        return ExitConversionFailed;
    }
    if (result.cancelled) {
        printError(QStringLiteral("the conversion was stopped before the end; nothing was written"));
        return ExitConversionFailed;
    }

    // The preview is drawn from what was written, so it comes after the output.
    const auto finish = [&]() -> int {
        if (options.previewFile.isEmpty())
            return ExitOk;
        QStringList notes;
        if (!writePreview(options, prepared, result, &notes, &error)) {
            printError(error);
            return ExitConversionFailed;
        }
        printWarnings(notes);
        return ExitOk;
    };

    if (prepared.kind == GeneratorKind::XbfBin) {
        for (const QString &file : result.filesWritten)
            std::fprintf(stderr, "wrote %s\n", file.toUtf8().constData());
        return finish();
    }
    if (!options.outputFile.isEmpty()) {
        if (!writeUtf8File(options.outputFile, result.text, &error)) {
            printError(error);
            return ExitConversionFailed;
        }
        return finish();
    }
    if (!writeTextToStdout(result.text, &error)) {
        printError(QStringLiteral("could not write to standard output: %1").arg(error));
        return ExitConversionFailed;
    }
    return finish();
}

} // namespace cli
} // namespace qm

#include "previewoutput.h"

#include "files/atomicfile.h"
#include "charset/charset.h"
#include "preview/preview.h"

#include <QBuffer>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace qm {
namespace cli {

namespace {

// The picture on standard output ("--preview -"), through the descriptor the shell
// handed over.
bool writeToStdout(const QByteArray &data, QString *error)
{
    std::fflush(stdout);
    QString reason;
    if (writeBytesTo(STDOUT_FILENO, data, &reason))
        return true;
    *error = QStringLiteral("the picture could not be written to standard output: %1").arg(reason);
    return false;
}

// Draws `sample` with the font into the --preview PNG; the file is replaced only by a
// complete picture.
bool drawAndSave(const Options &options, PreviewFont &font, const QString &sample, QStringList *notes,
                 QString *error)
{
    const PreviewDrawing drawing = drawPreview(font, sample, placeholdersByDefault(options.lvVer));
    PreviewStyle style;
    style.scale = options.previewScale;
    style.dark = options.previewDark;
    style.guides = options.previewGuides;
    QString scaleNote;
    const QImage picture = stylePreview(drawing, style, &scaleNote);

    QByteArray png;
    QBuffer buffer(&png);
    QString writeError;
    if (picture.isNull() || !buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG")
        || !(isStandardOutputName(options.previewFile) ? writeToStdout(png, &writeError)
                                                       : writeWholeFile(options.previewFile, png, &writeError))) {
        *error = writeError.isEmpty() ? QStringLiteral("preview %1 could not be encoded%2")
                                            .arg(options.previewFile,
                                                 scaleNote.isEmpty() ? QString() : QStringLiteral(": ") + scaleNote)
                                      : writeError;
        return false;
    }

    if (!drawing.missingLetters.isEmpty()) {
        QStringList named;
        for (const uint c : drawing.missingLetters.toUcs4())
            named << QStringLiteral("%1 (%2)").arg(QString::fromUcs4(&c, 1), codePointName(c));
        *notes << QStringLiteral("preview: the font has no glyph for %1").arg(named.join(QStringLiteral(", ")));
    }
    for (const QString &note : drawing.notes)
        *notes << QStringLiteral("preview: ") + note;
    if (!scaleNote.isEmpty())
        *notes << QStringLiteral("preview: ") + scaleNote;
    return true;
}

} // namespace

bool writePreview(const Options &options, const PreparedConversion &prepared,
                  const ConversionResult &result, QStringList *notes, QString *error)
{
    const PreviewSource source = previewSourceOf(result, options.outputFile);
    QString why;
    const std::unique_ptr<PreviewFont> font = loadPreviewFont(source, &why);
    if (!font) {
        *error = QStringLiteral("the preview could not be drawn: %1").arg(why);
        return false;
    }
    return drawAndSave(options, *font, prepared.previewSample, notes, error);
}

int writePreviewOfFile(const Options &options, QStringList *notes, QString *error)
{
    for (const QString &input : {options.previewSourceFile, options.previewBinFile}) {
        if (!input.isEmpty() && !QFileInfo::exists(input)) {
            *error = QStringLiteral("%1 does not exist").arg(input);
            return 2;
        }
    }
    PreviewSource source;
    source.cPath = options.previewSourceFile;
    source.binPath = options.previewBinFile;
    QString why;
    const std::unique_ptr<PreviewFont> font = loadPreviewFont(source, &why);
    if (!font) {
        *error = QStringLiteral("%1 cannot be previewed: %2").arg(options.previewSourceFile, why);
        if (options.previewBinFile.isEmpty() && why.contains(QLatin1String(".bin")))
            *error += QStringLiteral(" (name it with --bin FONT.bin)");
        return 1;
    }
    const QString sample = options.previewText.isEmpty() ? defaultPreviewSample(QString(), font->letters(16))
                                                         : options.previewText;
    return drawAndSave(options, *font, sample, notes, error) ? 0 : 1;
}

} // namespace cli
} // namespace qm

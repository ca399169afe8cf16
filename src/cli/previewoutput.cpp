#include "previewoutput.h"

#include "files/atomicfile.h"
#include "charset/charset.h"
#include "preview/preview.h"

#include <QBuffer>

namespace qm {
namespace cli {

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
    const PreviewDrawing drawing =
        drawPreview(*font, prepared.previewSample, placeholdersByDefault(options.lvVer));
    PreviewStyle style;
    style.scale = options.previewScale;
    style.dark = options.previewDark;
    style.guides = options.previewGuides;
    const QImage picture = stylePreview(drawing, style);

    QByteArray png;
    QBuffer buffer(&png);
    QString writeError;
    if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG")
        || !writeWholeFile(options.previewFile, png, &writeError)) {
        *error = writeError.isEmpty() ? QStringLiteral("preview %1 could not be encoded").arg(options.previewFile)
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
    return true;
}

} // namespace cli
} // namespace qm

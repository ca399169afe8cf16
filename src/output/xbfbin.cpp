#include "output/generators.h"
#include "output/lvgl9text.h"
#include "output/xbftable.h"
#include "output/lvgltext.h"

#include "files/atomicfile.h"
#include "output/compressedglyphs.h"
#include <QFileInfo>
#include "output/encoders.h"
#include "request/fontname.h"
#include "output/capturepipeline.h"
#include "output/linebuffer.h"

#include <algorithm>
#include <vector>

namespace qm {

namespace {

// The first line is what the window shows in its box; the second names the file.
QString fileFailure(const QString &headline, const QString &path, const QString &reason)
{
    return headline + QLatin1Char('\n') + path + QStringLiteral(": ") + reason;
}

QString openFailure(const QString &path, const QString &reason)
{
    return fileFailure(QStringLiteral("打开文件失败"), path, reason);
}

QString writeFailure(const QString &path, const QString &reason)
{
    return fileFailure(QStringLiteral("写入文件失败"), path, reason);
}

// LVGL 9: the glyph id is the record's offset in the .bin. Each pointer the access
// function returns is read before the next call, which may reuse its buffer.
void appendLvgl9Callbacks(LineBuffer &out, int streamRead)
{
    appendLvgl9GlyphHelpers(out, streamRead == 0);
    out.appendEach({
        "static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {",
        "    (void)font; (void)unicode_letter_next;",
        "    if( unicode_letter>__g_xbf_hd.max || unicode_letter<__g_xbf_hd.min ) return false;",
        "    uint32_t pos = __user_font_pos(__user_font_getdata(sizeof(x_header_t)+(unicode_letter-__g_xbf_hd.min)*4, 4));",
        "    if( pos == 0 ) return false;",
        "    const glyph_dsc_t * gdsc = (const glyph_dsc_t *)__user_font_getdata(pos, sizeof(glyph_dsc_t));",
        "    __user_font_set_dsc(dsc_out, gdsc->adv_w, gdsc->box_w, gdsc->box_h, gdsc->ofs_x, gdsc->ofs_y, __g_xbf_hd.bpp, pos);",
        "    return true;",
        "}",
    });
    out.appendEmptyLines(2);
    out.appendEach({
        "static void __user_font_draw(uint32_t glyph_id, lv_draw_buf_t * draw_buf) {",
        "    const glyph_dsc_t * gdsc = (const glyph_dsc_t *)__user_font_getdata(glyph_id, sizeof(glyph_dsc_t));",
        "    uint32_t box_w = gdsc->box_w, box_h = gdsc->box_h;",
    });
    if (streamRead > 0)
        out.append(QStringLiteral("    __user_font_unpack(__user_font_getdata(glyph_id+sizeof(glyph_dsc_t), %1), %1, 0, box_w, box_h, (uint8_t *)draw_buf->data, draw_buf->header.stride);")
                       .arg(streamRead));
    else
        out.appendEach({
            "    const uint8_t * bitmap = __user_font_getdata(glyph_id+sizeof(glyph_dsc_t), box_w*box_h*__g_xbf_hd.bpp/8);",
            "    __user_font_expand(bitmap, box_w, box_h, __g_xbf_hd.bpp, draw_buf);",
        });
    out.appendEach({
        "}",
    });
    out.appendEmptyLines(2);
    appendLvgl9BitmapCallback(out);
}

// Header values, the data-access stub and the two callbacks that read the .bin through it.
// Compressed, each glyph's stream is read `streamRead` bytes long, the longest of the
// font (the .bin carries that many bytes after its last record).
void appendReader(LineBuffer &out, const XbfTable &table, int bufferSize, bool lvgl9,
                  const CompressedGlyphs *compressed)
{
    const int streamRead = compressed ? qMax(1, compressed->longestStream()) : 0;
    out.append(QLatin1String("static x_header_t __g_xbf_hd = {"));
    out.append(QStringLiteral("    .min = 0x%1,").arg(table.minCode(), 4, 16, QLatin1Char('0')));
    out.append(QStringLiteral("    .max = 0x%1,").arg(table.maxCode(), 4, 16, QLatin1Char('0')));
    out.append(QStringLiteral("    .bpp = %1,").arg(table.bpp()));
    out.append(QLatin1String("};"));
    out.appendEmptyLines(2);
    out.append(QStringLiteral("//static uint8_t __g_font_buf[%1];//如bin文件存在SPI FLASH可使用此buff")
                   .arg(bufferSize));
    out.appendEmptyLines(2);

    static const char *const getdata[] = {
        "static uint8_t *__user_font_getdata(int offset, int size){",
        "    (void)offset; (void)size;",
        "    //如字模保存在SPI FLASH, SPIFLASH_Read(__g_font_buf,offset,size);",
        "    //如字模已加载到SDRAM,直接返回偏移地址即可如:return (uint8_t*)(sdram_fontddr+offset);",
        "    return __g_font_buf;",
        "}",
    };
    out.appendEach(getdata);
    out.appendEmptyLines(2);
    if (compressed) {
        out.append(compressed->decoderText(lvgl9));
        out.appendEmptyLines(1);
    }
    appendXbfPositionReader(out);
    if (lvgl9) {
        appendLvgl9Callbacks(out, streamRead);
        return;
    }
    out.appendEach({
        "static const uint8_t * __user_font_get_bitmap(const lv_font_t * font, uint32_t unicode_letter) {",
        "    (void)font;",
        "    if( unicode_letter>__g_xbf_hd.max || unicode_letter<__g_xbf_hd.min ) {",
        "        return NULL;",
        "    }",
        "    uint32_t unicode_offset = sizeof(x_header_t)+(unicode_letter-__g_xbf_hd.min)*4;",
        "    uint32_t pos = __user_font_pos(__user_font_getdata(unicode_offset, 4));",
        "    if( pos != 0 ) {",
        "        glyph_dsc_t * gdsc = (glyph_dsc_t*)__user_font_getdata(pos, sizeof(glyph_dsc_t));",
    });
    if (streamRead > 0) {
        out.append(QLatin1String("        uint32_t box_w = gdsc->box_w, box_h = gdsc->box_h;"));
        out.append(QStringLiteral("        __user_font_unpack(__user_font_getdata(pos+sizeof(glyph_dsc_t), %1), %1, 0, box_w, box_h, glyph_unpacked, (box_w * __g_xbf_hd.bpp + 7u) / 8u);").arg(streamRead));
        out.append(QLatin1String("        return glyph_unpacked;"));
    } else
        out.append(QLatin1String("        return __user_font_getdata(pos+sizeof(glyph_dsc_t), gdsc->box_w*gdsc->box_h*__g_xbf_hd.bpp/8);"));
    out.appendEach({
        "    }",
        "    return NULL;",
        "}",
    });
    out.appendEmptyLines(2);
    out.appendEach({
        "static bool __user_font_get_glyph_dsc(const lv_font_t * font, lv_font_glyph_dsc_t * dsc_out, uint32_t unicode_letter, uint32_t unicode_letter_next) {",
        "    (void)font; (void)unicode_letter_next;",
        "    if( unicode_letter>__g_xbf_hd.max || unicode_letter<__g_xbf_hd.min ) {",
        "        return false;",
        "    }",
        "    uint32_t unicode_offset = sizeof(x_header_t)+(unicode_letter-__g_xbf_hd.min)*4;",
        "    uint32_t pos = __user_font_pos(__user_font_getdata(unicode_offset, 4));",
        "    if( pos != 0 ) {",
        "        glyph_dsc_t * gdsc = (glyph_dsc_t*)__user_font_getdata(pos, sizeof(glyph_dsc_t));",
    });
    appendGlyphDscCopy(out, 8, QStringLiteral("__g_xbf_hd.bpp"), true);
    out.appendEach({
        "    }",
        "    return false;",
        "}",
    });
    out.appendEmptyLines(2);
}

} // namespace

ConversionResult generateXbfBin(const PreparedConversion &prepared, ConversionProgress &progress)
{
    const ConversionRequest &request = prepared.request;
    ConversionResult result;
    const QString chars = request.chars;
    const int bpp = request.bpp;

    CapturePipeline pipeline(prepared, CapturePipeline::Encoding::CroppedBytes);
    // Compressed, the records wait for the streams, which need the whole set.
    const bool compress = request.compress;
    CompressedGlyphs compressed(bpp, StreamEnd::Open);
    std::vector<std::pair<QChar, XbfRecord>> held;
    const int fontHeight = pipeline.capturer().lineHeight();
    result.fontHeight = fontHeight;
    auto fail = [&result](const QString &error) {
        result.ok = false;
        result.error = error;
        return result;
    };
    // The name becomes NAME.bin and NAME.c in the folder: one that is no identifier
    // ("../x") could put them elsewhere.
    const QString nameProblem = fontNameProblem(request.fontName);
    if (!nameProblem.isEmpty())
        return fail(nameProblem);
    if (request.outputDir.isEmpty())
        return fail(QStringLiteral("未选择保存文件夹"));

    const QString base = request.outputDir + QLatin1Char('/') + request.fontName;
    const QString binPath = base + QStringLiteral(".bin");
    const QString cPath = base + QStringLiteral(".c");

    XbfTable table(chars, bpp);
    LineBuffer out;
    appendXbfFileStart(out, request);

    // The records go into the .bin as they are made, after room for the header and the
    // position table: those are complete only after the last glyph and are filled in at
    // the end. Only one glyph is held in memory. The .bin and the .c replace the files
    // of an earlier run together or not at all: a new table with an old reader (or the
    // other way round) would draw garbage.
    AtomicFile bin(binPath);
    if (!bin.open())
        return fail(openFailure(binPath, bin.reason()));
    if (!bin.write(QByteArray(int(table.recordsOffset()), '\0')))
        return fail(writeFailure(binPath, bin.reason()));

    int maxRowBytes = 0;
    int maxBitmapBytes = 0;
    // Compressed, a record's size is its stream's: the run fills a table of its own and
    // the records are placed once the streams are made.
    XbfTable plainTable(chars, bpp);
    const QString error = runXbfRecords(
        pipeline, chars, bpp, fontHeight, compress ? plainTable : table, progress, result,
        [&](const CapturedGlyph &captured, const XbfRecord &record) {
            if (compress) {
                compressed.addGlyphBytes(captured.glyph.ch, record.boxW, record.boxH, captured.bytes.data());
                held.emplace_back(captured.glyph.ch, record);
                maxRowBytes = std::max(maxRowBytes, record.rowBytes);
                return QString();
            }
            uint8_t descriptor[kXbfDescriptorSize];
            record.descriptorBytes(descriptor);
            if (!bin.write(reinterpret_cast<const char *>(descriptor), kXbfDescriptorSize)
                || !bin.write(reinterpret_cast<const char *>(captured.bytes.data()), record.bitmapBytes()))
                return writeFailure(binPath, bin.reason());
            maxRowBytes = std::max(maxRowBytes, record.rowBytes);
            maxBitmapBytes = std::max(maxBitmapBytes, record.bitmapBytes());
            return QString();
        });
    if (!error.isEmpty())
        return fail(error);
    if (compress) {
        compressed.finish();
        compressed.warnIfLargerThanPlain(result.warnings);
        for (int i = 0; i < compressed.count(); ++i) {
            uint8_t descriptor[kXbfDescriptorSize];
            held[size_t(i)].second.descriptorBytes(descriptor);
            const QByteArray &stream = compressed.stream(i);
            if (!bin.write(reinterpret_cast<const char *>(descriptor), kXbfDescriptorSize)
                || !bin.write(stream.constData(), stream.size()))
                return fail(writeFailure(binPath, bin.reason()));
            table.addRecord(held[size_t(i)].first, stream.size());
        }
        // The reader takes the longest stream's length from every record; the last
        // record's read must stay inside the file.
        maxBitmapBytes = qMax(1, compressed.longestStream());
        if (!bin.write(QByteArray(maxBitmapBytes, '\0')))
            return fail(writeFailure(binPath, bin.reason()));
    }
    const QByteArray front = table.headerAndPositions();
    if (!bin.writeAt(0, front.constData(), front.size()))
        return fail(writeFailure(binPath, bin.reason()));

    // The suggested buffer must hold every single read of the callbacks: the 4-byte
    // position, the 6-byte descriptor and a whole bitmap. Width times line height is
    // not enough for icons taller than the line, nor for a set without wide glyphs.
    const int bufferSize =
        std::max({maxRowBytes * fontHeight, maxBitmapBytes, int(kXbfDescriptorSize)});
    appendReader(out, table, bufferSize, request.lvVer == kLvgl9, compress ? &compressed : nullptr);
    appendXbfFontObject(out, request, fontHeight, QStringLiteral("XBF字体,外部bin文件"));
    const QString text = out.takeContent();

    AtomicFile reader(cPath);
    if (!reader.open())
        return fail(openFailure(cPath, reader.reason()));
    if (!reader.writeUtf8(text))
        return fail(writeFailure(cPath, reader.reason()));
    if (result.cancelled) {
        QStringList existing;
        for (const QString &path : {binPath, cPath}) {
            if (QFileInfo::exists(path))
                existing << path;
        }
        // The temporaries are removed with `bin` and `reader`; the earlier pair stands.
        if (!existing.isEmpty() && !progress.replaceAfterCancel(result.written, existing)) {
            result.keptExisting = true;
            result.text = text;
            return result;
        }
    }
    if (AtomicFile *failed = AtomicFile::commitAll({&bin, &reader}))
        return fail(writeFailure(failed->target(), failed->reason()));
    result.filesWritten << binPath << cPath;
    result.text = text;
    return result;
}

} // namespace qm

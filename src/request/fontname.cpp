#include "request/fontname.h"

#include <QSet>

namespace qm {

namespace {

bool isIdentifier(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (int i = 0; i < name.size(); ++i) {
        const ushort c = name.at(i).unicode();
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && i > 0))
            return false;
    }
    return true;
}

const QSet<QString> &keywords()
{
    static const QSet<QString> words = [] {
        QSet<QString> set;
        // C up to C23, then what C++ up to C++23 adds.
        for (const char *word :
             {"auto", "break", "case", "char", "const", "continue", "default", "do", "double", "else",
              "enum", "extern", "float", "for", "goto", "if", "inline", "int", "long", "register",
              "restrict", "return", "short", "signed", "sizeof", "static", "struct", "switch",
              "typedef", "union", "unsigned", "void", "volatile", "while", "_Alignas", "_Alignof",
              "_Atomic", "_BitInt", "_Bool", "_Complex", "_Decimal128", "_Decimal32", "_Decimal64",
              "_Generic", "_Imaginary", "_Noreturn", "_Static_assert", "_Thread_local", "alignas",
              "alignof", "bool", "constexpr", "false", "nullptr", "static_assert", "thread_local",
              "true", "typeof", "typeof_unqual",
              "and", "and_eq", "asm", "bitand", "bitor", "catch", "char8_t", "char16_t", "char32_t",
              "class", "compl", "concept", "consteval", "constinit", "const_cast", "co_await",
              "co_return", "co_yield", "decltype", "delete", "dynamic_cast", "explicit", "export",
              "friend", "mutable", "namespace", "new", "noexcept", "not", "not_eq", "operator", "or",
              "or_eq", "private", "protected", "public", "reinterpret_cast", "requires",
              "static_cast", "template", "this", "throw", "try", "typeid", "typename", "using",
              "virtual", "wchar_t", "xor", "xor_eq"})
            set.insert(QLatin1String(word));
        return set;
    }();
    return words;
}

// Every name that some output kind declares at file scope, or takes from LVGL and the
// C library, so that a font object of that name would clash. Keep it in step with the
// generators' texts.
const QSet<QString> &generatedNames()
{
    static const QSet<QString> names = [] {
        QSet<QString> set;
        for (const char *name :
             {// lv_font_fmt_txt fonts and the LVGL 5.3 font
              "glyph_bitmap", "glyph_dsc", "unicode_list", "unicode_list_1", "cmaps", "glyph_cache",
              "font_dsc", "binsearch", "__user_font_get_bitmap", "__user_font_get_glyph_dsc",
              // the XBF kinds
              "x_header_t", "x_table_t", "glyph_dsc_t", "glyph_dsc_xbf", "__g_xbf_hd", "__g_font_buf",
              "__user_font_getdata", "__user_font_header", "__user_font_pos",
              // the LVGL 9 texts
              "__user_font_set_dsc", "__user_font_expand", "__user_font_draw",
              // compressed glyphs
              "glyph_model_group0", "glyph_model_group1", "glyph_model_cum0", "glyph_model_cum1",
              "glyph_unpacked", "__user_font_unpack", "__user_font_level", "__user_font_quarter",
              "__user_font_glyph", "__user_font_stream_end",
              // LVGL's names the files use
              "lv_font_t", "lv_font_glyph_dsc_t", "lv_font_fmt_txt_glyph_dsc_t", "lv_font_fmt_txt_cmap_t",
              "lv_font_fmt_txt_dsc_t", "lv_font_fmt_txt_glyph_cache_t", "LV_FONT_FMT_TXT_CMAP_SPARSE_TINY",
              "LV_FONT_FMT_TXT_LARGE", "LVGL_VERSION_MAJOR", "LVGL_VERSION_MINOR", "lv_draw_buf_t",
              "lv_font_glyph_format_t",
              "lv_font_get_bitmap_sparse", "lv_font_get_width_sparse",
              // the C library's
              "uint8_t", "uint16_t", "uint32_t", "int8_t", "int16_t", "int32_t", "NULL", "main"})
            set.insert(QLatin1String(name));
        return set;
    }();
    return names;
}

} // namespace

QString fontNameProblem(const QString &name)
{
    if (!isIdentifier(name))
        return QStringLiteral("字体名“%1”不是C标识符：只能由英文字母、数字和下划线组成，且不能以数字开头/"
                              "The font name \"%1\" is not a C identifier: use letters, digits and "
                              "underscores, not starting with a digit.")
            .arg(name);
    if (keywords().contains(name))
        return QStringLiteral("字体名“%1”是C或C++的关键字，请换一个名字/The font name \"%1\" is a C or C++ "
                              "keyword; choose another.")
            .arg(name);
    if (generatedNames().contains(name))
        return QStringLiteral("字体名“%1”已被生成的代码使用，请换一个名字/The font name \"%1\" is used by the "
                              "generated code itself; choose another.")
            .arg(name);
    return QString();
}

} // namespace qm

#pragma once

#include <QString>

namespace qm {

// Each UTF-16 code unit once, at the place of its first occurrence.
QString removeDuplicateChars(const QString &text);
// Ascending by unsigned 16-bit code unit value; repeats stay.
void sortChars(QString &text);

struct CharacterSetOptions {
    bool addAscii = true;      // 0x20..0x7F first
    bool removeRepeats = false;
    bool sort = true;
};

// The set a conversion works on: optional ASCII, the input, the icon characters,
// then optional de-duplication and sort.
QString buildCharacterSet(const QString &input, const QString &iconText,
                          const CharacterSetOptions &options);

// U+0001..U+001F and U+007F: characters LVGL never draws (a line break in the set among
// them), so every kind gives them an empty glyph with no advance.
bool isControlCharacter(QChar ch);
// "U+0041": a code point as messages name it, in upper-case hex of at least four digits.
QString codePointName(uint code);
// Takes every code unit 0 out of `chars` and says how many there were. The code lists of
// the fonts end at a 0 entry, so a U+0000 among them would hide every later glyph.
int removeNullChars(QString &chars);

// Every output kind lists UTF-16 code units, so a character beyond U+FFFF (an emoji,
// a rare hanzi) would become two glyphs of its surrogate halves. Empty when `text` has
// none; else a message naming them (and any lone half), for the user to remove them.
QString beyondBmpProblem(const QString &text);

// 1, 2, 4, 8 -> 1, 3, 15, 255; 0 for anything else.
int bppMask(int bpp);
bool isValidBpp(int bpp);

} // namespace qm

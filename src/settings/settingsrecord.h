#pragma once

#include <QString>

// The options that survive between runs, mirrored in a JSON file (./config.ini by default).
// Field names follow the keys of the file.
class SettingsRecord
{
public:
    SettingsRecord();

    void resetToDefaults();
    // Overlays the record with what the file holds; a missing or malformed file, one
    // that is no regular file or is larger than 1 MiB leaves the defaults. A wrong-typed
    // value, a number that is no whole 32-bit one, or a text longer than 4096
    // characters leaves that field alone (the last also has the file kept aside).
    void loadFromFile();
    void loadFromFile(const QString &path);
    // Writes the whole record, indented, keys in ascending order, all or nothing. A file
    // that existed but could not be read at the last load is first moved to
    // <path>.bad (<path>.bad.2, .3, ... when that exists), so that a stray character
    // does not cost the user every setting; if it cannot be moved, nothing is written.
    // A path that is no regular file (a FIFO) is not written. On failure *error names
    // the file and the system's reason.
    bool saveToFile(QString *error = nullptr);
    bool saveToFile(const QString &path, QString *error = nullptr);
    // Where the last save put an unreadable file; empty once read, so that the user is
    // told once.
    QString takeSetAsidePath();

    // The values as the window may use them: a hand-edited index outside the box's
    // items, or a size the font dialog does not offer, gives the field's default.
    int bppIndex() const;
    int typeIndex() const;
    int lvVerIndex() const;
    int fontPointSize() const;
    static constexpr int kMinFontPoint = 1;    // the font dialog's size range
    static constexpr int kMaxFontPoint = 512;

    QByteArray toJson() const;

    static QString defaultPath();
    static QString defaultIncludeText();

    QString IncText;
    QString FunText;
    QString DirText;
    QString DirTxt;
    int FunSel;
    int Bpp;
    int FontVS;
    int FontHeight;
    int Code;
    int Type;
    bool Ansi;
    QString FontName;
    QString AweText;
    QString FontFamily;
    QString FontStyle;
    int FontPoint;
    int LvVerIdx;
    bool TextSort;
    bool Compress;   // absent from older files: off
    bool SaveFile;

private:
    bool m_loadedUnreadable = false;   // the last load found a file it could not read
    QString m_setAsidePath;
};

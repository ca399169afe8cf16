#pragma once

#include <QString>

// The options that survive between runs, mirrored in a JSON file (./config.ini by default).
// Field names follow the keys of the file.
class SettingsRecord
{
public:
    SettingsRecord();

    void resetToDefaults();
    // Overlays the record with what the file holds; a missing or malformed file
    // leaves the defaults, a wrong-typed value leaves that field alone.
    void loadFromFile();
    void loadFromFile(const QString &path);
    // Writes the whole record, indented, keys in ascending order.
    void saveToFile() const;
    bool saveToFile(const QString &path) const;

    // The combo-box indices as the window may use them: a hand-edited index
    // outside the box's items falls back to the field's default.
    int bppIndex() const;
    int typeIndex() const;
    int lvVerIndex() const;

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
    bool SaveFile;
};

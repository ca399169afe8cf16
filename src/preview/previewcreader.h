#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// Reads the data out of a generated C file the way a compiler would see it: the
// initialisers of its top-level objects, by object name, and its function bodies, by
// function name. Comments, string contents and preprocessor lines are skipped, so
// neither the layout of the lines nor the order of designated fields matters.
// Views point into the reader's copy of the text: they are valid while it lives.

namespace qm {

// One element of a braced initialiser: a scalar expression or a braced list.
struct CElement {
    QStringView designator;          // "adv_w" for ".adv_w = 3"; empty when positional
    QStringView expression;          // the scalar's text, e.g. "0x41", "-3", "&font_dsc"
    bool braced = false;
    std::vector<CElement> members;   // the elements of a braced list

    // The scalar as an integer: decimal, hexadecimal or octal literals with any
    // sign and type casts in front; false for anything else, and for a literal past
    // what 64 signed bits hold.
    bool toInteger(qint64 *value) const;
    // The identifier a scalar names, without a leading '&' (for "&font_dsc", "font_dsc").
    QString identifier() const;
};

// The fields of a struct initialiser by name. Positional elements take the field
// names of `order` (the struct's declaration order), as C assigns them.
class CFields
{
public:
    CFields(const CElement &element, const QStringList &order = {});
    const CElement *field(const QString &name) const { return m_fields.value(name); }
    bool integer(const QString &name, qint64 *value) const;
    QString identifier(const QString &name) const;

private:
    QHash<QString, const CElement *> m_fields;
};

class CSourceReader
{
public:
    // Finds the top-level objects and functions; their contents are read on request.
    bool parse(const QString &text, QString *error);

    // The name of the first object declared with the type `type` (its last word, such
    // as "lv_font_t"); empty when there is none.
    QString objectOfType(const QString &type) const;
    // The elements of an object's braced initialiser; false, with *why saying why, when
    // there is no such object or it is not a list the reader takes (nested more than 16
    // deep, or more than a million elements in all).
    bool elements(const QString &name, CElement *list, QString *why = nullptr) const;
    // An initialiser made only of integer literals, as numbers or as a uint8_t array
    // stores them (the low eight bits). False, with *why, when the object is missing,
    // holds anything else or a literal beyond 64 bits, or more than `maxCount` numbers.
    bool integers(const QString &name, std::vector<qint64> *out, qint64 maxCount,
                  QString *why = nullptr) const;
    bool integers(const QString &name, QByteArray *lowBytes, QString *why = nullptr) const;
    // The text between a function's braces; empty when there is no such function.
    QStringView functionBody(const QString &name) const;

private:
    struct Range {
        QString type;
        int start = 0;   // just after the opening brace
        int end = 0;     // at the closing brace
    };
    template <typename Sink>
    bool readIntegers(const QString &name, Sink sink, qint64 maxCount, QString *why) const;

    QString m_text;
    QHash<QString, Range> m_objects;
    QStringList m_order;
    QHash<QString, QStringView> m_functions;
};

} // namespace qm

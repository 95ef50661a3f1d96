#pragma once

#include "device/ParamBlock.h"
#include "device/TextPair.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// Which segments a controller's parameter block carries, as its 0xC1 reply
// shows: the base alone, the base with the photo/video segment, or the base
// with the CRSF segment. Named "base", "photo" and "crsf" in files.
enum class ParamBlockForm { Base, PhotoVideo, Crsf };

QString paramBlockFormName(ParamBlockForm form);
// The form of a block decoded from a controller's reply (and not written to since).
ParamBlockForm paramBlockFormOf(const ParamBlock &block);

// The parameter block as a JSON file: what `tavoxctl params save` writes and
// `params load` reads. Every field of the block's form is stored under a
// readable name ("sbus.pitchChannel"); the fields of a form the controller
// does not report are left out, since they could be neither read back nor
// checked. Reading checks everything before anything may use the values: a
// problem names the field and the line it is on.
class ParamFile
{
public:
    static const char *const FormatName;
    static constexpr int SchemaVersion = 1;

    struct Contents
    {
        ParamBlockForm form = ParamBlockForm::Base;
        ParamBlock block;   // only the fields of `form` come from the file
        QString toolVersion;
        QString firmwareVersion;
        QString bootVersion;
        QString savedAt;    // ISO 8601 with the UTC offset
        int formLine = 0;   // where the file states its form
    };

    struct Problem
    {
        QString field;      // empty when the file as a whole is wrong
        int line = 0;       // 0 when no line can be named
        TextPair reason;

        // "<path>, line 12: field sbus.pitchChannel: value 30 out of range 0..16"
        TextPair describe(const QString &path) const;
    };

    struct Change
    {
        QString field;
        int from = 0;
        int to = 0;
    };

    static QByteArray toJson(const Contents &contents);
    static bool fromJson(const QByteArray &text, Contents &contents, Problem &problem);

    // Writes the whole file or, on failure, leaves any earlier file as it was.
    static bool save(const QString &path, const Contents &contents, QString &error);
    static bool load(const QString &path, Contents &contents, Problem &problem);

    // The fields of a form, in the order they are shown.
    static QStringList fieldNames(ParamBlockForm form);
    static int value(const ParamBlock &block, const QString &field);
    // Unknown fields are ignored; the value is cut to the field's width.
    static void setValue(ParamBlock &block, const QString &field, int value);
    // `target` takes the file's values of the file's form and keeps the rest.
    static void applyTo(ParamBlock &target, const Contents &contents);
    static QVector<Change> differences(const ParamBlock &from, const ParamBlock &to, ParamBlockForm form);
};

#include "device/ParamFile.h"

#include "device/ParamRanges.h"
#include "device/WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {
enum FormMask { InBase = 1, InPhotoVideo = 2, InCrsf = 4, InEveryForm = InBase | InPhotoVideo | InCrsf };

struct FieldEntry
{
    const char *group;
    const char *key;
    quint8 ParamBlock::*byte;
    quint16 ParamBlock::*word;
    int forms;

    QString name() const { return QLatin1String(group) + QLatin1Char('.') + QLatin1String(key); }
    int get(const ParamBlock &block) const { return byte ? block.*byte : block.*word; }
    void set(ParamBlock &block, int value) const
    {
        if (byte)
            block.*byte = quint8(value);
        else
            block.*word = quint16(value);
    }
};

constexpr FieldEntry byteField(const char *group, const char *key, quint8 ParamBlock::*member, int forms)
{
    return {group, key, member, nullptr, forms};
}

const FieldEntry Fields[] = {
    byteField("sbus", "pitchChannel", &ParamBlock::sbusPitchCh, InEveryForm),
    byteField("sbus", "rollChannel", &ParamBlock::sbusRollCh, InEveryForm),
    byteField("sbus", "yawChannel", &ParamBlock::sbusYawCh, InEveryForm),
    byteField("sbus", "centerChannel", &ParamBlock::sbusCenterCh, InEveryForm),
    byteField("sbus", "lockChannel", &ParamBlock::sbusLockCh, InEveryForm),
    byteField("sbus", "mode", &ParamBlock::sbusMode, InEveryForm),
    byteField("sbus", "pitchDirection", &ParamBlock::sbusPitchDir, InPhotoVideo | InCrsf),
    byteField("sbus", "rollDirection", &ParamBlock::sbusRollDir, InPhotoVideo | InCrsf),
    byteField("sbus", "yawDirection", &ParamBlock::sbusYawDir, InPhotoVideo | InCrsf),
    byteField("sbus", "photoChannel", &ParamBlock::sbusPhotoCh, InPhotoVideo),
    byteField("sbus", "videoChannel", &ParamBlock::sbusVideoCh, InPhotoVideo),
    byteField("pwm", "pitchChannel", &ParamBlock::pwmPitchCh, InEveryForm),
    byteField("pwm", "yawChannel", &ParamBlock::pwmYawCh, InEveryForm),
    byteField("pwm", "centerChannel", &ParamBlock::pwmCenterCh, InEveryForm),
    byteField("pwm", "lockChannel", &ParamBlock::pwmLockCh, InEveryForm),
    byteField("pwm", "mode", &ParamBlock::pwmMode, InEveryForm),
    byteField("pwm", "pitchDirection", &ParamBlock::pwmPitchDir, InPhotoVideo | InCrsf),
    byteField("pwm", "yawDirection", &ParamBlock::pwmYawDir, InPhotoVideo | InCrsf),
    byteField("crsf", "pitchChannel", &ParamBlock::crsfPitchCh, InCrsf),
    byteField("crsf", "rollChannel", &ParamBlock::crsfRollCh, InCrsf),
    byteField("crsf", "yawChannel", &ParamBlock::crsfYawCh, InCrsf),
    byteField("crsf", "centerChannel", &ParamBlock::crsfCenterCh, InCrsf),
    byteField("crsf", "lockChannel", &ParamBlock::crsfLockCh, InCrsf),
    byteField("crsf", "mode", &ParamBlock::crsfMode, InCrsf),
    byteField("crsf", "pitchDirection", &ParamBlock::crsfPitchDir, InCrsf),
    byteField("crsf", "rollDirection", &ParamBlock::crsfRollDir, InCrsf),
    byteField("crsf", "yawDirection", &ParamBlock::crsfYawDir, InCrsf),
    byteField("gimbal", "fpvMode", &ParamBlock::fpvMode, InEveryForm),
    byteField("gimbal", "pitchMaxSpeed", &ParamBlock::pitchMaxSpeed, InEveryForm),
    byteField("gimbal", "rollMaxSpeed", &ParamBlock::rollMaxSpeed, InEveryForm),
    byteField("gimbal", "yawMaxSpeed", &ParamBlock::yawMaxSpeed, InEveryForm),
    {"gimbal", "pitchMaxTorque", nullptr, &ParamBlock::pitchMaxTorque, InEveryForm},
    {"gimbal", "rollMaxTorque", nullptr, &ParamBlock::rollMaxTorque, InEveryForm},
    {"gimbal", "yawMaxTorque", nullptr, &ParamBlock::yawMaxTorque, InEveryForm},
    byteField("camera", "position", &ParamBlock::cameraPosition, InEveryForm),
};

const char *const Groups[] = {"sbus", "pwm", "crsf", "gimbal", "camera"};

const QString FormatKey = QStringLiteral("format");
const QString SchemaKey = QStringLiteral("schemaVersion");
const QString ToolVersionKey = QStringLiteral("toolVersion");
const QString SavedAtKey = QStringLiteral("savedAt");
const QString DeviceKey = QStringLiteral("device");
const QString FirmwareKey = QStringLiteral("firmware");
const QString BootKey = QStringLiteral("boot");
const QString FormKey = QStringLiteral("paramForm");
const QString ParamsKey = QStringLiteral("params");

int formMask(ParamBlockForm form)
{
    switch (form) {
    case ParamBlockForm::Base:
        return InBase;
    case ParamBlockForm::PhotoVideo:
        return InPhotoVideo;
    case ParamBlockForm::Crsf:
        return InCrsf;
    }
    return 0;
}

const FieldEntry *findField(const QString &name)
{
    for (const FieldEntry &field : Fields) {
        if (field.name() == name)
            return &field;
    }
    return nullptr;
}

bool parseFormName(const QString &name, ParamBlockForm &form)
{
    for (ParamBlockForm candidate : {ParamBlockForm::Base, ParamBlockForm::PhotoVideo, ParamBlockForm::Crsf}) {
        if (paramBlockFormName(candidate) == name) {
            form = candidate;
            return true;
        }
    }
    return false;
}

// The line of every key, by its dotted path ("params.sbus.pitchChannel"), and
// the first key an object gives twice, which Qt's reader silently takes the
// last of. Qt's JSON reader gives no positions, and the document has already
// passed it, so only strings, nesting and separators need telling apart here.
class KeyLines
{
public:
    struct Repeat
    {
        QString path;   // empty: no object gives a key twice
        int line = 0;
        int firstLine = 0;
    };

    explicit KeyLines(const QByteArray &text)
    {
        int line = 1;
        for (int i = 0; i < text.size(); ++i) {
            const char c = text.at(i);
            if (c == '\n')
                ++line;
            else if (c == '"')
                i = readString(text, i, line);
            else if (c == '{' || c == '[')
                m_levels.append({c == '{', QString(), c == '{', {}});
            else if ((c == '}' || c == ']') && !m_levels.isEmpty())
                m_levels.removeLast();
            else if (c == ',' && !m_levels.isEmpty())
                m_levels.last().expectingKey = m_levels.last().isObject;
        }
    }

    int lineOf(const QString &path) const { return m_lines.value(path, 0); }
    const Repeat &firstRepeat() const { return m_repeat; }

private:
    struct Level
    {
        bool isObject;
        QString key;
        bool expectingKey;
        QHash<QString, int> keyLines;
    };

    int readString(const QByteArray &text, int quote, int line)
    {
        int end = quote + 1;
        while (end < text.size() && text.at(end) != '"')
            end += text.at(end) == '\\' ? 2 : 1;
        if (!m_levels.isEmpty() && m_levels.last().expectingKey) {
            Level &level = m_levels.last();
            level.key = decoded(text.mid(quote + 1, end - quote - 1));
            level.expectingKey = false;
            if (level.keyLines.contains(level.key) && m_repeat.path.isEmpty())
                m_repeat = {currentPath(), line, level.keyLines.value(level.key)};
            level.keyLines.insert(level.key, line);
            m_lines.insert(currentPath(), line);
        }
        return end;
    }

    // "fpv\u004dode" is the key "fpvMode", as the reader takes it.
    static QString decoded(const QByteArray &quoted)
    {
        if (!quoted.contains('\\'))
            return QString::fromUtf8(quoted);
        return QJsonDocument::fromJson("[\"" + quoted + "\"]").array().at(0).toString();
    }

    QString currentPath() const
    {
        QStringList keys;
        for (const Level &level : m_levels) {
            if (level.isObject)
                keys.append(level.key);
        }
        return keys.join(QLatin1Char('.'));
    }

    QVector<Level> m_levels;
    QHash<QString, int> m_lines;
    Repeat m_repeat;
};

int lineOfOffset(const QByteArray &text, int offset)
{
    return int(text.left(offset).count('\n')) + 1;
}

// Reads the document into Contents, stopping at the first problem.
class Reader
{
public:
    Reader(const QByteArray &text, ParamFile::Contents &contents, ParamFile::Problem &problem)
        : m_lines(text), m_contents(contents), m_problem(problem)
    {
    }

    bool read(const QJsonObject &root)
    {
        return noKeyGivenTwice()
               && checkKeys(root, QString(),
                            {FormatKey, SchemaKey, ToolVersionKey, SavedAtKey, DeviceKey, FormKey, ParamsKey})
               && readHeader(root) && readDevice(root) && readForm(root) && readParams(root);
    }

private:
    bool fail(const QString &path, const TextPair &reason)
    {
        m_problem.field = path;
        m_problem.line = m_lines.lineOf(path);
        m_problem.reason = reason;
        return false;
    }

    bool noKeyGivenTwice()
    {
        const KeyLines::Repeat &repeat = m_lines.firstRepeat();
        if (repeat.path.isEmpty())
            return true;
        m_problem.field = repeat.path;
        m_problem.line = repeat.line;
        m_problem.reason = {QStringLiteral("重复出现 (第 %1 行已有)").arg(repeat.firstLine),
                            QStringLiteral("given twice (first on line %1)").arg(repeat.firstLine)};
        return false;
    }

    bool missing(const QString &path, const QString &parent)
    {
        fail(path, {QStringLiteral("缺少该字段"), QStringLiteral("missing")});
        m_problem.line = m_lines.lineOf(parent);
        return false;
    }

    static QString join(const QString &parent, const QString &key)
    {
        return parent.isEmpty() ? key : parent + QLatin1Char('.') + key;
    }

    bool checkKeys(const QJsonObject &object, const QString &parent, const QStringList &known)
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!known.contains(it.key()))
                return fail(join(parent, it.key()), {QStringLiteral("未知字段"), QStringLiteral("unknown field")});
        }
        return true;
    }

    bool readString(const QJsonObject &object, const QString &parent, const QString &key, QString &value,
                    bool required)
    {
        const QString path = join(parent, key);
        if (!object.contains(key))
            return !required || missing(path, parent);
        if (!object.value(key).isString())
            return fail(path, {QStringLiteral("应为文本"), QStringLiteral("must be a text")});
        value = object.value(key).toString();
        return true;
    }

    bool readObject(const QJsonObject &object, const QString &key, QJsonObject &value)
    {
        if (!object.value(key).isObject())
            return fail(key, {QStringLiteral("应为对象 {...}"), QStringLiteral("must be an object {...}")});
        value = object.value(key).toObject();
        return true;
    }

    bool readHeader(const QJsonObject &root)
    {
        QString format;
        if (!readString(root, QString(), FormatKey, format, true))
            return false;
        if (format != QLatin1String(ParamFile::FormatName))
            return fail(FormatKey, {QStringLiteral("不是 TAVOX 参数文件 (应为 \"%1\")").arg(ParamFile::FormatName),
                                    QStringLiteral("not a TAVOX parameter file (expected \"%1\")")
                                        .arg(ParamFile::FormatName)});
        if (!root.contains(SchemaKey))
            return missing(SchemaKey, QString());
        const QJsonValue schema = root.value(SchemaKey);
        if (!schema.isDouble() || schema.toDouble() != std::floor(schema.toDouble()) || schema.toDouble() < 1)
            return fail(SchemaKey, {QStringLiteral("应为正整数"), QStringLiteral("must be a positive whole number")});
        if (schema.toDouble() > ParamFile::SchemaVersion)
            return fail(SchemaKey, {QStringLiteral("文件格式版本 %1 较新，本工具只能读取版本 %2")
                                        .arg(schema.toDouble()).arg(ParamFile::SchemaVersion),
                                    QStringLiteral("schema version %1 is newer than this tool reads (%2)")
                                        .arg(schema.toDouble()).arg(ParamFile::SchemaVersion)});
        return readString(root, QString(), ToolVersionKey, m_contents.toolVersion, false)
               && readString(root, QString(), SavedAtKey, m_contents.savedAt, false);
    }

    bool readDevice(const QJsonObject &root)
    {
        QJsonObject device;
        if (!root.contains(DeviceKey))
            return true;
        return readObject(root, DeviceKey, device) && checkKeys(device, DeviceKey, {FirmwareKey, BootKey})
               && readString(device, DeviceKey, FirmwareKey, m_contents.firmwareVersion, false)
               && readString(device, DeviceKey, BootKey, m_contents.bootVersion, false);
    }

    bool readForm(const QJsonObject &root)
    {
        QString name;
        if (!readString(root, QString(), FormKey, name, true))
            return false;
        if (!parseFormName(name, m_contents.form))
            return fail(FormKey, {QStringLiteral("应为 base、photo 或 crsf"), QStringLiteral("must be base, photo or crsf")});
        m_contents.formLine = m_lines.lineOf(FormKey);
        return true;
    }

    bool readParams(const QJsonObject &root)
    {
        QJsonObject params;
        if (!root.contains(ParamsKey))
            return missing(ParamsKey, QString());
        if (!readObject(root, ParamsKey, params))
            return false;
        QStringList groups;
        for (const char *group : Groups)
            groups.append(QLatin1String(group));
        if (!checkKeys(params, ParamsKey, groups))
            return false;
        for (auto it = params.begin(); it != params.end(); ++it) {
            if (!it.value().isObject())
                return fail(join(ParamsKey, it.key()),
                            {QStringLiteral("应为对象 {...}"), QStringLiteral("must be an object {...}")});
            if (!checkGroupFields(it.value().toObject(), it.key()))
                return false;
        }
        const int mask = formMask(m_contents.form);
        for (const FieldEntry &field : Fields) {
            if ((field.forms & mask) && !readField(params, field))
                return false;
        }
        return true;
    }

    bool checkGroupFields(const QJsonObject &group, const QString &groupName)
    {
        const int mask = formMask(m_contents.form);
        for (auto it = group.begin(); it != group.end(); ++it) {
            const FieldEntry *field = findField(groupName + QLatin1Char('.') + it.key());
            const QString path = join(ParamsKey, groupName + QLatin1Char('.') + it.key());
            if (!field)
                return fail(path, {QStringLiteral("未知字段"), QStringLiteral("unknown field")});
            if (!(field->forms & mask)) {
                const QString form = paramBlockFormName(m_contents.form);
                return fail(path, {QStringLiteral("不属于参数形式 %1").arg(form),
                                   QStringLiteral("not part of parameter form %1").arg(form)});
            }
        }
        return true;
    }

    bool readField(const QJsonObject &params, const FieldEntry &field)
    {
        const QString group = QLatin1String(field.group);
        const QString path = join(ParamsKey, field.name());
        const QJsonObject values = params.value(group).toObject();
        const QString key = QLatin1String(field.key);
        if (!values.contains(key))
            return missing(path, params.contains(group) ? join(ParamsKey, group) : ParamsKey);
        const QJsonValue value = values.value(key);
        if (!value.isDouble() || value.toDouble() != std::floor(value.toDouble()))
            return fail(path, {QStringLiteral("应为整数"), QStringLiteral("must be a whole number")});
        const double number = value.toDouble();
        const ParamRange range = ParamRanges::of(field.name());
        if (number < range.minimum || number > range.maximum)
            return fail(path, ParamRanges::outOfRange(number, range));
        field.set(m_contents.block, int(number));
        return true;
    }

    KeyLines m_lines;
    ParamFile::Contents &m_contents;
    ParamFile::Problem &m_problem;
};
}

const char *const ParamFile::FormatName = "tavox-params";

QString paramBlockFormName(ParamBlockForm form)
{
    switch (form) {
    case ParamBlockForm::Base:
        return QStringLiteral("base");
    case ParamBlockForm::PhotoVideo:
        return QStringLiteral("photo");
    case ParamBlockForm::Crsf:
        return QStringLiteral("crsf");
    }
    return QString();
}

ParamBlockForm paramBlockFormOf(const ParamBlock &block)
{
    if (block.crsfPresent)
        return ParamBlockForm::Crsf;
    return block.photoVideoPresent ? ParamBlockForm::PhotoVideo : ParamBlockForm::Base;
}

TextPair ParamFile::Problem::describe(const QString &path) const
{
    QString zh = path;
    QString en = path;
    if (line > 0) {
        zh += QStringLiteral(" 第 %1 行").arg(line);
        en += QStringLiteral(", line %1").arg(line);
    }
    if (!field.isEmpty()) {
        zh += QStringLiteral(": 字段 ") + field;
        en += QStringLiteral(": field ") + field;
    }
    return {zh + QStringLiteral(": ") + reason.zh, en + QStringLiteral(": ") + reason.en};
}

QByteArray ParamFile::toJson(const Contents &contents)
{
    QJsonObject groups;
    const int mask = formMask(contents.form);
    for (const FieldEntry &field : Fields) {
        if (!(field.forms & mask))
            continue;
        const QString group = QLatin1String(field.group);
        QJsonObject values = groups.value(group).toObject();
        values.insert(QLatin1String(field.key), field.get(contents.block));
        groups.insert(group, values);
    }
    QJsonObject root;
    root.insert(FormatKey, QLatin1String(FormatName));
    root.insert(SchemaKey, SchemaVersion);
    root.insert(ToolVersionKey, contents.toolVersion);
    root.insert(SavedAtKey, contents.savedAt);
    root.insert(DeviceKey, QJsonObject{{FirmwareKey, contents.firmwareVersion}, {BootKey, contents.bootVersion}});
    root.insert(FormKey, paramBlockFormName(contents.form));
    root.insert(ParamsKey, groups);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool ParamFile::fromJson(const QByteArray &text, Contents &contents, Problem &problem)
{
    problem = Problem();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        problem.line = lineOfOffset(text, error.offset);
        problem.reason = {QStringLiteral("不是有效的 JSON (%1)").arg(error.errorString()),
                          QStringLiteral("not valid JSON (%1)").arg(error.errorString())};
        return false;
    }
    if (!document.isObject()) {
        problem.line = 1;
        problem.reason = {QStringLiteral("应为 JSON 对象 {...}"), QStringLiteral("must be a JSON object {...}")};
        return false;
    }
    Contents read;
    if (!Reader(text, read, problem).read(document.object()))
        return false;
    contents = read;
    return true;
}

bool ParamFile::save(const QString &path, const Contents &contents, QString &error)
{
    return WholeFile::replace(path, toJson(contents), error);
}

// A parameter file holds a few dozen numbers; anything much bigger is not one.
bool ParamFile::load(const QString &path, Contents &contents, Problem &problem)
{
    const qint64 MaxFileBytes = 1 << 20;
    problem = Problem();
    const QFileInfo info(path);
    if (!info.exists()) {
        problem.reason = {QStringLiteral("文件不存在"), QStringLiteral("no such file")};
        return false;
    }
    QFile file(path);
    if (!info.isFile() || info.size() > MaxFileBytes) {
        problem.reason = {QStringLiteral("不是参数文件 (应为 1 MiB 以内的普通文件)"),
                          QStringLiteral("not a parameter file (a regular file of at most 1 MiB)")};
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        problem.reason = {QStringLiteral("无法读取 (%1)").arg(file.errorString()),
                          QStringLiteral("cannot be read (%1)").arg(file.errorString())};
        return false;
    }
    return fromJson(file.readAll(), contents, problem);
}

QStringList ParamFile::fieldNames(ParamBlockForm form)
{
    QStringList names;
    const int mask = formMask(form);
    for (const FieldEntry &field : Fields) {
        if (field.forms & mask)
            names.append(field.name());
    }
    return names;
}

int ParamFile::value(const ParamBlock &block, const QString &field)
{
    const FieldEntry *entry = findField(field);
    return entry ? entry->get(block) : 0;
}

void ParamFile::setValue(ParamBlock &block, const QString &field, int value)
{
    if (const FieldEntry *entry = findField(field))
        entry->set(block, value);
}

void ParamFile::applyTo(ParamBlock &target, const Contents &contents)
{
    const int mask = formMask(contents.form);
    for (const FieldEntry &field : Fields) {
        if (field.forms & mask)
            field.set(target, field.get(contents.block));
    }
}

QVector<ParamFile::Change> ParamFile::differences(const ParamBlock &from, const ParamBlock &to, ParamBlockForm form)
{
    QVector<Change> changes;
    const int mask = formMask(form);
    for (const FieldEntry &field : Fields) {
        if ((field.forms & mask) && field.get(from) != field.get(to))
            changes.append({field.name(), field.get(from), field.get(to)});
    }
    return changes;
}
